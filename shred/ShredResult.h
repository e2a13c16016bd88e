// What the engine reports for one listed path: what was destroyed, what was
// not and why, and what the storage could not promise. Kinds and the
// system's error numbers only: the words the user reads live in ui/.
#ifndef VORN_SHRED_SHREDRESULT_H
#define VORN_SHRED_SHREDRESULT_H

#include <cstdint>
#include <string>
#include <vector>

// Why an entry was not destroyed.
enum class ShredError
{
    Stat,            // its information could not be read (err)
    ReadFolder,      // a folder could not be opened or read (err)
    IsFolder,        // a folder was given where a file was asked for
    Replaced,        // the name holds another entry than the one listed
    FolderReplaced,  // a folder on its way was swapped after listing
    NotRegular,      // a FIFO, socket or device
    HardLinked,      // more names share the data (detail: the link count)
    Open,            // could not be opened for writing (err)
    Write,           // a pass or its flush failed (err); the name is kept
    Rename,          // overwritten, but could not be renamed (err)
    SyncAfterRename, // renamed to del.file.<detail>.del, folder not synced
    Remove,          // renamed to del.file.<detail>.del, not removed (err)
    SyncAfterRemove, // removed, but the folder could not be synced (err)
    Cancelled,       // the run was stopped while this entry was overwritten
    Changed,         // truncated, extended, rewritten or linked during its passes
    Root,            // the root folder itself was listed
    PseudoFiles,     // on a pseudo or firmware file system (proc, sysfs, efivarfs ...)
    MountPoint,      // another file system mounted here: not entered
    NoRoomForHoles,  // sparse, its holes unknown, and filling them needs <detail> MiB
};

struct ShredFailure
{
    std::string path; // the entry's path as the file system knows it
    ShredError kind;
    int err = 0;              // errno, where the system gave one
    std::uint64_t detail = 0; // see ShredError
};

// Why overwriting in place may not have reached the old content.
enum class ShredCaveatKind
{
    CopyOnWrite,    // writes go to new blocks (btrfs, ZFS, bcachefs)
    LogStructured,  // writes are appended to a log (F2FS, NILFS2)
    JournalledData, // data also goes through the journal (ext4 data=journal)
    SharedData,     // the blocks belong to another file too (a reflink copy)
    Network,        // what the server keeps is unknown (NFS, SMB, sshfs)
    LowerLayer,     // an overlay's lower layer keeps the original file
    NamesKept,      // the folder could not be filled: removed names may remain in it
};

struct ShredCaveat
{
    ShredCaveatKind kind;
    std::string fileSystem; // the file system's name, for the message

    bool operator==(const ShredCaveat& other) const
    {
        return kind == other.kind && fileSystem == other.fileSystem;
    }
};

struct ShredResult
{
    bool found = false;                 // the path named something that exists
    bool cancelled = false;             // the run was stopped inside this path
    std::uint64_t shredded = 0;         // entries destroyed
    std::vector<ShredFailure> failures; // entries not destroyed
    // Each distinct caveat of the entries that were destroyed.
    std::vector<ShredCaveat> caveats;

    // True when nothing below the path survived: every entry was destroyed,
    // or the path no longer exists at all.
    bool Complete() const { return failures.empty(); }
};

#endif // VORN_SHRED_SHREDRESULT_H
