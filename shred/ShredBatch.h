// The one way an entry is destroyed. Files are destroyed in batches: a large
// file is a batch of one; small files of one file system share a batch,
// whichever listed paths they belong to, so that many cost a few flushes.
// Every member goes through the same steps: its passes, each made durable
// before the next step; a check that no other program changed the file
// meanwhile; a rename to a free del.file.N.del, after which the new name
// must hold the file that was overwritten; the renames made durable; the
// removal of the name, checked once more; the removals made durable. A
// folder whose last listed entry is in the batch has the old names in its
// free entry space overwritten, where its file system keeps them there:
// before the removals and once more after them.
#ifndef VORN_SHRED_SHREDBATCH_H
#define VORN_SHRED_SHREDBATCH_H

#include "shred/Fd.h"
#include "shred/FolderTree.h"
#include "shred/NameScrub.h"
#include "shred/OverwritePass.h"
#include "shred/ShredEntry.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <set>
#include <utility>
#include <vector>

class ShredProgress;
class StorageCheck;

class ShredBatch
{
public:
    // Bounds, measured on a tree of 10,000 files of 1-16 KiB: 512 files
    // came within 1.5 times rm -rf + sync where 256 did not quite; beyond,
    // each flush only waits for more data, and a batch holds a descriptor
    // per file (the usual limit is 1024). The bytes bound what a pass
    // leaves dirty at once.
    static constexpr std::size_t kMaxFiles = 512;
    static constexpr std::uint64_t kMaxBytes = 16u << 20;    // per pass, whole blocks
    static constexpr std::uint64_t kMaxFileBytes = 1u << 20; // a larger file goes alone

    // How the members of a batch are made durable.
    enum class Sharing
    {
        Alone,       // a large file: its passes flush chunk by chunk
        FileFlushes, // FUSE and network storage, which hear only a file's or
                     // folder's own flush: each file's per pass, each
                     // folder's once per step
        Syncfs,      // a local kernel file system: one syncfs per step
    };

    struct Member
    {
        std::size_t row = 0; // the caller's: which listed path it belongs to
        FolderTree::Index folder = 0;
        const char* name = nullptr; // stays valid for the run (its NameStore)
        dev_t dev = 0;              // what the name must hold, as listed
        ino_t ino = 0;
        Fd fd;                   // empty for a link, or once renamed
        struct stat opened = {}; // when opened for the passes
        timespec changed = {};   // its change time when opened or after its last pass
        std::uint64_t share = 0; // its bytes in the run's progress
        DataMap data;            // where it holds data, found before its first pass
        bool checked = false;    // found unchanged after its last pass
        EntryOutcome outcome;    // Destroyed until something stops it
        unsigned long temp = 0;  // del.file.<temp>.del once renamed
    };

    // A folder whose removed names are overwritten once the batch removed
    // its members.
    struct Closing
    {
        FolderTree::Index folder;
        std::size_t row; // the path whose result it goes to
        NameKeeping names;
        // Its entries renamed by the batches before, counted by the caller
        // as each is recorded: read when the fill runs.
        const std::uint64_t* renamed;
        std::int64_t listedBlocks; // its blocks when it was listed
        bool scrubbed = false;     // a name was freed in it, and the fill ran
        NameScrub::Outcome outcome;
    };

    ShredBatch(FolderTree& folders, bool quick, ShredProgress* progress, StorageCheck& storage);
    ShredBatch(const ShredBatch&) = delete;
    ShredBatch& operator=(const ShredBatch&) = delete;

    // Whether a file of `length` bytes is small enough to share a batch.
    static bool Fits(std::uint64_t length);
    bool Empty() const { return m_members.empty() && m_closing.empty(); }
    // Whether the file `ino` on `dev` is a member already; also while Name
    // runs on another thread, which changes no membership.
    bool Holds(dev_t dev, ino_t ino) const;
    // Whether a small file on device `dev` may join this batch of shared flushes.
    bool Fits(dev_t dev, std::uint64_t length, Sharing sharing) const;

    // Opens `name` in the folder open on `dirfd` for `member`, checking it is
    // still the entry listed there with `dev` and `ino`.
    EntryOutcome Open(int dirfd, const char* name, dev_t dev, ino_t ino, Member& member);
    // Takes an opened member, which shares the batch's flushes as `sharing`
    // says (Alone: it must be the only one).
    void Add(Member member, int dirfd, Sharing sharing);
    // Overwrites the names left in `folder` once this batch's members are
    // renamed, if any entry of it was: no later entry of the run lies in it.
    // Its result is the path `row`'s.
    void Close(FolderTree::Index folder, std::size_t row, NameKeeping names,
               const std::uint64_t* renamed, std::int64_t listedBlocks);
    // Destroys the members, in the order of their inodes, in two steps.
    // Write: their passes, made durable and checked; false when cancelled.
    bool Write();
    // Then Name: renames and removes each member whose last pass is durable
    // (also after a cancel) and overwrites the names left in the closing
    // folders, asking `asked` now and then whether to go on with that
    // (`going` is false after a cancelled Write: no fill then). It reaches folders
    // through their own lane, so it may run on a thread of its own while
    // the caller writes the next batch, and asks nothing of the progress.
    // Returns false when cancelled. Each member's outcome is then in Members().
    bool Name(bool going, const std::function<bool()>& asked);
    Sharing Shares() const { return m_sharing; }
    // Whether a fill of this batch judges a folder's growth by the free
    // space, which another batch's writes may move meanwhile (a small NTFS
    // file's pass can move its data out of its record into new clusters).
    bool FillsByFreeSpace() const;
    const std::vector<Member>& Members() const { return m_members; }
    const std::vector<Closing>& Closed() const { return m_closing; }
    // Closes everything and empties the batch.
    void Clear();

private:
    bool Live(const Member& member) const;
    void Fail(Member& member, ShredError kind, int err = 0, std::uint64_t detail = 0);
    // The folder of a member, open, or -1 with the member failed as `kind`.
    int FolderOf(Member& member, ShredError kind);
    // Whether the member's file is as it was opened or as its last pass left
    // it, `length` bytes long: no other program truncated, extended, rewrote
    // or linked it since.
    bool Unchanged(const Member& member, std::uint64_t length) const;
    // The same without the change time: `st` is `length` bytes long, has
    // one name and no fewer blocks than when opened.
    bool Matches(const Member& member, const struct stat& st, std::uint64_t length) const;
    // Before the first pass of shared flushes: where each member holds data,
    // and the reads its passes would wait for, asked for all at once.
    void Prepare();
    // Notes the file's change time once its pass is durable; after the
    // `last` pass, checks it too (Matches).
    void Stamp(Member& member, bool last);
    // Writes pass `pass` to every member; returns the end of the members it
    // reached, short of the end only when cancelled (`going` then false).
    std::size_t WritePass(int pass, bool& going);
    // Makes the passes of members [0, end) of a shared batch durable, each
    // file's own write-back error failing that file alone.
    void FlushPass(std::size_t end, bool last);
    // Makes the renames or removals durable; `kind` fails a member whose
    // folder could not be synced.
    void FlushFolders(ShredError kind);
    void RenameAll();
    void RemoveAll();
    // Overwrites the names left in each closing folder; false when cancelled.
    bool FillClosing(bool going, bool again, const std::function<bool()>& asked);

    FolderTree& m_folders;
    bool m_quick;
    ShredProgress* m_progress;
    StorageCheck& m_storage;
    std::vector<Member> m_members;
    std::vector<Closing> m_closing;
    std::set<std::pair<dev_t, ino_t>> m_files; // the members'
    std::uint64_t m_bytes = 0;                 // one pass over every member
    std::uint64_t m_lastShare = 0;             // the progress share of the member added last
    dev_t m_dev = 0;
    Sharing m_sharing = Sharing::Alone;
    Fd m_syncFd; // a folder of the file system, for syncfs
    // The way of renaming each file system was found to offer, so that its
    // files do not try the ones it lacks again.
    std::map<dev_t, RenameWay> m_renameWays;
};

#endif // VORN_SHRED_SHREDBATCH_H
