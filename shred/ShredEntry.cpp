#include "shred/ShredEntry.h"

#include "shred/Fd.h"
#include "shred/OverwritePass.h"
#include "shred/StorageCheck.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// The errors by which a file system says it does not offer a way of
// renaming (rather than refusing this rename).
bool Unsupported(int err)
{
    return err == EINVAL || err == ENOSYS || err == EPERM || err == EOPNOTSUPP || err == ENOTSUP;
}

// The MiB that overwriting a sparse file would allocate, when its file
// system cannot show holes (ntfs-3g answers no SEEK_HOLE, so the passes
// would fill them) and that would not fit in the free space with a margin;
// 0 when the passes may go ahead.
std::uint64_t UnfillableHoles(int fd, const struct stat& st)
{
    const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    const std::uint64_t allocated = static_cast<std::uint64_t>(st.st_blocks) * 512;
    if (allocated >= size) {
        return 0;
    }
    const off_t hole = ::lseek(fd, 0, SEEK_HOLE);
    if (hole >= 0 && static_cast<std::uint64_t>(hole) < size) {
        return 0; // the holes are known, and the passes keep them
    }
    struct statvfs fs;
    if (::fstatvfs(fd, &fs) != 0) {
        return 0;
    }
    const std::uint64_t fill = WholeBlocks(size) - allocated;
    const std::uint64_t margin = std::max<std::uint64_t>(16u << 20, fill / 16);
    const std::uint64_t free = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
    return fill + margin > free ? (fill + (1u << 20) - 1) >> 20 : 0;
}

} // namespace

// The file's state as its file system knows it now: FUSE and network file
// systems would otherwise answer from a cache that another program's change
// has not reached.
bool FreshStat(int fd, struct stat& st)
{
    struct statx stx;
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_FORCE_SYNC, STATX_BASIC_STATS, &stx) != 0) {
        return ::fstat(fd, &st) == 0;
    }
    StatFromStatx(stx, st);
    return true;
}

void StatFromStatx(const struct statx& stx, struct stat& st)
{
    st.st_dev = makedev(stx.stx_dev_major, stx.stx_dev_minor);
    st.st_ino = static_cast<ino_t>(stx.stx_ino);
    st.st_mode = stx.stx_mode;
    st.st_nlink = stx.stx_nlink;
    st.st_size = static_cast<off_t>(stx.stx_size);
    st.st_blocks = static_cast<blkcnt_t>(stx.stx_blocks);
    st.st_ctim = {stx.stx_ctime.tv_sec, stx.stx_ctime.tv_nsec};
}

EntryOutcome EntryFailure(ShredError kind, int err, std::uint64_t detail)
{
    EntryOutcome outcome;
    outcome.status = EntryOutcome::Failed;
    outcome.kind = kind;
    outcome.err = err;
    outcome.detail = detail;
    return outcome;
}

std::string TemporaryName(unsigned long n)
{
    return "del.file." + std::to_string(n) + ".del";
}

int RenameNoReplace(int dirfd, const char* from, const char* to, RenameWay* way)
{
    RenameWay trying = way != nullptr ? *way : RenameWay::NoReplace;
    // Learnt only from a rename that then worked: a refusal of this one
    // file (a sticky folder) must not make the others take a weaker way.
    const auto worked = [&] {
        if (way != nullptr) {
            *way = trying;
        }
        return 0;
    };
    if (trying == RenameWay::NoReplace) {
        if (::renameat2(dirfd, from, dirfd, to, RENAME_NOREPLACE) == 0) {
            return 0;
        }
        if (!Unsupported(errno)) {
            return errno;
        }
        trying = RenameWay::Link;
    }
    if (trying == RenameWay::Link) {
        // No RENAME_NOREPLACE here: a hard link fails just as safely when
        // the name is taken.
        if (::linkat(dirfd, from, dirfd, to, 0) == 0) {
            if (::unlinkat(dirfd, from, 0) != 0) {
                const int err = errno;
                ::unlinkat(dirfd, to, 0);
                return err;
            }
            return worked();
        }
        if (!Unsupported(errno)) {
            return errno;
        }
        trying = RenameWay::Plain;
    }
    // Neither (FAT and exFAT through FUSE, many other FUSE file systems): a
    // plain rename to a name just found free. It would replace an entry
    // created in between, so it is only the last way, where no atomic one
    // exists.
    struct stat st;
    if (::fstatat(dirfd, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        return EEXIST;
    }
    return ::renameat(dirfd, from, dirfd, to) == 0 ? worked() : errno;
}

int RenameToFreeName(int dirfd, const char* name, unsigned long& taken, unsigned long first,
                     RenameWay* way)
{
    for (unsigned long n = first;; ++n) {
        // Any entry, even a folder, makes the name taken.
        const std::string candidate = TemporaryName(n);
        const int err = RenameNoReplace(dirfd, name, candidate.c_str(), way);
        if (err == 0) {
            taken = n;
            return 0;
        }
        if (err != EEXIST) {
            return err;
        }
    }
}

EntryOutcome OpenEntry(int dirfd, dev_t folderDev, const char* name, dev_t dev, ino_t ino,
                       StorageCheck& storage, Fd& fd, struct stat& opened)
{
    fd.Reset();
    struct stat& st = opened;
    if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            EntryOutcome vanished;
            vanished.status = EntryOutcome::Vanished;
            return vanished;
        }
        return EntryFailure(ShredError::Stat, errno);
    }
    if (st.st_dev != dev || st.st_ino != ino) {
        return EntryFailure(ShredError::Replaced);
    }
    if (S_ISLNK(st.st_mode)) {
        return EntryOutcome{};
    }
    if (!S_ISREG(st.st_mode)) {
        return EntryFailure(ShredError::NotRegular);
    }
    if (st.st_nlink > 1) {
        return EntryFailure(ShredError::HardLinked, 0, static_cast<std::uint64_t>(st.st_nlink));
    }
    // O_NONBLOCK: should a FIFO have been swapped in, the open must not hang.
    Fd file(::openat(dirfd, name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.Valid()) {
        return EntryFailure(ShredError::Open, errno);
    }
    if (!FreshStat(file.Get(), st) || !S_ISREG(st.st_mode) || st.st_dev != dev ||
        st.st_ino != ino || st.st_nlink > 1) {
        return EntryFailure(ShredError::Replaced);
    }
    if (const std::uint64_t mib = UnfillableHoles(file.Get(), st)) {
        return EntryFailure(ShredError::NoRoomForHoles, 0, mib);
    }
    // Asked before the passes: they may change what the storage reports
    // (writing a shared extent gives the file blocks of its own).
    EntryOutcome outcome;
    outcome.caveat = storage.Check(file.Get(), st, dirfd, folderDev, name);
    fd = std::move(file);
    return outcome;
}
