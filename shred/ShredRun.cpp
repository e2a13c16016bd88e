#include "shred/ShredRun.h"

#include "shred/OverwritePass.h"
#include "shred/ShredEntry.h"
#include "shred/ShredProgress.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>
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

// The entry's information and the id of the mount it lies on (0 where the
// kernel does not tell), without triggering an automount.
bool MountId(int dirfd, const char* name, int flags, std::uint64_t& mount,
             struct stat* st = nullptr)
{
    struct statx stx;
    if (::statx(dirfd, name, flags | AT_NO_AUTOMOUNT, STATX_BASIC_STATS | STATX_MNT_ID, &stx) !=
        0) {
        if (errno != ENOSYS || st == nullptr) {
            return false;
        }
        return ::fstatat(dirfd, name, st, flags | AT_NO_AUTOMOUNT) == 0;
    }
    mount = (stx.stx_mask & STATX_MNT_ID) != 0 ? stx.stx_mnt_id : 0;
    if (st != nullptr) {
        *st = {};
        StatFromStatx(stx, *st);
    }
    return true;
}

} // namespace

ShredRun::ShredRun(bool quick, ShredProgress* progress) : m_quick(quick), m_progress(progress) {}

ShredRun::~ShredRun()
{
    m_stopped = true;
    if (m_named.valid()) {
        m_named.wait();
    }
}

bool ShredRun::RoomForTwoBatches()
{
    // Besides both batches' files: the folders' chains, and what the
    // program holds already.
    rlim_t needed = 2 * ShredBatch::kMaxFiles + 128;
    Fd open(::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    FolderReader reader(open.Get());
    while (reader.Ok() && reader.Next() != nullptr) {
        ++needed;
    }
    if (::getrlimit(RLIMIT_NOFILE, &m_openLimit) != 0) {
        return false;
    }
    if (m_openLimit.rlim_cur == RLIM_INFINITY || m_openLimit.rlim_cur >= needed) {
        return true;
    }
    if (m_openLimit.rlim_max != RLIM_INFINITY && m_openLimit.rlim_max < needed) {
        return false;
    }
    rlimit raised = m_openLimit;
    raised.rlim_cur = needed;
    m_raisedLimit = ::setrlimit(RLIMIT_NOFILE, &raised) == 0;
    return m_raisedLimit;
}

bool ShredRun::Relayed(bool going)
{
    if (!going) {
        m_stopped = true;
    }
    return going;
}

bool ShredRun::OnListed(std::uint64_t entries)
{
    return m_progress == nullptr || m_progress->OnListed(entries);
}

bool ShredRun::OnEntry(const std::string& path, std::uint64_t bytes)
{
    m_written = 0;
    return Relayed(!m_stopped && (m_progress == nullptr || m_progress->OnEntry(path, bytes)));
}

bool ShredRun::OnWritten(std::uint64_t bytes)
{
    m_written = bytes;
    return Relayed(!m_stopped && (m_progress == nullptr || m_progress->OnWritten(bytes)));
}

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
    // The entry's folder, recorded as it is now.
    const std::string::size_type slash = path.rfind('/');
    const std::string parent =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    bool going = true;
    if (!folder && parent == m_lastParent) {
        // The folder of the file listed before (a selection dropped from a
        // file manager is one folder's files): allowed and recorded already.
        going = Add(m_lastRoot, name.c_str(), st);
    } else if (!Allowed(path, folder ? path : parent, folder, result)) {
        // Refused as a whole, without a walk.
    } else if (!folder) {
        struct stat parentSt;
        if (::stat(parent.c_str(), &parentSt) != 0) {
            Fail(result, path, ShredError::Stat, errno);
        } else {
            m_lastRoot =
                Noted(m_folders.AddRoot(parent, parentSt.st_dev, parentSt.st_ino), parentSt);
            m_lastParent = parent;
            going = Add(m_lastRoot, name.c_str(), st);
        }
    } else if (!folders) {
        Fail(result, path, ShredError::IsFolder);
    } else if (::stat(path.c_str(), &linked) != 0) {
        Fail(result, path, ShredError::ReadFolder, errno);
    } else {
        going = ListFolder(
            path, Noted(m_folders.AddRoot(path, linked.st_dev, linked.st_ino), linked), result);
    }
    m_targets[target].end = m_entries.size();
    return going;
}

bool ShredRun::Allowed(const std::string& path, const std::string& storage, bool folder,
                       ShredResult& result)
{
    // As rm refuses it: emptying the whole system is never what was meant.
    struct stat st, root;
    if (folder && ::stat(storage.c_str(), &st) == 0 && ::stat("/", &root) == 0 &&
        st.st_dev == root.st_dev && st.st_ino == root.st_ino) {
        Fail(result, path, ShredError::Root);
        return false;
    }
    if (StorageCheck::Refused(storage)) {
        Fail(result, path, ShredError::PseudoFiles);
        return false;
    }
    return true;
}

std::uint64_t ShredRun::BytesToWrite(const Entry& entry) const
{
    return entry.regular ? WholeBlocks(entry.size) * static_cast<std::uint64_t>(PassCount(m_quick))
                         : 0;
}

std::uint16_t ShredRun::DeviceIndex(dev_t dev)
{
    for (std::size_t i = m_devices.size(); i-- > 0;) {
        if (m_devices[i] == dev) {
            return static_cast<std::uint16_t>(i);
        }
    }
    // Beyond the table's reach an entry keeps the last device, which its own
    // check then finds wrong: it fails as replaced, untouched.
    if (m_devices.size() < UINT16_MAX) {
        m_devices.push_back(dev);
    }
    return static_cast<std::uint16_t>(m_devices.size() - 1);
}

bool ShredRun::Add(FolderTree::Index folder, const char* name, const struct stat& st)
{
    Entry entry{m_names.Add(name, std::strlen(name)),
                st.st_ino,
                static_cast<std::uint64_t>(st.st_size),
                folder,
                DeviceIndex(st.st_dev),
                S_ISREG(st.st_mode)};
    m_totalBytes += BytesToWrite(entry);
    m_entries.push_back(entry);
    if (m_entries.size() % kListReportEvery == 0) {
        return OnListed(m_entries.size());
    }
    return true;
}

// Lists every entry below `top` that is not a folder, at every depth, hidden
// ones too. Linked folders are not entered: a link is an entry like a file.
// Nor is anything mounted below the top (another file system, a bind mount
// of a folder from elsewhere, /proc in a chroot): the user listed this one.
bool ShredRun::ListFolder(const std::string& path, FolderTree::Index top, ShredResult& result)
{
    std::uint64_t topMount = 0;
    MountId(AT_FDCWD, path.c_str(), 0, topMount);
    const dev_t topDev = m_folders.Device(top);
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
        const std::size_t first = m_entries.size();
        while (const char* name = reader.Next()) {
            struct stat st;
            std::uint64_t mount = 0;
            if (!MountId(fd, name, AT_SYMLINK_NOFOLLOW, mount, &st)) {
                if (errno != ENOENT) {
                    Fail(result, m_folders.PathOf(folder, name), ShredError::Stat, errno);
                }
            } else if (topMount != 0 && mount != 0 ? mount != topMount
                                                   : S_ISDIR(st.st_mode) && st.st_dev != topDev) {
                Fail(result, m_folders.PathOf(folder, name), ShredError::MountPoint);
            } else if (S_ISDIR(st.st_mode)) {
                pending.push_back(
                    Noted(m_folders.AddChild(folder, name, st.st_dev, st.st_ino), st));
            } else if (!Add(folder, name, st)) {
                m_folders.CloseAll();
                return false;
            }
        }
        const int err = errno;
        // In the order of their inodes, which file systems lay out near the
        // order of their data: the passes then reach the device nearly in
        // sequence instead of in the order of the folder's name hashes.
        std::sort(m_entries.begin() + static_cast<std::ptrdiff_t>(first), m_entries.end(),
                  [](const Entry& a, const Entry& b) { return a.ino < b.ino; });
        if (err != 0) {
            Fail(result, m_folders.Path(folder), ShredError::ReadFolder, err);
        }
    }
    m_folders.CloseAll();
    return true;
}

void ShredRun::FindClosings()
{
    m_closes.assign(m_entries.size(), false);
    std::map<std::pair<dev_t, ino_t>, std::size_t> last;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const FolderTree::Index folder = m_entries[i].folder;
        const std::pair<dev_t, ino_t> key{m_folders.Device(folder), m_folders.Inode(folder)};
        last[key] = i;
    }
    for (const auto& [key, i] : last) {
        m_closes[i] = true;
    }
}

FolderTree::Index ShredRun::Noted(FolderTree::Index folder, const struct stat& st)
{
    m_perFolder.try_emplace({st.st_dev, st.st_ino}, FolderFacts{st.st_blocks});
    return folder;
}

void ShredRun::Close(const Entry& entry, std::size_t row)
{
    bool replaced = false;
    const int dirfd = m_folders.Open(entry.folder, replaced);
    if (dirfd >= 0) {
        const dev_t dev = m_folders.Device(entry.folder);
        // Its count goes on while the batch before is renamed: the fill
        // reads it once that batch is recorded.
        const FolderFacts& facts = m_perFolder[{dev, m_folders.Inode(entry.folder)}];
        m_batch->Close(entry.folder, row, m_storage.FreedNames(dirfd, dev), &facts.renamed,
                       facts.blocks);
    }
}

bool ShredRun::Execute()
{
    ShredProgress* const relay = this;
    m_batch = std::make_unique<ShredBatch>(m_folders, m_quick, relay, m_storage);
    m_naming = std::make_unique<ShredBatch>(m_folders, m_quick, relay, m_storage);
    m_overlaps = RoomForTwoBatches();
    FindClosings();
    // Results are filled in place while a batch spans several paths.
    m_results.reserve(m_targets.size());
    bool going = true;
    for (std::size_t t = 0; t < m_targets.size() && going; ++t) {
        const Target& target = m_targets[t];
        m_results.push_back(std::move(m_targets[t].result));
        const std::size_t row = m_results.size() - 1;
        for (std::size_t i = target.begin; i < target.end && going; ++i) {
            going = Destroy(m_entries[i], row, m_closes[i]);
            if (going && m_closes[i] && !m_closed) {
                // It did not join a batch: the next one to run is the first
                // after every removal in its folder.
                Close(m_entries[i], row);
            }
        }
    }
    // A batch spans the paths whose files share it: each member's outcome
    // goes to its own path's result.
    going = going ? RunBatch(false) : (LeaveBatch(), false);
    if (!going) {
        m_results.back().cancelled = true;
    }
    m_folders.CloseAll();
    if (m_raisedLimit) {
        // Programs it starts later expect the usual limit.
        ::setrlimit(RLIMIT_NOFILE, &m_openLimit);
    }
    return going;
}

bool ShredRun::Record(const EntryOutcome& outcome, const std::string& path, ShredResult& result)
{
    if (outcome.status == EntryOutcome::Cancelled) {
        result.cancelled = true;
    }
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

bool ShredRun::RunBatch(bool overlap)
{
    if (m_batch->Empty()) {
        return Drain();
    }
    ShredBatch& batch = *m_batch;
    bool going = batch.Write();
    // One names step at a time, in the order of the batches: this one's
    // fill counts the names the one before freed in its folders.
    going = Drain() && going;
    // Only where one syncfs serves all (FUSE drivers mostly answer one
    // request at a time anyway), and not while a fill watches the free space.
    if (going && overlap && m_overlaps && batch.Shares() == ShredBatch::Sharing::Syncfs &&
        !batch.FillsByFreeSpace()) {
        // Its syncfs calls go through a description of its own: neither
        // step takes a write-back error the other must report.
        try {
            m_named = std::async(std::launch::async, [this, &batch] {
                return batch.Name(true, [this] {
                    ++m_fillSteps;
                    return !m_stopped;
                });
            });
            std::swap(m_batch, m_naming);
            return true;
        } catch (const std::system_error&) {
            m_overlaps = false; // no thread to be had: the batches take turns
        }
    }
    going = batch.Name(going, [this] { return OnWritten(m_written); });
    RecordBatch(batch);
    return going;
}

bool ShredRun::Drain()
{
    if (!m_named.valid()) {
        return true;
    }
    // A fill may make many entries: each look here that finds it went on
    // is a step of the run, and passes on a cancel. A rename or removal
    // that hangs is no step.
    std::uint64_t seen = m_fillSteps;
    while (m_named.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        const std::uint64_t now = m_fillSteps;
        if (now != seen) {
            seen = now;
            OnWritten(m_written);
        }
    }
    const bool going = m_named.get();
    RecordBatch(*m_naming);
    return going;
}

void ShredRun::RecordBatch(ShredBatch& batch)
{
    for (const ShredBatch::Member& member : batch.Members()) {
        Record(member.outcome, m_folders.PathOf(member.folder, member.name), m_results[member.row]);
        if (member.temp != 0) {
            ++m_perFolder[{m_folders.Device(member.folder), m_folders.Inode(member.folder)}]
                  .renamed;
        }
    }
    for (const ShredBatch::Closing& closing : batch.Closed()) {
        ShredResult& result = m_results[closing.row];
        for (const std::string& leftover : closing.outcome.leftovers) {
            Fail(result, m_folders.PathOf(closing.folder, leftover.c_str()), ShredError::Remove,
                 closing.outcome.leftoverErr);
        }
        const ShredCaveat kept{ShredCaveatKind::NamesKept, ""};
        if ((closing.outcome.err != 0 || closing.outcome.gaveBack) &&
            std::find(result.caveats.begin(), result.caveats.end(), kept) == result.caveats.end()) {
            result.caveats.push_back(kept);
        }
    }
    batch.Clear();
}

void ShredRun::LeaveBatch()
{
    // What the batch before wrote is renamed and removed all the same.
    Drain();
    // Nothing of this one is written yet: each file keeps its name and
    // content, and its path says it was not reached.
    EntryOutcome cancelled;
    cancelled.status = EntryOutcome::Cancelled;
    for (const ShredBatch::Member& member : m_batch->Members()) {
        Record(cancelled, m_folders.PathOf(member.folder, member.name), m_results[member.row]);
    }
    m_batch->Clear();
}

bool ShredRun::Stop(ShredResult& result, const std::string& path)
{
    // The batch before is recorded first, as its entries came first.
    Drain();
    Fail(result, path, ShredError::Cancelled);
    return false;
}

int ShredRun::OpenFolder(const Entry& entry, const std::string& path, ShredResult& result)
{
    bool replaced = false;
    const int dirfd = m_folders.Open(entry.folder, replaced);
    if (dirfd < 0) {
        if (replaced) {
            Fail(result, path, ShredError::FolderReplaced);
        } else if (errno != ENOENT) {
            Fail(result, path, ShredError::ReadFolder, errno);
        }
    }
    return dirfd;
}

// Destroys one listed entry of the path `row` in its folder, reached again
// by descriptors: small files join the batch, a large one goes alone, after
// what was batched before it. `closes` when it is the last entry of the run
// in its folder. Returns false when the run was cancelled.
bool ShredRun::Destroy(const Entry& entry, std::size_t row, bool closes)
{
    ShredResult& result = m_results[row];
    m_closed = false;
    const char* name = m_names.Get(entry.name);
    if (entry.folder != m_currentFolder) {
        m_currentFolder = entry.folder;
        m_currentPrefix = m_folders.PathOf(entry.folder, "");
    }
    const std::string path = m_currentPrefix + name;
    const dev_t dev = m_devices[entry.device];
    int dirfd = OpenFolder(entry, path, result);
    if (dirfd < 0) {
        return true; // a vanished folder took its entries with it
    }
    const std::uint64_t listed = entry.regular ? entry.size : 0;
    const ShredBatch::Sharing shares = m_storage.FlushesTogether(dirfd, dev)
                                           ? ShredBatch::Sharing::Syncfs
                                           : ShredBatch::Sharing::FileFlushes;
    ShredBatch::Sharing sharing = ShredBatch::Fits(listed) ? shares : ShredBatch::Sharing::Alone;
    // A file listed twice (alone and in its listed folder) goes once per batch.
    if ((!m_batch->Fits(dev, listed, sharing) || m_batch->Holds(dev, entry.ino)) && !RunBatch()) {
        return Stop(result, path);
    }
    // Or in the batch being renamed and removed on the other thread: that
    // ends first, and this entry then finds its file gone.
    if (m_named.valid() && m_naming->Holds(dev, entry.ino) && !Drain()) {
        return Stop(result, path);
    }
    if (!OnEntry(path, BytesToWrite(entry))) {
        // Nothing of the batch is written yet: it is left as it is.
        return Stop(result, path);
    }
    ShredBatch::Member member;
    member.row = row;
    member.folder = entry.folder;
    member.share = BytesToWrite(entry);
    for (int attempt = 0;; ++attempt) {
        // Running the batch opened other folders, which may have closed this
        // one's descriptor or given its number to another: open it again.
        if ((dirfd = OpenFolder(entry, path, result)) < 0) {
            return true;
        }
        const EntryOutcome outcome = m_batch->Open(dirfd, name, dev, entry.ino, member);
        const bool outOfDescriptors = outcome.status == EntryOutcome::Failed &&
                                      outcome.kind == ShredError::Open &&
                                      (outcome.err == EMFILE || outcome.err == ENFILE);
        if (outOfDescriptors && attempt == 0 && (!m_batch->Empty() || m_named.valid())) {
            // Both batches done here close every file they held.
            if (!RunBatch(false)) {
                return Stop(result, path);
            }
            continue;
        }
        if (outcome.status != EntryOutcome::Destroyed) {
            return Record(outcome, path, result);
        }
        break;
    }
    const std::uint64_t length = static_cast<std::uint64_t>(member.opened.st_size);
    if (sharing != ShredBatch::Sharing::Alone && !m_batch->Fits(dev, length, sharing)) {
        // It grew since it was listed.
        if (!RunBatch()) {
            return Stop(result, path);
        }
        sharing = ShredBatch::Fits(length) ? shares : ShredBatch::Sharing::Alone;
        if ((dirfd = OpenFolder(entry, path, result)) < 0) {
            return true;
        }
    }
    m_batch->Add(std::move(member), dirfd, sharing);
    if (closes) {
        Close(entry, row);
        m_closed = true;
    }
    return sharing != ShredBatch::Sharing::Alone || RunBatch();
}
