#include "shred/ShredBatch.h"

#include "shred/OverwritePass.h"
#include "shred/ShredProgress.h"
#include "shred/StorageCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

bool SameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Where overwriting writes new blocks anyway, the count of allocated blocks
// says nothing about another program's truncation (compression may shrink
// it), so only the length and the change time are compared there.
bool BlocksMeanSomething(const EntryOutcome& outcome)
{
    return !outcome.caveat || (outcome.caveat->kind != ShredCaveatKind::CopyOnWrite &&
                               outcome.caveat->kind != ShredCaveatKind::LogStructured);
}

// Whether `name` in the folder open on `dirfd` holds the member's file: 0
// when it does, ESTALE when another entry stands there, or the errno.
int NameHolds(int dirfd, const char* name, const ShredBatch::Member& member)
{
    struct stat st;
    if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno;
    }
    return st.st_dev == member.dev && st.st_ino == member.ino ? 0 : ESTALE;
}

// Since Linux 5.8, syncfs reports the write-back error of any file of the
// file system that the description calling it has not seen yet; before, it
// reported none, and each file had to be asked.
bool SyncfsReportsWriteBackErrors()
{
    static const bool reports = [] {
        utsname name{};
        int major = 0, minor = 0;
        return ::uname(&name) == 0 && std::sscanf(name.release, "%d.%d", &major, &minor) == 2 &&
               (major > 5 || (major == 5 && minor >= 8));
    }();
    return reports;
}

} // namespace

ShredBatch::ShredBatch(FolderTree& folders, bool quick, ShredProgress* progress,
                       StorageCheck& storage)
    : m_folders(folders), m_quick(quick), m_progress(progress), m_storage(storage)
{}

bool ShredBatch::Fits(std::uint64_t length)
{
    return WholeBlocks(length) <= kMaxFileBytes;
}

bool ShredBatch::Fits(dev_t dev, std::uint64_t length, Sharing sharing) const
{
    return Fits(length) && sharing != Sharing::Alone &&
           (m_members.empty() ||
            (sharing == m_sharing && dev == m_dev && m_members.size() < kMaxFiles &&
             m_bytes + WholeBlocks(length) <= kMaxBytes));
}

bool ShredBatch::Holds(dev_t dev, ino_t ino) const
{
    return m_files.count({dev, ino}) != 0;
}

EntryOutcome ShredBatch::Open(int dirfd, const char* name, dev_t dev, ino_t ino, Member& member)
{
    member.name = name;
    member.dev = dev;
    member.ino = ino;
    member.outcome = OpenEntry(dirfd, m_folders.Device(member.folder), name, dev, ino, m_storage,
                               member.fd, member.opened);
    member.changed = member.opened.st_ctim;
    return member.outcome;
}

void ShredBatch::Add(Member member, int dirfd, Sharing sharing)
{
    if (m_members.empty()) {
        m_dev = member.dev;
        m_sharing = sharing;
        // A description of its own: syncfs reports the write-back errors
        // since it was opened, none that another description already took.
        m_syncFd.Reset(sharing == Sharing::Syncfs
                           ? ::openat(dirfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                           : -1);
    }
    m_bytes += WholeBlocks(static_cast<std::uint64_t>(member.opened.st_size));
    m_files.insert({member.dev, member.ino});
    m_lastShare = member.share;
    m_members.push_back(std::move(member));
}

void ShredBatch::Close(FolderTree::Index folder, std::size_t row, NameKeeping names,
                       const std::uint64_t* renamed, std::int64_t listedBlocks)
{
    if (names.growth != FolderGrowth::None) {
        m_closing.push_back({folder, row, names, renamed, listedBlocks, false, {}});
    }
}

void ShredBatch::Clear()
{
    m_members.clear();
    m_closing.clear();
    m_files.clear();
    m_bytes = 0;
    m_syncFd.Reset();
}

bool ShredBatch::FillsByFreeSpace() const
{
    return std::any_of(m_closing.begin(), m_closing.end(), [](const Closing& closing) {
        return closing.names.growth != FolderGrowth::None &&
               closing.names.growth != FolderGrowth::FolderBlocks;
    });
}

bool ShredBatch::Live(const Member& member) const
{
    return member.outcome.status == EntryOutcome::Destroyed;
}

void ShredBatch::Fail(Member& member, ShredError kind, int err, std::uint64_t detail)
{
    member.outcome.status =
        kind == ShredError::Cancelled ? EntryOutcome::Cancelled : EntryOutcome::Failed;
    member.outcome.kind = kind;
    member.outcome.err = err;
    member.outcome.detail = detail;
    member.outcome.caveat.reset();
    member.fd.Reset();
}

int ShredBatch::FolderOf(Member& member, ShredError kind)
{
    bool replaced = false;
    const int dirfd = m_folders.Open(member.folder, replaced, FolderTree::Lane::Names);
    if (dirfd < 0) {
        Fail(member, replaced ? ShredError::FolderReplaced : kind, errno, member.temp);
    }
    return dirfd;
}

bool ShredBatch::Unchanged(const Member& member, std::uint64_t length) const
{
    struct stat st;
    return FreshStat(member.fd.Get(), st) && Matches(member, st, length) &&
           (st.st_nlink == 0 || SameTime(st.st_ctim, member.changed));
}

bool ShredBatch::Matches(const Member& member, const struct stat& st, std::uint64_t length) const
{
    if (st.st_nlink == 0) {
        return true; // its name went elsewhere: the rename tells what became of it
    }
    return st.st_nlink == 1 && static_cast<std::uint64_t>(st.st_size) == length &&
           (st.st_blocks >= member.opened.st_blocks || !BlocksMeanSomething(member.outcome));
}

void ShredBatch::Stamp(Member& member, bool last)
{
    struct stat st;
    if (!FreshStat(member.fd.Get(), st)) {
        Fail(member, ShredError::Write, errno);
        return;
    }
    // After the last pass this look is also the check that no other
    // program truncated, extended or linked the file during the passes.
    const std::uint64_t written = WholeBlocks(static_cast<std::uint64_t>(member.opened.st_size));
    if (last && !Matches(member, st, written)) {
        Fail(member, ShredError::Changed);
        return;
    }
    member.changed = st.st_ctim;
    member.checked = last;
}

void ShredBatch::Prepare()
{
    if (m_sharing == Sharing::Alone) {
        return; // a large file's passes search as they go
    }
    static const std::uint64_t page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    for (Member& member : m_members) {
        if (!Live(member) || !member.fd.Valid()) {
            continue;
        }
        // A pass keeps the holes where they are: one search serves both.
        const std::uint64_t length = static_cast<std::uint64_t>(member.opened.st_size);
        member.data = FindData(member.fd.Get(), length);
        // A write over part of a page that is not cached reads the page
        // first, file after file; asked for now, the reads go together.
        const std::uint64_t total = WholeBlocks(length);
        if (total % page != 0 && !member.data.empty() && member.data.back().end == total) {
            ::posix_fadvise(member.fd.Get(), static_cast<off_t>(total / page * page),
                            static_cast<off_t>(page), POSIX_FADV_WILLNEED);
        }
    }
}

bool ShredBatch::Write()
{
    // Files listed one by one come in the order they were listed: in the
    // order of their inodes the passes reach the device nearly in sequence.
    std::stable_sort(m_members.begin(), m_members.end(),
                     [](const Member& a, const Member& b) { return a.ino < b.ino; });
    Prepare();
    bool going = true;
    for (int pass = 0; pass < PassCount(m_quick) && going; ++pass) {
        const std::size_t written = WritePass(pass, going);
        const bool last = pass == PassCount(m_quick) - 1;
        if (going || last) {
            FlushPass(written, last);
        }
        if (!going) {
            // Only a file whose last pass is on the device goes on.
            for (std::size_t i = last ? written : 0; i < m_members.size(); ++i) {
                if (Live(m_members[i]) && m_members[i].fd.Valid()) {
                    Fail(m_members[i], ShredError::Cancelled);
                }
            }
        }
    }
    for (Member& member : m_members) {
        if (Live(member) && member.fd.Valid() && !member.checked &&
            !Unchanged(member, WholeBlocks(static_cast<std::uint64_t>(member.opened.st_size)))) {
            Fail(member, ShredError::Changed);
        }
    }
    return going;
}

bool ShredBatch::Name(bool going, const std::function<bool()>& asked)
{
    RenameAll();
    FlushFolders(ShredError::SyncAfterRename);
    // Once the names are freed, before the removals: exfat-fuse gives a
    // folder's emptied trailing clusters back as their last entry goes. And
    // where removals bring names back within reach, once more after them:
    // NTFS moves index entries between records as entries go, and copies of
    // names land where the first fill had been.
    going = FillClosing(going, false, asked);
    RemoveAll();
    FlushFolders(ShredError::SyncAfterRemove);
    going = FillClosing(going, true, asked);
    for (Closing& closing : m_closing) {
        bool replaced = false;
        const int dirfd = closing.scrubbed
                              ? m_folders.Open(closing.folder, replaced, FolderTree::Lane::Names)
                              : -1;
        closing.outcome.gaveBack =
            dirfd >= 0 && NameScrub::GaveBack(dirfd, closing.names.growth, closing.listedBlocks);
    }
    return going;
}

std::size_t ShredBatch::WritePass(int pass, bool& going)
{
    std::size_t at = 0;
    for (; at < m_members.size(); ++at) {
        Member& member = m_members[at];
        if (!Live(member) || !member.fd.Valid()) {
            continue;
        }
        // As it was opened, or as the pass before left it.
        const std::uint64_t length = static_cast<std::uint64_t>(member.opened.st_size);
        if (!Unchanged(member, pass == 0 ? length : WholeBlocks(length))) {
            Fail(member, ShredError::Changed);
            continue;
        }
        int err = 0;
        if (m_sharing != Sharing::Alone) {
            // The progress already counts the batch up to the member added
            // last, whose share it reports; this only asks.
            if (m_progress != nullptr && !m_progress->OnWritten(m_lastShare)) {
                going = false;
                return at;
            }
            // Not sent to the device file by file: the step's flush sends
            // the batch at once, which is cheaper than starting each file.
            err = OverwritePass(member.fd.Get(), length, PassPattern(pass), nullptr, 0, false,
                                &member.data);
        } else {
            // Alone: written back chunk by chunk, durable when it returns.
            err = OverwritePass(member.fd.Get(), length, PassPattern(pass), m_progress,
                                static_cast<std::uint64_t>(pass) * WholeBlocks(length), true);
            if (err == 0) {
                Stamp(member, pass == PassCount(m_quick) - 1);
            }
        }
        if (err == ECANCELED) {
            Fail(member, ShredError::Cancelled);
            going = false;
            return at;
        }
        if (err == kFileChanged) {
            Fail(member, ShredError::Changed);
        } else if (err != 0) {
            Fail(member, ShredError::Write, err);
        }
    }
    return at;
}

void ShredBatch::FlushPass(std::size_t end, bool last)
{
    if (m_sharing == Sharing::Alone) {
        return; // each lone pass flushed itself
    }
    Member* first = nullptr;
    for (std::size_t i = 0; i < end && first == nullptr; ++i) {
        if (Live(m_members[i]) && m_members[i].fd.Valid()) {
            first = &m_members[i];
        }
    }
    if (first == nullptr) {
        return;
    }
    // syncfs flushes the device's write cache only when the file system
    // logged something, and a pass that rewrites blocks in place within one
    // timestamp tick logs nothing (XFS); one member's fdatasync flushes it.
    // FUSE and network storage hear only each file's own flush.
    const bool flushed = m_sharing == Sharing::Syncfs && ::syncfs(m_syncFd.Get()) == 0;
    const int firstErr = flushed && ::fdatasync(first->fd.Get()) != 0 ? errno : 0;
    // A syncfs that succeeded saw no file's write-back fail since the batch
    // began: asking each file again would only repeat it.
    const bool allWell = flushed && SyncfsReportsWriteBackErrors();
    for (std::size_t i = 0; i < end; ++i) {
        Member& member = m_members[i];
        if (!Live(member) || !member.fd.Valid()) {
            continue;
        }
        int err = 0;
        if (&member == first && flushed) {
            err = firstErr;
        } else if (allWell) {
            err = 0;
        } else if (flushed) {
            // Written back already: this only reports the file's own
            // write-back error since it was opened, without another flush.
            if (::sync_file_range(member.fd.Get(), 0, 0,
                                  SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                      SYNC_FILE_RANGE_WAIT_AFTER) != 0) {
                err = errno;
            }
        } else if (::fdatasync(member.fd.Get()) != 0) {
            // The file system failed somewhere: each file says whether here.
            err = errno;
        }
        if (err != 0) {
            Fail(member, ShredError::Write, err);
        } else {
            Stamp(member, last);
        }
    }
}

void ShredBatch::RenameAll()
{
    // The names taken in a folder stay taken until the removals: the search
    // for a free one goes on after the last taken, not from 1 each time.
    std::map<FolderTree::Index, unsigned long> nextIn;
    for (Member& member : m_members) {
        if (!Live(member)) {
            continue;
        }
        const int dirfd = FolderOf(member, ShredError::Rename);
        if (dirfd < 0) {
            continue;
        }
        // The name must still be the file written: it was not held since.
        if (const int err = NameHolds(dirfd, member.name, member)) {
            Fail(member, err == ESTALE ? ShredError::Replaced : ShredError::Stat,
                 err == ESTALE ? 0 : err);
            if (err == ENOENT) {
                member.outcome.status = EntryOutcome::Vanished; // removed by someone else
            }
            continue;
        }
        unsigned long& next = nextIn.emplace(member.folder, 1).first->second;
        RenameWay& way = m_renameWays.emplace(member.dev, RenameWay::NoReplace).first->second;
        if (const int err = RenameToFreeName(dirfd, member.name, member.temp, next, &way)) {
            Fail(member, ShredError::Rename, err);
            continue;
        }
        next = member.temp + 1;
        // Another program may have swapped the name between the check and
        // the rename: what was renamed is then not ours, and goes back.
        const std::string temp = TemporaryName(member.temp);
        if (NameHolds(dirfd, temp.c_str(), member) != 0) {
            RenameNoReplace(dirfd, temp.c_str(), member.name, &way);
            Fail(member, ShredError::Replaced);
            continue;
        }
        member.fd.Reset(); // its pages go with it at the removal
    }
}

void ShredBatch::RemoveAll()
{
    for (Member& member : m_members) {
        if (!Live(member)) {
            continue;
        }
        const int dirfd = FolderOf(member, ShredError::Remove);
        if (dirfd < 0) {
            continue;
        }
        const std::string temp = TemporaryName(member.temp);
        const int err = NameHolds(dirfd, temp.c_str(), member);
        if (err == ESTALE) {
            Fail(member, ShredError::Replaced);
        } else if (err != 0) {
            Fail(member, ShredError::Remove, err, member.temp);
        } else if (::unlinkat(dirfd, temp.c_str(), 0) != 0) {
            Fail(member, ShredError::Remove, errno, member.temp);
        }
    }
}

void ShredBatch::FlushFolders(ShredError kind)
{
    bool any = false;
    for (const Member& member : m_members) {
        any = any || Live(member);
    }
    // A rename or removal goes through the file system's log, whose commit
    // flushes the device: syncfs is enough here.
    if (!any || (m_sharing == Sharing::Syncfs && ::syncfs(m_syncFd.Get()) == 0)) {
        return;
    }
    // Alone, on storage that hears only a folder's own flush, or to find
    // which folder failed: each folder once, its answer for all its members
    // (a second fsync would not report the error again).
    std::map<FolderTree::Index, int> synced;
    for (Member& member : m_members) {
        if (!Live(member)) {
            continue;
        }
        auto found = synced.find(member.folder);
        if (found == synced.end()) {
            const int dirfd = FolderOf(member, kind);
            if (dirfd < 0) {
                continue;
            }
            found = synced.emplace(member.folder, ::fsync(dirfd) == 0 ? 0 : errno).first;
        }
        if (found->second != 0) {
            Fail(member, kind, found->second,
                 kind == ShredError::SyncAfterRename ? member.temp : 0);
        }
    }
}

bool ShredBatch::FillClosing(bool going, bool again, const std::function<bool()>& asked)
{
    const auto stillGoing = [&] {
        going = going && asked();
        return going;
    };
    for (Closing& closing : m_closing) {
        if (again && !closing.names.again) {
            continue;
        }
        const dev_t dev = m_folders.Device(closing.folder);
        const ino_t ino = m_folders.Inode(closing.folder);
        std::uint64_t renamed = *closing.renamed;
        for (const Member& member : m_members) {
            renamed += member.temp != 0 && m_folders.Device(member.folder) == dev &&
                       m_folders.Inode(member.folder) == ino;
        }
        bool replaced = false;
        const int dirfd =
            renamed == 0 ? -1 : m_folders.Open(closing.folder, replaced, FolderTree::Lane::Names);
        if (dirfd < 0) {
            // No name freed in it, or it is gone or another folder now.
            continue;
        }
        closing.scrubbed = true;
        NameScrub::Outcome outcome =
            NameScrub(closing.names.growth, renamed).Finish(dirfd, stillGoing);
        closing.outcome.err = closing.outcome.err != 0 ? closing.outcome.err : outcome.err;
        closing.outcome.cancelled = closing.outcome.cancelled || outcome.cancelled;
        for (std::string& leftover : outcome.leftovers) {
            closing.outcome.leftovers.push_back(std::move(leftover));
            closing.outcome.leftoverErr = outcome.leftoverErr;
        }
    }
    return going;
}
