// What overwriting in place can promise on the storage of one open file.
#ifndef VORN_SHRED_STORAGECHECK_H
#define VORN_SHRED_STORAGECHECK_H

#include "shred/ShredResult.h"

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>

struct stat;

class StorageCheck
{
public:
    // The caveat for the regular file open on `fd` (`st` is its fstat) when
    // overwriting it in place may leave its old content on the device, or
    // nothing when the passes reach the blocks that held it.
    std::optional<ShredCaveat> Check(int fd, const struct stat& st);
    // Whether one syncfs of the file system of `fd` (on device `dev`) makes
    // everything written to it and every rename and removal durable: kernel
    // file systems on local storage. A user-space or network file system
    // hears only of the flushes of each file and folder.
    bool FlushesTogether(int fd, dev_t dev);

private:
    struct Mount
    {
        std::string type;    // as mountinfo names it: "ext4", "fuse.sshfs"
        std::string options; // super-block options
    };
    const Mount& MountOf(dev_t dev);

    std::map<dev_t, Mount> m_mounts; // read once per device and run
    std::map<dev_t, bool> m_together;
};

#endif // VORN_SHRED_STORAGECHECK_H
