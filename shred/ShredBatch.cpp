#include "shred/ShredBatch.h"

#include "shred/OverwritePass.h"
#include "shred/ShredProgress.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ShredBatch::ShredBatch(FolderTree& folders, bool quick, ShredProgress* progress)
    : m_folders(folders), m_quick(quick), m_progress(progress)
{}

ShredBatch::~ShredBatch()
{
    Clear();
}

bool ShredBatch::Fits(std::uint64_t length)
{
    return WholeBlocks(length) <= kMaxFileBytes;
}

bool ShredBatch::Fits(dev_t dev, std::uint64_t length) const
{
    return Fits(length) && (m_members.empty() || (dev == m_dev && m_members.size() < kMaxFiles &&
                                                  m_bytes + WholeBlocks(length) <= kMaxBytes));
}

void ShredBatch::Add(const Member& member, int dirfd, dev_t dev)
{
    if (m_members.empty()) {
        m_dev = dev;
        m_syncFd = ::fcntl(dirfd, F_DUPFD_CLOEXEC, 0);
    }
    m_members.push_back(member);
    m_bytes += WholeBlocks(member.length);
}

void ShredBatch::Clear()
{
    for (Member& member : m_members) {
        if (member.fd >= 0) {
            ::close(member.fd);
        }
    }
    m_members.clear();
    m_bytes = 0;
    if (m_syncFd >= 0) {
        ::close(m_syncFd);
        m_syncFd = -1;
    }
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
    if (member.fd >= 0) {
        ::close(member.fd);
        member.fd = -1;
    }
}

int ShredBatch::FolderOf(Member& member, ShredError kind)
{
    bool replaced = false;
    const int dirfd = m_folders.Open(member.folder, replaced);
    if (dirfd < 0) {
        Fail(member, replaced ? ShredError::FolderReplaced : kind, errno, member.temp);
    }
    return dirfd;
}

bool ShredBatch::Run()
{
    const int passes = m_quick ? 1 : 2;
    bool going = true;
    for (int pass = 0; pass < passes && going; ++pass) {
        const unsigned char pattern = pass == 0 ? 0x00 : 0x01;
        std::size_t written = 0; // members [0, written) got this pass
        for (; written < m_members.size(); ++written) {
            Member& member = m_members[written];
            if (!Live(member) || member.fd < 0) {
                continue;
            }
            // The progress already counts the batch; this only asks.
            if (m_progress != nullptr && !m_progress->OnWritten(m_members.back().share)) {
                going = false;
                break;
            }
            if (const int err =
                    OverwritePass(member.fd, member.length, pattern, nullptr, 0, false)) {
                Fail(member, ShredError::Write, err);
            } else {
                // The device works on it while the next files are written.
                ::sync_file_range(member.fd, 0, 0, SYNC_FILE_RANGE_WRITE);
            }
        }
        const bool last = pass == passes - 1;
        if (going || last) {
            FlushPass(written);
        }
        if (!going) {
            // Only a file whose last pass is on the device goes on.
            for (std::size_t i = last ? written : 0; i < m_members.size(); ++i) {
                if (Live(m_members[i]) && m_members[i].fd >= 0) {
                    Fail(m_members[i], ShredError::Cancelled);
                }
            }
        }
    }
    RenameAll();
    FlushFolders(ShredError::SyncAfterRename);
    RemoveAll();
    FlushFolders(ShredError::SyncAfterRemove);
    return going;
}

void ShredBatch::FlushPass(std::size_t end)
{
    bool any = false;
    for (std::size_t i = 0; i < end; ++i) {
        any = any || (Live(m_members[i]) && m_members[i].fd >= 0);
    }
    if (!any) {
        return;
    }
    const bool flushed = ::syncfs(m_syncFd) == 0;
    for (std::size_t i = 0; i < end; ++i) {
        Member& member = m_members[i];
        if (!Live(member) || member.fd < 0) {
            continue;
        }
        int err = 0;
        if (flushed) {
            // Written back already: this only reports the file's own
            // write-back error since it was opened, without another flush.
            if (::sync_file_range(member.fd, 0, 0,
                                  SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                      SYNC_FILE_RANGE_WAIT_AFTER) != 0) {
                err = errno;
            }
        } else if (::fdatasync(member.fd) != 0) {
            // The file system failed somewhere: each file says whether here.
            err = errno;
        }
        if (err != 0) {
            Fail(member, ShredError::Write, err);
        }
    }
}

void ShredBatch::RenameAll()
{
    // The names taken in a folder stay taken until the removals: the search
    // for a free one goes on after the last taken, not from 1 each time.
    FolderTree::Index folder = FolderTree::kNoParent;
    unsigned long next = 1;
    for (Member& member : m_members) {
        if (!Live(member)) {
            continue;
        }
        const int dirfd = FolderOf(member, ShredError::Rename);
        if (dirfd < 0) {
            continue;
        }
        // The name must still be the file written: it was not held since.
        struct stat st;
        if (::fstatat(dirfd, member.name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            const bool vanished = errno == ENOENT;
            Fail(member, ShredError::Stat, errno);
            if (vanished) {
                member.outcome.status = EntryOutcome::Vanished; // removed by someone else
            }
            continue;
        }
        if (st.st_dev != m_dev || st.st_ino != member.ino) {
            Fail(member, ShredError::Replaced);
            continue;
        }
        if (member.folder != folder) {
            folder = member.folder;
            next = 1;
        }
        if (const int err = RenameToFreeName(dirfd, member.name, member.temp, next)) {
            Fail(member, ShredError::Rename, err);
            continue;
        }
        next = member.temp + 1;
        if (member.fd >= 0) {
            ::close(member.fd); // its pages go with it at the removal
            member.fd = -1;
        }
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
        if (::unlinkat(dirfd, TemporaryName(member.temp).c_str(), 0) != 0) {
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
    if (!any || ::syncfs(m_syncFd) == 0) {
        return;
    }
    // Which folder failed: each says, as a run file by file would ask it.
    for (Member& member : m_members) {
        if (!Live(member)) {
            continue;
        }
        const int dirfd = FolderOf(member, kind);
        if (dirfd >= 0 && ::fsync(dirfd) != 0) {
            Fail(member, kind, errno, kind == ShredError::SyncAfterRename ? member.temp : 0);
        }
    }
}
