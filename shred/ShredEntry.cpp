#include "shred/ShredEntry.h"

#include "shred/OverwritePass.h"
#include "shred/StorageCheck.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

EntryOutcome Failure(ShredError kind, int err = 0, std::uint64_t detail = 0)
{
    EntryOutcome outcome;
    outcome.status = EntryOutcome::Failed;
    outcome.kind = kind;
    outcome.err = err;
    outcome.detail = detail;
    return outcome;
}

// The errors by which a file system says it does not offer a way of
// renaming (rather than refusing this rename).
bool Unsupported(int err)
{
    return err == EINVAL || err == ENOSYS || err == EPERM || err == EOPNOTSUPP || err == ENOTSUP;
}

// An open descriptor that is always closed.
class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes now and reports the result: a failed close can lose data.
    int Close()
    {
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

// Renames, then removes, syncing the folder after each step so that the old
// name does not come back after a crash.
EntryOutcome RenameAndRemove(int dirfd, const char* name)
{
    unsigned long n = 0;
    if (const int err = RenameToFreeName(dirfd, name, n)) {
        return Failure(ShredError::Rename, err);
    }
    if (::fsync(dirfd) != 0) {
        return Failure(ShredError::SyncAfterRename, errno, n);
    }
    if (::unlinkat(dirfd, TemporaryName(n).c_str(), 0) != 0) {
        return Failure(ShredError::Remove, errno, n);
    }
    if (::fsync(dirfd) != 0) {
        return Failure(ShredError::SyncAfterRemove, errno);
    }
    return EntryOutcome{};
}

} // namespace

std::string TemporaryName(unsigned long n)
{
    return "del.file." + std::to_string(n) + ".del";
}

int RenameToFreeName(int dirfd, const char* name, unsigned long& taken, unsigned long first)
{
    for (unsigned long n = first;; ++n) {
        const std::string candidate = TemporaryName(n);
        struct stat st;
        if (::fstatat(dirfd, candidate.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            continue; // any entry, even a folder, makes the name taken
        }
        int rc = ::renameat2(dirfd, name, dirfd, candidate.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && Unsupported(errno)) {
            // No RENAME_NOREPLACE here: a hard link fails just as safely
            // when the name is taken.
            rc = ::linkat(dirfd, name, dirfd, candidate.c_str(), 0);
            if (rc == 0 && ::unlinkat(dirfd, name, 0) != 0) {
                const int err = errno;
                ::unlinkat(dirfd, candidate.c_str(), 0);
                errno = err;
                rc = -1;
            } else if (rc != 0 && Unsupported(errno)) {
                // Neither (FAT and exFAT through FUSE, many other FUSE file
                // systems): a plain rename to the name just found free. It
                // would replace an entry created in between, so it is only
                // the last way, where no atomic one exists.
                rc = ::renameat(dirfd, name, dirfd, candidate.c_str());
            }
        }
        if (rc == 0) {
            taken = n;
            return 0;
        }
        if (errno != EEXIST) {
            return errno;
        }
    }
}

EntryOutcome OpenEntry(int dirfd, const char* name, dev_t dev, ino_t ino, StorageCheck& storage,
                       int& fd, std::uint64_t& length)
{
    fd = -1;
    struct stat st;
    if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            EntryOutcome vanished;
            vanished.status = EntryOutcome::Vanished;
            return vanished;
        }
        return Failure(ShredError::Stat, errno);
    }
    if (st.st_dev != dev || st.st_ino != ino) {
        return Failure(ShredError::Replaced);
    }
    if (S_ISLNK(st.st_mode)) {
        return EntryOutcome{};
    }
    if (!S_ISREG(st.st_mode)) {
        return Failure(ShredError::NotRegular);
    }
    if (st.st_nlink > 1) {
        return Failure(ShredError::HardLinked, 0, static_cast<std::uint64_t>(st.st_nlink));
    }
    // O_NONBLOCK: should a FIFO have been swapped in, the open must not hang.
    Fd file(::openat(dirfd, name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) {
        return Failure(ShredError::Open, errno);
    }
    if (::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != dev ||
        st.st_ino != ino || st.st_nlink > 1) {
        return Failure(ShredError::Replaced);
    }
    // Asked before the passes: they may change what the storage reports
    // (writing a shared extent gives the file blocks of its own).
    EntryOutcome outcome;
    outcome.caveat = storage.Check(file.Get(), st);
    length = static_cast<std::uint64_t>(st.st_size);
    fd = file.Release();
    return outcome;
}

EntryOutcome DestroyEntry(int dirfd, const char* name, dev_t dev, ino_t ino, bool quick,
                          ShredProgress* progress, StorageCheck& storage)
{
    int fd = -1;
    std::uint64_t length = 0;
    EntryOutcome outcome = OpenEntry(dirfd, name, dev, ino, storage, fd, length);
    if (outcome.status != EntryOutcome::Destroyed) {
        return outcome;
    }
    if (fd >= 0) {
        Fd file(fd);
        int err = OverwritePasses(file.Get(), length, quick, progress);
        if (err == 0) {
            err = file.Close();
        }
        if (err == ECANCELED) {
            outcome.status = EntryOutcome::Cancelled;
            outcome.kind = ShredError::Cancelled;
            return outcome;
        }
        if (err != 0) {
            return Failure(ShredError::Write, err);
        }
    }
    EntryOutcome removed = RenameAndRemove(dirfd, name);
    removed.caveat = outcome.caveat;
    return removed;
}
