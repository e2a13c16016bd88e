// The storage table: what each file system gets, from what the system
// reported about it, without mounting anything.
#include "shred/StorageCheck.h"
#include "shred/ShredRun.h"

#include <gtest/gtest.h>

#include <linux/fs.h>

#include <optional>
#include <utility>

TEST(StorageCheck, EachFileSystemGetsItsVerdict)
{
    struct Case
    {
        StorageFacts facts;
        bool refused;
        bool together;
        std::optional<ShredCaveatKind> caveat;
        const char* name; // the file system the caveat names
    };
    const std::optional<ShredCaveatKind> none;
    const auto fs = [](unsigned long magic, const char* type, const char* options = "",
                       unsigned flags = 0, bool shared = false, bool lower = false) {
        return StorageFacts{magic, type, options, flags, shared, lower};
    };
    const Case cases[] = {
        {fs(0xEF53, "ext4", "rw,data=ordered"), false, true, none, ""},
        {fs(0xEF53, "ext4", "rw,data=journal"), false, true, ShredCaveatKind::JournalledData,
         "ext4"},
        {fs(0xEF53, "ext3", "rw", FS_JOURNAL_DATA_FL), false, true, ShredCaveatKind::JournalledData,
         "ext3"},
        {fs(0x58465342, "xfs"), false, true, none, ""},
        {fs(0x58465342, "xfs", "", 0, true), false, true, ShredCaveatKind::SharedData, ""},
        {fs(0x9123683E, "btrfs"), false, true, ShredCaveatKind::CopyOnWrite, "btrfs"},
        {fs(0x9123683E, "btrfs", "", FS_NOCOW_FL), false, true, none, ""},
        {fs(0x9123683E, "btrfs", "", FS_NOCOW_FL, true), false, true, ShredCaveatKind::SharedData,
         ""},
        {fs(0x2FC12FC1, ""), false, false, ShredCaveatKind::CopyOnWrite, "zfs"},
        {fs(0xCA451A4E, "bcachefs"), false, true, ShredCaveatKind::CopyOnWrite, "bcachefs"},
        {fs(0xF2F52010, "f2fs"), false, true, ShredCaveatKind::LogStructured, "f2fs"},
        {fs(0x3434, "nilfs2"), false, false, ShredCaveatKind::LogStructured, "nilfs2"},
        {fs(0x4D44, "vfat"), false, true, none, ""},
        {fs(0x2011BAB0, "exfat"), false, true, none, ""},
        {fs(0x7366746E, "ntfs3"), false, true, none, ""},
        {fs(0x01021994, "tmpfs"), false, true, none, ""},
        {fs(0x6969, "nfs4"), false, false, ShredCaveatKind::Network, "nfs4"},
        {fs(0xFF534D42, "cifs"), false, false, ShredCaveatKind::Network, "cifs"},
        {fs(0x01021997, "9p"), false, false, ShredCaveatKind::Network, "9p"},
        {fs(0x65735546, "fuse.sshfs"), false, false, ShredCaveatKind::Network, "fuse.sshfs"},
        {fs(0x65735546, "fuseblk"), false, false, none, ""},      // ntfs-3g, exfat-fuse
        {fs(0x65735546, "fuse.fusefat"), false, false, none, ""}, // a local disk
        {fs(0x794C7630, "overlay", "", 0, false, true), false, true, ShredCaveatKind::LowerLayer,
         "overlay"},
        {fs(0x794C7630, "overlay"), false, true, none, ""},
        {fs(0x9FA0, "proc"), true, false, none, ""},
        {fs(0x62656572, "sysfs"), true, false, none, ""},
        {fs(0xDE5E81E4, "efivarfs"), true, false, none, ""},
        {fs(0x63677270, "cgroup2"), true, false, none, ""},
        {fs(0x64626720, "debugfs"), true, false, none, ""},
        {fs(0x1CD1, "devpts"), true, false, none, ""},
        {fs(0x0187, "autofs"), true, false, none, ""},
        {fs(0x12345678, "unheard-of"), false, false, none, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.facts.magic << " " << c.facts.mountType);
        const StorageVerdict verdict = StorageCheck::Decide(c.facts);
        EXPECT_EQ(c.refused, verdict.refused);
        EXPECT_EQ(c.together, verdict.together);
        ASSERT_EQ(c.caveat.has_value(), verdict.caveat.has_value());
        if (c.caveat) {
            EXPECT_EQ(*c.caveat, verdict.caveat->kind);
            EXPECT_EQ(c.name, verdict.caveat->fileSystem);
        }
    }
    // Where removed names stay in the folder, what shows it grew, and whether
    // the removals bring names back within reach.
    struct Names
    {
        StorageFacts facts;
        FolderGrowth growth;
        bool again;
    };
    const Names names[] = {
        {fs(0xEF53, "ext4"), FolderGrowth::None, false}, // the kernel wipes a removed entry
        {fs(0x58465342, "xfs"), FolderGrowth::FolderBlocks, false},
        {fs(0x9123683E, "btrfs"), FolderGrowth::None, false},
        {fs(0x4D44, "vfat"), FolderGrowth::FolderOrFreeSpace, false},
        {fs(0x2011BAB0, "exfat"), FolderGrowth::FolderOrFreeSpace, true},
        {fs(0x7366746E, "ntfs3"), FolderGrowth::FolderOrFreeSpace, true},
        {fs(0x01021994, "tmpfs"), FolderGrowth::None, false},
        {fs(0x65735546, "fuseblk"), FolderGrowth::FreeSpace, true},
        {fs(0x65735546, "fuse.fusefat"), FolderGrowth::FreeFiles, false},
        {fs(0x65735546, "fuse.sshfs"), FolderGrowth::None, false},
        {fs(0x794C7630, "overlay"), FolderGrowth::None, false},
        {fs(0x12345678, "unheard-of"), FolderGrowth::None, false},
    };
    for (const Names& c : names) {
        SCOPED_TRACE(c.facts.mountType);
        const NameKeeping keeping = StorageCheck::Decide(c.facts).freedNames;
        EXPECT_EQ(c.growth, keeping.growth);
        EXPECT_EQ(c.again, keeping.again);
    }
}

TEST(StorageCheck, TheRootAndPseudoFileSystemsAreRefusedWithoutAWalk)
{
    struct Case
    {
        const char* path;
        ShredError kind;
    };
    for (const Case c : {Case{"/", ShredError::Root}, Case{"/sys/kernel/", ShredError::PseudoFiles},
                         Case{"/proc/self/", ShredError::PseudoFiles},
                         Case{"/proc/self/environ", ShredError::PseudoFiles}}) {
        SCOPED_TRACE(c.path);
        ShredRun run(false);
        ASSERT_TRUE(run.List(c.path));
        EXPECT_EQ(0u, run.TotalEntries()) << "listed without a walk";
        EXPECT_TRUE(run.Execute());
        const ShredResult& result = run.Results()[0];
        EXPECT_TRUE(result.found);
        ASSERT_EQ(1u, result.failures.size());
        EXPECT_EQ(c.kind, result.failures[0].kind);
        EXPECT_EQ(c.path, result.failures[0].path);
    }
}
