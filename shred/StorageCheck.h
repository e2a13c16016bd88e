// What overwriting in place can promise on the storage of one open file, and
// which storage the engine must never write to. Every decision comes from one
// table of file systems and is a pure function of what the system reported.
#ifndef VORN_SHRED_STORAGECHECK_H
#define VORN_SHRED_STORAGECHECK_H

#include "shred/ShredResult.h"

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <utility>

struct stat;

// What the system reported about a file and the file system holding it.
struct StorageFacts
{
    unsigned long magic = 0;    // fstatfs f_type
    std::string mountType;      // as mountinfo names it: "ext4", "fuse.sshfs"
    std::string mountOptions;   // super-block options: "rw,data=journal"
    unsigned int fileFlags = 0; // FS_IOC_GETFLAGS
    bool sharedExtents = false; // FIEMAP found an extent shared with another file
    bool lowerLayer = false;    // an overlay's lower layer holds (or may hold) it
};

// Where a file system keeps removed names in a folder's own storage until
// new entries take their place: what shows that the folder grew.
enum class FolderGrowth
{
    None,              // no name stays in the folder itself, or none is reachable
    FolderBlocks,      // the folder's allocated blocks (XFS)
    FolderOrFreeSpace, // its size or blocks, or the free blocks (FAT, exFAT, NTFS)
    FreeSpace,         // the file system's free blocks (exfat-fuse, ntfs-3g)
    FreeFiles,         // the free files count, where fusefat reports free clusters
};

struct NameKeeping
{
    FolderGrowth growth = FolderGrowth::None;
    // Removing the renamed entries brings names back within reach (exfat-fuse
    // gives a folder's emptied clusters back, NTFS moves index entries
    // between records): the folder is filled once more after the removals.
    bool again = false;
};

struct StorageVerdict
{
    bool refused = false;  // a pseudo or firmware file system: never list or write
    bool together = false; // one syncfs makes every file and folder change durable
    std::optional<ShredCaveat> caveat;
    NameKeeping freedNames;
};

class StorageCheck
{
public:
    // The decision for a file of the given facts.
    static StorageVerdict Decide(const StorageFacts& facts);
    // Whether the file system of `path` (followed) is one never to touch.
    static bool Refused(const std::string& path);

    // Whether files of the file system of magic `magic` can share blocks with
    // other files (reflink copies, snapshots); `xfsReflink` is what an XFS
    // file system's geometry says. Where they cannot, no file is asked.
    static bool MayShareBlocks(unsigned long magic, bool xfsReflink);

    // The caveat for the regular file open on `fd` (`st` is its fstat; it is
    // `name` in the folder open on `dirfd`, on device `folderDev`) when
    // overwriting it in place may leave its old content on the device, or
    // nothing when the passes reach the blocks that held it.
    std::optional<ShredCaveat> Check(int fd, const struct stat& st, int dirfd, dev_t folderDev,
                                     const char* name);
    // Whether one syncfs of the file system of `fd` (on device `dev`) makes
    // everything written to it and every rename and removal durable: kernel
    // file systems on local storage. A user-space or network file system
    // hears only of the flushes of each file and folder.
    bool FlushesTogether(int fd, dev_t dev);

    // How the folder open on `dirfd` (on device `dev`) keeps removed names
    // in its own storage, and what shows that it grew.
    NameKeeping FreedNames(int dirfd, dev_t dev);

private:
    struct Mount
    {
        std::string type;
        std::string options;
        std::string root;  // the mount's root within its file system
        std::string point; // where it is mounted
    };
    // The mount of the folder open on `dirfd` (on device `dev`), read once.
    const Mount& MountOf(int dirfd, dev_t dev);
    bool InLowerLayer(const Mount& mount, int dirfd, const char* name);
    // The verdict on the file system of the folder open on `dirfd` (on
    // device `dev`) as a whole, read once.
    const StorageVerdict& DeviceVerdict(int dirfd, dev_t dev);

    // What a file system said once, for all its files.
    struct FileSystem
    {
        unsigned long magic;
        bool sharesBlocks;
    };

    std::map<dev_t, Mount> m_mounts; // read once per device and run
    // By the folder's device and the file's (an overlay's file lies on its layer's).
    std::map<std::pair<dev_t, dev_t>, FileSystem> m_fileSystems;
    std::map<dev_t, StorageVerdict> m_devices; // what holds for all of a device's files
};

#endif // VORN_SHRED_STORAGECHECK_H
