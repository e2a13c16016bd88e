#include "shred/StorageCheck.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <vector>

#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

enum class Keeps
{
    Nothing,       // overwritten in place
    CopyOnWrite,   // unless the file has copy-on-write turned off
    LogStructured, // every write appended
    Network,       // the server decides
    Refused,       // not storage of the user's files: never touched
};

// Every file system the engine knows, by super-block magic (linux/magic.h,
// and ZFS's and bcachefs's own). `together`: a kernel file system on local
// storage whose syncfs writes back every file and folder change (tmpfs has
// nothing to flush; overlay passes it to the file system below). `names`:
// where removed names stay in the folder (measured: FAT, exFAT and NTFS keep
// them in freed entries, XFS in the folder block; ext4 wipes the entry, and
// copy-on-write and log file systems leave old folder blocks out of reach).
// `namesAgain`: removals bring names back within reach (measured through
// exfat-fuse and ntfs-3g, and taken alike for the kernel's exfat and ntfs3;
// FAT only marks a removed entry free and never shrinks a folder, XFS marks
// it free in place).
struct FileSystemRow
{
    unsigned long magic;
    const char* name;
    Keeps keeps;
    bool together;
    FolderGrowth names = FolderGrowth::None;
    bool namesAgain = false;
};
constexpr unsigned long kExt4 = 0xEF53;
constexpr unsigned long kBtrfs = 0x9123683E;
constexpr unsigned long kOverlay = 0x794C7630;
constexpr unsigned long kFuse = 0x65735546;
constexpr unsigned long kXfs = 0x58465342;
constexpr FileSystemRow kFileSystems[] = {
    {kExt4, "ext4", Keeps::Nothing, true},
    {0x58465342, "xfs", Keeps::Nothing, true, FolderGrowth::FolderBlocks},
    {kBtrfs, "btrfs", Keeps::CopyOnWrite, true},
    {0x4D44, "vfat", Keeps::Nothing, true, FolderGrowth::FolderOrFreeSpace},
    {0x2011BAB0, "exfat", Keeps::Nothing, true, FolderGrowth::FolderOrFreeSpace, true},
    {0x7366746E, "ntfs3", Keeps::Nothing, true, FolderGrowth::FolderOrFreeSpace, true},
    {0x3153464A, "jfs", Keeps::Nothing, true},
    {0x52654973, "reiserfs", Keeps::Nothing, true},
    {0x01021994, "tmpfs", Keeps::Nothing, true},
    {kOverlay, "overlay", Keeps::Nothing, true},
    {0xCA451A4E, "bcachefs", Keeps::CopyOnWrite, true},
    {0xF2F52010, "f2fs", Keeps::LogStructured, true},
    {0x2FC12FC1, "zfs", Keeps::CopyOnWrite, false},
    {0x3434, "nilfs2", Keeps::LogStructured, false},
    {kFuse, "fuse", Keeps::Nothing, false, FolderGrowth::FreeSpace, true},
    {0x6969, "nfs", Keeps::Network, false},
    {0x517B, "smbfs", Keeps::Network, false},
    {0xFF534D42, "cifs", Keeps::Network, false},
    {0xFE534D42, "smb3", Keeps::Network, false},
    {0x00C36400, "ceph", Keeps::Network, false},
    {0x5346414F, "afs", Keeps::Network, false},
    {0x01021997, "9p", Keeps::Network, false},
    {0x9FA0, "proc", Keeps::Refused, false},
    {0x62656572, "sysfs", Keeps::Refused, false},
    {0x27E0EB, "cgroup", Keeps::Refused, false},
    {0x63677270, "cgroup2", Keeps::Refused, false},
    {0x64626720, "debugfs", Keeps::Refused, false},
    {0x74726163, "tracefs", Keeps::Refused, false},
    {0x73636673, "securityfs", Keeps::Refused, false},
    {0x62656570, "configfs", Keeps::Refused, false},
    {0xDE5E81E4, "efivarfs", Keeps::Refused, false},
    {0xCAFE4A11, "bpf", Keeps::Refused, false},
    {0x6165676C, "pstore", Keeps::Refused, false},
    {0x1CD1, "devpts", Keeps::Refused, false},
    {0x19800202, "mqueue", Keeps::Refused, false},
    {0x958458F6, "hugetlbfs", Keeps::Refused, false},
    {0x65735543, "fusectl", Keeps::Refused, false},
    {0x42494E4D, "binfmt_misc", Keeps::Refused, false},
    {0x0187, "autofs", Keeps::Refused, false},
    {0xF97CFF8C, "selinuxfs", Keeps::Refused, false},
    {0x6E736673, "nsfs", Keeps::Refused, false},
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

unsigned long Magic(const struct statfs& fs)
{
    return static_cast<unsigned long>(fs.f_type) & 0xFFFFFFFFul;
}

// XFS_IOC_FSGEOMETRY_V1 (xfs/xfs_fs.h, not in the kernel's exported
// headers): the fields up to the feature flags are all this needs.
struct XfsGeometryV1
{
    std::uint32_t sizes[8];
    std::uint64_t blocks[4];
    unsigned char uuid[16];
    std::uint32_t sunit, swidth;
    std::int32_t version;
    std::uint32_t flags;
    std::uint32_t logsectsize, rtsectsize, dirblocksize;
};
constexpr unsigned long kXfsGeometryV1 = _IOR('X', 100, XfsGeometryV1);
constexpr std::uint32_t kXfsReflink = 1u << 20; // XFS_FSOP_GEOM_FLAGS_REFLINK

// Whether the XFS file system of `fd` was made with reflink; true where it
// cannot be told, so that its files are asked.
bool XfsReflink(int fd)
{
    XfsGeometryV1 geometry{};
    return ::ioctl(fd, kXfsGeometryV1, &geometry) != 0 || (geometry.flags & kXfsReflink) != 0;
}

// The flags Decide reads: only ext4's and btrfs's matter.
bool FlagsMatter(unsigned long magic)
{
    return magic == kExt4 || magic == kBtrfs;
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

// mountinfo writes space, tab, newline and backslash as octal escapes.
std::string Unescaped(const std::string& field)
{
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t at) { return field[at] >= '0' && field[at] <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) &&
            octal(i + 3)) {
            text += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

// An overlay's lower layers, from its super-block options.
std::vector<std::string> LowerDirs(const std::string& options)
{
    std::vector<std::string> dirs;
    std::istringstream in(options);
    std::string option;
    while (std::getline(in, option, ',')) {
        for (const char* key : {"lowerdir=", "lowerdir+=", "datadir+="}) {
            if (option.rfind(key, 0) != 0) {
                continue;
            }
            // Several layers are separated by ':', a ':' in a name is escaped.
            std::string dir;
            const std::string list = option.substr(std::strlen(key));
            for (std::size_t i = 0; i < list.size(); ++i) {
                if (list[i] == '\\' && i + 1 < list.size() && list[i + 1] == ':') {
                    dir += ':';
                    ++i;
                } else if (list[i] == ':') {
                    dirs.push_back(Unescaped(dir));
                    dir.clear();
                } else {
                    dir += list[i];
                }
            }
            dirs.push_back(Unescaped(dir));
        }
    }
    return dirs;
}

// One mountinfo line: id parent major:minor root mount-point options
// [optional...] - type source super-options.
struct MountLine
{
    std::string id, device, root, point, type, options;
};

bool ParseMountInfoLine(const std::string& line, MountLine& mount)
{
    std::istringstream in(line);
    std::string parent, field, source;
    if (!(in >> mount.id >> parent >> mount.device >> mount.root >> mount.point)) {
        return false;
    }
    while (in >> field && field != "-") {
    }
    return static_cast<bool>(in >> mount.type >> source >> mount.options);
}

// The mount that `fd` lies on, by mount id where the kernel tells it, else
// by device (bind mounts of one device share type and options).
bool FindMount(int fd, dev_t dev, MountLine& found)
{
    struct statx stx;
    std::string id;
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &stx) == 0 && (stx.stx_mask & STATX_MNT_ID)) {
        id = std::to_string(stx.stx_mnt_id);
    }
    const std::string device = std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (ParseMountInfoLine(line, found) &&
            (id.empty() ? found.device == device : found.id == id)) {
            return true;
        }
    }
    return false;
}

} // namespace

StorageVerdict StorageCheck::Decide(const StorageFacts& facts)
{
    StorageVerdict verdict;
    const FileSystemRow* row = nullptr;
    for (const FileSystemRow& known : kFileSystems) {
        if (known.magic == facts.magic) {
            row = &known;
        }
    }
    if (row == nullptr) {
        return verdict; // unknown: no promise of a common flush, no caveat to name
    }
    verdict.refused = row->keeps == Keeps::Refused;
    verdict.together = row->together;
    verdict.freedNames = {row->names, row->namesAgain};
    if (facts.magic == kFuse && IsRemoteFuse(facts.mountType)) {
        verdict.freedNames = {}; // the server's folders are its own
    } else if (facts.mountType == "fuse.fusefat") {
        verdict.freedNames = {FolderGrowth::FreeFiles, false};
    }
    const std::string name = facts.mountType.empty() ? row->name : facts.mountType;
    const auto caveat = [&](ShredCaveatKind kind) { verdict.caveat = ShredCaveat{kind, name}; };
    switch (row->keeps) {
    case Keeps::CopyOnWrite:
        // Only a btrfs file with copy-on-write turned off is overwritten in place.
        if (facts.magic != kBtrfs || (facts.fileFlags & FS_NOCOW_FL) == 0) {
            caveat(ShredCaveatKind::CopyOnWrite);
        }
        break;
    case Keeps::LogStructured:
        caveat(ShredCaveatKind::LogStructured);
        break;
    case Keeps::Network:
        caveat(ShredCaveatKind::Network);
        break;
    case Keeps::Refused:
        return verdict;
    case Keeps::Nothing:
        if (facts.magic == kExt4 && (HasOption(facts.mountOptions, "data=journal") ||
                                     (facts.fileFlags & FS_JOURNAL_DATA_FL) != 0)) {
            caveat(ShredCaveatKind::JournalledData);
        } else if (facts.magic == kOverlay && facts.lowerLayer) {
            caveat(ShredCaveatKind::LowerLayer);
        } else if (facts.magic == kFuse && IsRemoteFuse(facts.mountType)) {
            caveat(ShredCaveatKind::Network);
        }
        break;
    }
    if (!verdict.caveat && facts.sharedExtents) {
        verdict.caveat = ShredCaveat{ShredCaveatKind::SharedData, ""};
    }
    return verdict;
}

bool StorageCheck::Refused(const std::string& path)
{
    struct statfs fs;
    if (::statfs(path.c_str(), &fs) != 0) {
        return false; // what cannot be asked is refused later, when opened
    }
    StorageFacts facts;
    facts.magic = Magic(fs);
    return Decide(facts).refused;
}

const StorageCheck::Mount& StorageCheck::MountOf(int dirfd, dev_t dev)
{
    auto found = m_mounts.find(dev);
    if (found != m_mounts.end()) {
        return found->second;
    }
    Mount mount;
    MountLine line;
    if (FindMount(dirfd, dev, line)) {
        mount = {line.type, line.options, Unescaped(line.root), Unescaped(line.point)};
    }
    return m_mounts.emplace(dev, mount).first->second;
}

// Whether a lower layer of the overlay `mount` has an entry at the place of
// `name` in the folder open on `dirfd`; true where that cannot be told.
bool StorageCheck::InLowerLayer(const Mount& mount, int dirfd, const char* name)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
    std::string folder(4096, '\0');
    const ssize_t length = ::readlink(link, &folder[0], folder.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= folder.size()) {
        return true;
    }
    folder.resize(static_cast<std::size_t>(length));
    if (folder.compare(0, mount.point.size(), mount.point) != 0) {
        return true;
    }
    std::string inside = mount.root == "/" ? "" : mount.root;
    inside += folder.substr(mount.point == "/" ? 0 : mount.point.size());
    inside += std::string("/") + name;
    const std::vector<std::string> lowers = LowerDirs(mount.options);
    if (lowers.empty()) {
        return true;
    }
    for (const std::string& lower : lowers) {
        struct stat st;
        if (::lstat((lower + inside).c_str(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR)) {
            return true;
        }
    }
    return false;
}

bool StorageCheck::MayShareBlocks(unsigned long magic, bool xfsReflink)
{
    switch (magic) {
    case kExt4:
    case 0x4D44:     // vfat
    case 0x2011BAB0: // exfat
    case 0x7366746E: // ntfs3
    case 0x3153464A: // jfs
    case 0x52654973: // reiserfs
    case 0x01021994: // tmpfs
    case kFuse:      // no FIEMAP through FUSE
        return false;
    case kXfs:
        return xfsReflink;
    default:
        return true;
    }
}

std::optional<ShredCaveat> StorageCheck::Check(int fd, const struct stat& st, int dirfd,
                                               dev_t folderDev, const char* name)
{
    // An overlay file's device is its layer's: its mount is found through
    // the folder, whose device is the overlay's.
    const auto key = std::make_pair(folderDev, st.st_dev);
    auto known = m_fileSystems.find(key);
    if (known == m_fileSystems.end()) {
        struct statfs fs;
        if (::fstatfs(fd, &fs) != 0) {
            return std::nullopt;
        }
        const unsigned long magic = Magic(fs);
        const FileSystem found{magic, MayShareBlocks(magic, magic == kXfs && XfsReflink(fd))};
        known = m_fileSystems.emplace(key, found).first;
    }
    const Mount& mount = MountOf(dirfd, folderDev);
    StorageFacts facts;
    facts.magic = known->second.magic;
    facts.mountType = mount.type;
    facts.mountOptions = mount.options;
    facts.fileFlags = FlagsMatter(facts.magic) ? FileFlags(fd) : 0;
    facts.lowerLayer = facts.magic == kOverlay && InLowerLayer(mount, dirfd, name);
    StorageVerdict verdict = Decide(facts);
    if (!verdict.caveat && known->second.sharesBlocks) {
        // Asked only where nothing else spoke: it walks the file's extents.
        facts.sharedExtents = HasSharedExtents(fd);
        verdict = Decide(facts);
    }
    return verdict.caveat;
}

const StorageVerdict& StorageCheck::DeviceVerdict(int dirfd, dev_t dev)
{
    auto found = m_devices.find(dev);
    if (found != m_devices.end()) {
        return found->second;
    }
    struct statfs fs;
    StorageFacts facts;
    if (::fstatfs(dirfd, &fs) == 0) {
        facts.magic = Magic(fs);
        facts.mountType = MountOf(dirfd, dev).type;
    }
    return m_devices.emplace(dev, Decide(facts)).first->second;
}

bool StorageCheck::FlushesTogether(int fd, dev_t dev)
{
    return DeviceVerdict(fd, dev).together;
}

NameKeeping StorageCheck::FreedNames(int dirfd, dev_t dev)
{
    return DeviceVerdict(dirfd, dev).freedNames;
}
