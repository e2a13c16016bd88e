// Small files destroyed together, so that a folder of many costs a few
// flushes of its file system instead of four per file. Each pass is written
// to every member and made durable with one syncfs before the next pass
// starts; then every member is renamed and one syncfs follows; then every
// member is removed and one syncfs follows. Nothing is renamed before its
// last pass is on the device, nor removed before its rename is.
#ifndef VORN_SHRED_SHREDBATCH_H
#define VORN_SHRED_SHREDBATCH_H

#include "shred/FolderTree.h"
#include "shred/ShredEntry.h"

#include <sys/types.h>

#include <cstdint>
#include <vector>

class ShredProgress;

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

    struct Member
    {
        FolderTree::Index folder;
        const char* name; // stays valid for the run (its NameStore)
        ino_t ino;
        int fd;                 // owned; -1 for a link, or once closed
        std::uint64_t length;   // bytes of the file when it was opened
        std::uint64_t share;    // its bytes in the run's progress
        EntryOutcome outcome;   // Destroyed until something stops it
        unsigned long temp = 0; // del.file.<temp>.del once renamed
    };

    ShredBatch(FolderTree& folders, bool quick, ShredProgress* progress);
    ~ShredBatch();
    ShredBatch(const ShredBatch&) = delete;
    ShredBatch& operator=(const ShredBatch&) = delete;

    // Whether a file of `length` bytes is small enough for a batch.
    static bool Fits(std::uint64_t length);
    bool Empty() const { return m_members.empty(); }
    // Whether a file of `length` bytes on device `dev` may join (a file
    // too large for any batch never may).
    bool Fits(dev_t dev, std::uint64_t length) const;
    // Takes a member opened by OpenEntry in the folder open on `dirfd`.
    void Add(const Member& member, int dirfd, dev_t dev);
    // Destroys the members; false when cancelled, in which case the files
    // whose last pass was written are still renamed and removed, and the
    // rest keep their names. Each member's outcome is then in Members().
    bool Run();
    const std::vector<Member>& Members() const { return m_members; }
    // Closes everything and empties the batch.
    void Clear();

private:
    bool Live(const Member& member) const;
    void Fail(Member& member, ShredError kind, int err = 0, std::uint64_t detail = 0);
    // The folder of a member, open, or -1 with the member failed as `kind`.
    int FolderOf(Member& member, ShredError kind);
    // Makes the passes of members [0, end) durable, each file's own
    // write-back error failing that file alone.
    void FlushPass(std::size_t end);
    // Makes the renames or removals durable; `kind` fails a member whose
    // folder could not be synced.
    void FlushFolders(ShredError kind);
    void RenameAll();
    void RemoveAll();

    FolderTree& m_folders;
    bool m_quick;
    ShredProgress* m_progress;
    std::vector<Member> m_members;
    std::uint64_t m_bytes = 0; // one pass over every member
    dev_t m_dev = 0;
    int m_syncFd = -1; // any descriptor on the file system, for syncfs
};

#endif // VORN_SHRED_SHREDBATCH_H
