#include "shred/ShredRun.h"

#include "shred/OverwritePass.h"
#include "shred/ShredEntry.h"
#include "shred/ShredProgress.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How often the listing reports its count.
constexpr std::uint64_t kListReportEvery = 256;

// A folder's entries, read through a descriptor of its own (closedir
// closes it) so that the tree's descriptor stays open.
class FolderReader
{
public:
    explicit FolderReader(int fd)
    {
        const int own = fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        m_dir = own < 0 ? nullptr : ::fdopendir(own);
        if (m_dir == nullptr && own >= 0) {
            const int err = errno;
            ::close(own);
            errno = err;
        }
    }
    ~FolderReader()
    {
        if (m_dir != nullptr) {
            ::closedir(m_dir);
        }
    }
    FolderReader(const FolderReader&) = delete;
    FolderReader& operator=(const FolderReader&) = delete;
    bool Ok() const { return m_dir != nullptr; }
    // The next name other than "." and "..", or null at the end or on an
    // error (errno then tells which).
    const char* Next()
    {
        errno = 0;
        while (const dirent* item = ::readdir(m_dir)) {
            if (std::strcmp(item->d_name, ".") != 0 && std::strcmp(item->d_name, "..") != 0) {
                return item->d_name;
            }
            errno = 0;
        }
        return nullptr;
    }

private:
    DIR* m_dir = nullptr;
};

} // namespace

ShredRun::ShredRun(bool quick, ShredProgress* progress) : m_quick(quick), m_progress(progress) {}

void ShredRun::Fail(ShredResult& result, std::string path, ShredError kind, int err,
                    std::uint64_t detail)
{
    result.failures.push_back({std::move(path), kind, err, detail});
}

bool ShredRun::List(const std::string& path, bool folders)
{
    m_targets.push_back({m_entries.size(), m_entries.size(), ShredResult()});
    const std::size_t target = m_targets.size() - 1;
    ShredResult& result = m_targets[target].result;
    struct stat st;
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) {
        if (!path.empty() && errno != ENOENT && errno != ENOTDIR) {
            result.found = true;
            Fail(result, path, ShredError::Stat, errno);
        }
        return true;
    }
    result.found = true;
    // A trailing separator names the folder a link points to, as the shell does.
    struct stat linked;
    const bool folder =
        S_ISDIR(st.st_mode) ||
        (path.back() == '/' && ::stat(path.c_str(), &linked) == 0 && S_ISDIR(linked.st_mode));
    bool going = true;
    if (!folder) {
        // The entry's folder, recorded as it is now.
        const std::string::size_type slash = path.rfind('/');
        const std::string parent =
            slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
        const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
        struct stat parentSt;
        if (::stat(parent.c_str(), &parentSt) != 0) {
            Fail(result, path, ShredError::Stat, errno);
        } else {
            going =
                Add(m_folders.AddRoot(parent, parentSt.st_dev, parentSt.st_ino), name.c_str(), st);
        }
    } else if (!folders) {
        Fail(result, path, ShredError::IsFolder);
    } else if (::stat(path.c_str(), &linked) != 0) {
        Fail(result, path, ShredError::ReadFolder, errno);
    } else {
        going = ListFolder(m_folders.AddRoot(path, linked.st_dev, linked.st_ino), result);
    }
    m_targets[target].end = m_entries.size();
    return going;
}

std::uint64_t ShredRun::BytesToWrite(const Entry& entry) const
{
    return entry.regular ? WholeBlocks(entry.size) * (m_quick ? 1 : 2) : 0;
}

bool ShredRun::Add(FolderTree::Index folder, const char* name, const struct stat& st)
{
    Entry entry{m_names.Add(name, std::strlen(name)), st.st_ino,
                static_cast<std::uint64_t>(st.st_size), folder, S_ISREG(st.st_mode)};
    m_totalBytes += BytesToWrite(entry);
    m_entries.push_back(entry);
    if (m_progress != nullptr && m_entries.size() % kListReportEvery == 0) {
        return m_progress->OnListed(m_entries.size());
    }
    return true;
}

// Lists every entry below `top` that is not a folder, at every depth, hidden
// ones too. Linked folders are not entered: a link is an entry like a file.
bool ShredRun::ListFolder(FolderTree::Index top, ShredResult& result)
{
    std::vector<FolderTree::Index> pending{top};
    while (!pending.empty()) {
        const FolderTree::Index folder = pending.back();
        pending.pop_back();
        bool replaced = false;
        const int fd = m_folders.Open(folder, replaced);
        FolderReader reader(fd);
        if (!reader.Ok()) {
            if (replaced) {
                Fail(result, m_folders.Path(folder), ShredError::FolderReplaced);
            } else if (errno != ENOENT) {
                Fail(result, m_folders.Path(folder), ShredError::ReadFolder, errno);
            }
            continue;
        }
        while (const char* name = reader.Next()) {
            struct stat st;
            if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT) {
                    Fail(result, m_folders.PathOf(folder, name), ShredError::Stat, errno);
                }
            } else if (S_ISDIR(st.st_mode)) {
                pending.push_back(m_folders.AddChild(folder, name, st.st_dev, st.st_ino));
            } else if (!Add(folder, name, st)) {
                m_folders.CloseAll();
                return false;
            }
        }
        if (errno != 0) {
            Fail(result, m_folders.Path(folder), ShredError::ReadFolder, errno);
        }
    }
    m_folders.CloseAll();
    return true;
}

bool ShredRun::Execute()
{
    ShredBatch batch(m_folders, m_quick, m_progress);
    for (Target& target : m_targets) {
        m_results.push_back(std::move(target.result));
        ShredResult& result = m_results.back();
        bool going = true;
        for (std::size_t i = target.begin; i < target.end && going; ++i) {
            going = Destroy(m_entries[i], result, batch);
        }
        // A batch never spans two paths: each has its own result.
        going = going ? RunBatch(batch, result) : (batch.Clear(), false);
        if (!going) {
            result.cancelled = true;
            m_folders.CloseAll();
            return false;
        }
    }
    m_folders.CloseAll();
    return true;
}

bool ShredRun::Record(const EntryOutcome& outcome, const std::string& path, ShredResult& result)
{
    switch (outcome.status) {
    case EntryOutcome::Destroyed:
        ++result.shredded;
        if (outcome.caveat && std::find(result.caveats.begin(), result.caveats.end(),
                                        *outcome.caveat) == result.caveats.end()) {
            result.caveats.push_back(*outcome.caveat);
        }
        break;
    case EntryOutcome::Vanished:
        break;
    case EntryOutcome::Failed:
        Fail(result, path, outcome.kind, outcome.err, outcome.detail);
        break;
    case EntryOutcome::Cancelled:
        Fail(result, path, ShredError::Cancelled);
        return false;
    }
    return true;
}

bool ShredRun::RunBatch(ShredBatch& batch, ShredResult& result)
{
    if (batch.Empty()) {
        return true;
    }
    const bool going = batch.Run();
    for (const ShredBatch::Member& member : batch.Members()) {
        Record(member.outcome, m_folders.PathOf(member.folder, member.name), result);
    }
    batch.Clear();
    return going;
}

// Destroys one listed entry in its folder, reached again by descriptors.
// Returns false when the run was cancelled during this entry.
bool ShredRun::Destroy(const Entry& entry, ShredResult& result, ShredBatch& batch)
{
    const char* name = m_names.Get(entry.name);
    if (entry.folder != m_currentFolder) {
        m_currentFolder = entry.folder;
        m_currentPrefix = m_folders.PathOf(entry.folder, "");
    }
    const std::string path = m_currentPrefix + name;
    const dev_t dev = m_folders.Device(entry.folder);
    bool batched = false;
    if (ShredBatch::Fits(entry.regular ? entry.size : 0)) {
        bool replaced = false;
        const int dirfd = m_folders.Open(entry.folder, replaced);
        batched = dirfd >= 0 && m_storage.FlushesTogether(dirfd, dev);
    }
    // A large file, or storage that hears only of each file's own flushes,
    // goes alone, after what was batched before it.
    if ((!batched || !batch.Fits(dev, entry.regular ? entry.size : 0)) &&
        !RunBatch(batch, result)) {
        return false;
    }
    if (m_progress != nullptr && !m_progress->OnEntry(path, BytesToWrite(entry))) {
        // Nothing of the batch is written yet: it is left as it is.
        Fail(result, path, ShredError::Cancelled);
        return false;
    }
    return batched ? Batch(entry, path, result, batch) : Alone(entry, path, result);
}

bool ShredRun::Alone(const Entry& entry, const std::string& path, ShredResult& result)
{
    bool replaced = false;
    const int dirfd = m_folders.Open(entry.folder, replaced);
    if (dirfd < 0) {
        if (replaced) {
            Fail(result, path, ShredError::FolderReplaced);
        } else if (errno != ENOENT) {
            Fail(result, path, ShredError::ReadFolder, errno);
        }
        return true; // a vanished folder took its entries with it
    }
    return Record(DestroyEntry(dirfd, m_names.Get(entry.name), m_folders.Device(entry.folder),
                               entry.ino, m_quick, m_progress, m_storage),
                  path, result);
}

bool ShredRun::Batch(const Entry& entry, const std::string& path, ShredResult& result,
                     ShredBatch& batch)
{
    const dev_t dev = m_folders.Device(entry.folder);
    for (int attempt = 0;; ++attempt) {
        // Running the batch opens other folders: this one again.
        bool replaced = false;
        const int dirfd = m_folders.Open(entry.folder, replaced);
        if (dirfd < 0) {
            return Alone(entry, path, result); // which reports why
        }
        int fd = -1;
        std::uint64_t length = 0;
        const EntryOutcome outcome =
            OpenEntry(dirfd, m_names.Get(entry.name), dev, entry.ino, m_storage, fd, length);
        const bool outOfDescriptors = outcome.status == EntryOutcome::Failed &&
                                      outcome.kind == ShredError::Open &&
                                      (outcome.err == EMFILE || outcome.err == ENFILE);
        if (outOfDescriptors && attempt == 0 && !batch.Empty()) {
            if (!RunBatch(batch, result)) {
                return false;
            }
            continue;
        }
        if (outcome.status != EntryOutcome::Destroyed) {
            return Record(outcome, path, result);
        }
        if (!batch.Fits(dev, length)) {
            // It grew since it was listed.
            ::close(fd);
            return RunBatch(batch, result) && Alone(entry, path, result);
        }
        batch.Add({entry.folder, m_names.Get(entry.name), entry.ino, fd, length,
                   BytesToWrite(entry), outcome},
                  dirfd, dev);
        return true;
    }
}
