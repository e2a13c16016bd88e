#include "shred/StorageCheck.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

namespace {

// Super-block magic numbers (linux/magic.h, and ZFS's and bcachefs's own).
constexpr unsigned long kBtrfs = 0x9123683E;
constexpr unsigned long kExt4 = 0xEF53;

// File systems where no file is overwritten in place, with the name to
// show when the mount table does not name them.
struct KeepsOldCopies
{
    unsigned long magic;
    ShredCaveatKind kind;
    const char* name;
};
constexpr KeepsOldCopies kKeepOldCopies[] = {
    {0x2FC12FC1, ShredCaveatKind::CopyOnWrite, "zfs"},
    {0xCA451A4E, ShredCaveatKind::CopyOnWrite, "bcachefs"},
    {0xF2F52010, ShredCaveatKind::LogStructured, "f2fs"},
    {0x3434, ShredCaveatKind::LogStructured, "nilfs2"},
    {0x6969, ShredCaveatKind::Network, "nfs"},
    {0x517B, ShredCaveatKind::Network, "smbfs"},
    {0xFF534D42, ShredCaveatKind::Network, "cifs"},
    {0xFE534D42, ShredCaveatKind::Network, "smb3"},
    {0x00C36400, ShredCaveatKind::Network, "ceph"},
    {0x5346414F, ShredCaveatKind::Network, "afs"},
    {0x01021997, ShredCaveatKind::Network, "9p"},
};

// Kernel file systems on local storage, whose syncfs writes back every
// file and folder change and flushes the device (tmpfs has nothing to flush;
// overlay passes it to the file system below).
constexpr unsigned long kFlushedTogether[] = {
    kExt4,
    0x58465342 /* xfs */,
    kBtrfs,
    0xF2F52010 /* f2fs */,
    0x4D44 /* vfat */,
    0x2011BAB0 /* exfat */,
    0x7366746E /* ntfs3 */,
    0x3153464A /* jfs */,
    0x52654973 /* reiserfs */,
    0xCA451A4E /* bcachefs */,
    0x01021994 /* tmpfs */,
    0x794C7630 /* overlay */,
};

// User-space file systems whose data lives on another machine or device
// that rewrites it at will (a phone through MTP).
bool IsRemoteFuse(const std::string& type)
{
    for (const char* remote :
         {"fuse.sshfs", "fuse.rclone", "fuse.s3fs", "fuse.gvfsd-fuse", "fuse.davfs", "davfs"}) {
        if (type == remote) {
            return true;
        }
    }
    return false;
}

bool HasOption(const std::string& options, const std::string& wanted)
{
    std::istringstream in(options);
    std::string option;
    while (std::getline(in, option, ',')) {
        if (option == wanted) {
            return true;
        }
    }
    return false;
}

unsigned int FileFlags(int fd)
{
    unsigned int flags = 0;
    return ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 ? flags : 0;
}

// Whether any extent of the file is shared with another file (a reflink
// copy or a snapshot): overwriting it then writes new blocks, and the
// other file keeps the old ones.
bool HasSharedExtents(int fd)
{
    constexpr unsigned kExtents = 64;
    alignas(fiemap) unsigned char buffer[sizeof(fiemap) + kExtents * sizeof(fiemap_extent)];
    fiemap* map = reinterpret_cast<fiemap*>(buffer);
    std::uint64_t start = 0;
    for (;;) {
        std::memset(buffer, 0, sizeof buffer);
        map->fm_start = start;
        map->fm_length = FIEMAP_MAX_OFFSET - start;
        map->fm_extent_count = kExtents;
        if (::ioctl(fd, FS_IOC_FIEMAP, map) != 0 || map->fm_mapped_extents == 0) {
            return false;
        }
        for (unsigned i = 0; i < map->fm_mapped_extents; ++i) {
            const fiemap_extent& extent = map->fm_extents[i];
            if (extent.fe_flags & FIEMAP_EXTENT_SHARED) {
                return true;
            }
            if (extent.fe_flags & FIEMAP_EXTENT_LAST) {
                return false;
            }
        }
        const fiemap_extent& last = map->fm_extents[map->fm_mapped_extents - 1];
        start = last.fe_logical + last.fe_length;
    }
}

// The mount's file system type and super-block options ("rw,data=journal")
// from a mountinfo line, when the line describes device `major`:`minor`.
bool ParseMountInfoLine(const std::string& line, unsigned major, unsigned minor, std::string& type,
                        std::string& options)
{
    // id parent major:minor root mount-point options [optional...] - type source super-options
    std::istringstream in(line);
    std::string id, parent, device;
    if (!(in >> id >> parent >> device) ||
        device != std::to_string(major) + ":" + std::to_string(minor)) {
        return false;
    }
    std::string field;
    while (in >> field && field != "-") {
    }
    std::string source;
    return static_cast<bool>(in >> type >> source >> options);
}

} // namespace

const StorageCheck::Mount& StorageCheck::MountOf(dev_t dev)
{
    auto found = m_mounts.find(dev);
    if (found != m_mounts.end()) {
        return found->second;
    }
    Mount mount;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (ParseMountInfoLine(line, major(dev), minor(dev), mount.type, mount.options)) {
            break;
        }
    }
    return m_mounts.emplace(dev, mount).first->second;
}

std::optional<ShredCaveat> StorageCheck::Check(int fd, const struct stat& st)
{
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0) {
        return std::nullopt;
    }
    const unsigned long magic = static_cast<unsigned long>(fs.f_type) & 0xFFFFFFFFul;
    const Mount& mount = MountOf(st.st_dev);
    const auto caveat = [&](ShredCaveatKind kind, const char* name) {
        return ShredCaveat{kind, mount.type.empty() ? std::string(name) : mount.type};
    };
    // Only a file with copy-on-write turned off is overwritten in place.
    if (magic == kBtrfs && (FileFlags(fd) & FS_NOCOW_FL) == 0) {
        return caveat(ShredCaveatKind::CopyOnWrite, "btrfs");
    }
    // Journalled data keeps copies of the content in the journal.
    if (magic == kExt4 &&
        (HasOption(mount.options, "data=journal") || (FileFlags(fd) & FS_JOURNAL_DATA_FL) != 0)) {
        return caveat(ShredCaveatKind::JournalledData, "ext4");
    }
    for (const KeepsOldCopies& known : kKeepOldCopies) {
        if (known.magic == magic) {
            return caveat(known.kind, known.name);
        }
    }
    if (IsRemoteFuse(mount.type)) {
        return caveat(ShredCaveatKind::Network, "fuse");
    }
    if (HasSharedExtents(fd)) {
        return caveat(ShredCaveatKind::SharedData, "");
    }
    return std::nullopt;
}

bool StorageCheck::FlushesTogether(int fd, dev_t dev)
{
    auto found = m_together.find(dev);
    if (found != m_together.end()) {
        return found->second;
    }
    struct statfs fs;
    bool together = false;
    if (::fstatfs(fd, &fs) == 0) {
        const unsigned long magic = static_cast<unsigned long>(fs.f_type) & 0xFFFFFFFFul;
        for (const unsigned long known : kFlushedTogether) {
            together = together || known == magic;
        }
    }
    return m_together.emplace(dev, together).first->second;
}
