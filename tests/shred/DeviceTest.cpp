// Proof on real file systems that the data is gone from the device, not only
// from the name space: loop-mounted images are searched byte by byte for the
// content of shredded files, and storage that cannot be overwritten in place
// must say so in the result.
#include "shred/ShredProgress.h"
#include "shred/ShredRun.h"
#include "shred/Shredder.h"
#include "tests/support/Mounted.h"
#include "tests/support/ShredPrint.h"
#include "tests/support/TempDir.h"
#include "tests/support/Utf8.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

// Counts the places where `marker` occurs in the file at `path`, reading it
// in pieces that overlap by the marker's length.
size_t Occurrences(const std::string& path, const std::string& marker)
{
    std::ifstream in(path, std::ios::binary);
    std::string carry;
    std::string piece(1 << 20, '\0');
    size_t count = 0;
    while (in.read(&piece[0], static_cast<std::streamsize>(piece.size())) || in.gcount() > 0) {
        const std::string window = carry + piece.substr(0, static_cast<size_t>(in.gcount()));
        for (size_t at = window.find(marker); at != std::string::npos;
             at = window.find(marker, at + 1)) {
            ++count;
        }
        carry = window.size() >= marker.size() ? window.substr(window.size() - marker.size() + 1)
                                               : window;
    }
    return count;
}

// The marker is built at run time so that it is not in this binary.
std::string Marker()
{
    std::string marker = "VORN-MARKER-";
    for (int i = 0; i < 8; ++i) {
        marker += static_cast<char>('A' + (i * 7) % 26);
    }
    return marker;
}

// What the result says about the content, leaving out what it says about names.
std::vector<ShredCaveat> ContentCaveats(const ShredResult& result)
{
    std::vector<ShredCaveat> caveats;
    for (const ShredCaveat& caveat : result.caveats) {
        if (caveat.kind != ShredCaveatKind::NamesKept) {
            caveats.push_back(caveat);
        }
    }
    return caveats;
}

// Runs `body` on each case's file system, made and mounted afresh; returns
// the file systems this machine could not mount (the other cases still run).
template <typename Case, size_t N, typename Body>
std::string OnEachFileSystem(const Case (&cases)[N], Body body)
{
    std::string unmountable;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fs.name);
        TempDir dir;
        Mounted fs(c.fs, dir);
        if (!fs.Ok()) {
            unmountable += std::string(c.fs.name) + " (" + fs.Why() + ") ";
            continue;
        }
        body(c, fs);
    }
    return unmountable;
}

} // namespace

TEST(Device, ShreddedContentIsGoneFromEveryFileSystem)
{
    struct Case
    {
        FileSystem fs;
        std::optional<ShredCaveatKind> caveat; // none: overwritten in place
    };
    const std::optional<ShredCaveatKind> inPlace;
    const Case cases[] = {
        {{"ext4", Driver::Kernel, "mkfs.ext4 -q -F", 32}, inPlace},
        {{"ext4 data=journal", Driver::Kernel, "mkfs.ext4 -q -F", 32, "data=journal"},
         ShredCaveatKind::JournalledData},
        {{"xfs", Driver::Kernel, "mkfs.xfs -q -f", 320}, inPlace},
        {{"btrfs", Driver::Kernel, "mkfs.btrfs -q -f", 128}, ShredCaveatKind::CopyOnWrite},
        {{"FAT32 (fusefat)", Driver::FuseFat, "mkfs.vfat -F 32", 64}, inPlace},
        {{"exFAT (exfat-fuse)", Driver::ExFat, "mkfs.exfat", 64}, inPlace},
        {{"NTFS (ntfs-3g)", Driver::Ntfs, "mkfs.ntfs -q -F -Q", 64}, inPlace},
        {{"tmpfs", Driver::Tmpfs, "", 0}, inPlace},
    };
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounting an image needs root; run the suite as root (as CI does)";
    }
    const std::string marker = Marker();
    std::string content;
    while (content.size() < 300000) {
        content += marker + " ";
    }
    const std::string unmountable = OnEachFileSystem(cases, [&](const Case& c, Mounted& fs) {
        MakeDir(fs / "folder");
        MakeDir(fs / "folder/sub");
        WriteFile(fs / "single.txt", content.substr(0, 1500));
        WriteFile(fs / "folder/big.bin", content);
        WriteFile(fs / "folder/sub/small", marker);
        WriteFile(fs / "quick.txt", content.substr(0, 5000));
        ::sync();

        for (const auto& [name, quick] : {std::pair<const char*, bool>{"single.txt", false},
                                          {"folder", false},
                                          {"quick.txt", true}}) {
            SCOPED_TRACE(name);
            const ShredResult result = ShredPath(W(fs / name), quick);
            EXPECT_TRUE(result.Complete()) << Describe(result);
            const std::vector<ShredCaveat> caveats = ContentCaveats(result);
            if (c.caveat) {
                ASSERT_EQ(1u, caveats.size());
                EXPECT_EQ(*c.caveat, caveats[0].kind);
            } else {
                EXPECT_TRUE(caveats.empty()) << caveats[0].fileSystem;
            }
        }
        EXPECT_FALSE(Exists(fs / "single.txt"));
        EXPECT_FALSE(Exists(fs / "quick.txt"));
        EXPECT_EQ(std::vector<std::string>{"sub"}, ListNames(fs / "folder"));
        EXPECT_TRUE(ListNames(fs / "folder/sub").empty());

        ASSERT_TRUE(fs.Unmount());
        if (!c.caveat && c.fs.driver != Driver::Tmpfs) {
            EXPECT_EQ(0u, Occurrences(fs.Image(), marker));
        }
    });
    if (!unmountable.empty()) {
        GTEST_SKIP() << "this machine could not mount: " << unmountable;
    }
}

namespace {

// Where a file system keeps copies of names by design, out of any folder.
enum class Log
{
    None,
    Ext4Journal, // inode 8
    NtfsLogFile, // $LogFile, record 2
};

// The image with its journal or log blanked out, as The Sleuth Kit lists the
// blocks that hold it.
std::string WithoutLog(const std::string& image, Log log)
{
    std::string bytes = ReadFile(image);
    if (log == Log::None) {
        return bytes;
    }
    const std::string stat =
        Output("istat " + Quoted(image) + (log == Log::Ext4Journal ? " 8" : " 2"));
    const std::string sizes = Output("fsstat " + Quoted(image));
    const char* label = log == Log::Ext4Journal ? "Block Size: " : "Cluster Size: ";
    const std::string::size_type size = sizes.find(label);
    const std::string::size_type list =
        stat.find('\n', stat.find(log == Log::Ext4Journal ? "Direct Blocks:" : "$DATA (128-1)"));
    const size_t block = size == std::string::npos
                             ? 0
                             : std::strtoul(&sizes[size + std::strlen(label)], nullptr, 10);
    if (block == 0 || list == std::string::npos) {
        ADD_FAILURE() << "cannot find the log of " << image;
        return bytes;
    }
    std::istringstream numbers(stat.substr(list));
    for (size_t number; numbers >> number;) {
        if ((number + 1) * block <= bytes.size()) {
            std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(number * block), block, '\0');
        }
    }
    return bytes;
}

// A distinctive name of 25 characters, no piece of it shared with another.
std::string SecretName(int i)
{
    static const char kLetters[] = "abcdefghijkmnopqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ";
    std::string name;
    std::uint32_t v = 2654435761u * static_cast<std::uint32_t>(i + 1);
    while (name.size() < 25) {
        v = v * 1103515245u + 12345u;
        name += kLetters[(v >> 16) % (sizeof kLetters - 1)];
    }
    return name;
}

std::string Utf16(const std::string& ascii)
{
    std::string wide;
    for (char c : ascii) {
        wide += c;
        wide += '\0';
    }
    return wide;
}

// How `name` may lie on a device: whole in ASCII or UTF-16LE, and in the
// UTF-16LE pieces of `entry` characters a folder keeps: a FAT long-name
// entry holds 13 characters as 5, 6 and 2 with bytes between, an exFAT name
// entry 15. `lastPiece`: whether the name's last piece is looked for too.
std::vector<std::string> Traces(const std::string& name, size_t entry, bool lastPiece)
{
    std::vector<std::string> traces{name, Utf16(name)};
    const size_t end = lastPiece || entry == 0 ? name.size() : (name.size() - 1) / entry * entry;
    for (size_t at = 0; entry != 0 && at < end; at += entry) {
        if (entry == 13) {
            traces.push_back(Utf16(name.substr(at, 5)));
            traces.push_back(Utf16(name.substr(at + 5, 6)));
        } else {
            traces.push_back(Utf16(name.substr(at, entry)));
        }
    }
    return traces;
}

// Stops the run as soon as the folder holds a throwaway entry.
class CancelAtThrowaway : public ShredProgress
{
public:
    explicit CancelAtThrowaway(std::string folder) : m_folder(std::move(folder)) {}
    bool OnListed(std::uint64_t) override { return true; }
    bool OnEntry(const std::string&, std::uint64_t) override { return true; }
    bool OnWritten(std::uint64_t) override
    {
        for (const std::string& name : ListNames(m_folder)) {
            if (name[0] == '~') {
                m_cancelled = true;
                return false;
            }
        }
        return true;
    }
    bool Cancelled() const { return m_cancelled; }

private:
    std::string m_folder;
    bool m_cancelled = false;
};

} // namespace

TEST(Device, RemovedNamesAreGoneFromTheFolders)
{
    struct Case
    {
        FileSystem fs;
        Log log;
        size_t entry; // characters of a name piece its folders keep, if pieces
        // exFAT: every entry set is 3 entries or more, so a run of freed
        // entries that sets cannot tile leaves its last 1 or 2 entries: the
        // end of the name freed last there.
        bool lastPiece;
        bool namesKept; // the folder gives its storage back before it is written: rows say so
    };
    const Case cases[] = {
        {{"FAT32 (fusefat)", Driver::FuseFat, "mkfs.vfat -F 32", 64}, Log::None, 13, true, false},
        {{"exFAT (exfat-fuse)", Driver::ExFat, "mkfs.exfat", 64}, Log::None, 15, false, false},
        {{"NTFS (ntfs-3g)", Driver::Ntfs, "mkfs.ntfs -q -F -Q", 64},
         Log::NtfsLogFile,
         0,
         true,
         false},
        {{"ext4", Driver::Kernel, "mkfs.ext4 -q -F", 32}, Log::Ext4Journal, 0, true, false},
        {{"xfs", Driver::Kernel, "mkfs.xfs -q -f", 320}, Log::None, 0, true, true},
    };
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounting an image needs root; run the suite as root (as CI does)";
    }
    const std::string unmountable = OnEachFileSystem(cases, [&](const Case& c, Mounted& fs) {
        // A folder listed whole, and files of another listed one by one
        // beside two that stay: one named as a throwaway entry would be.
        MakeDir(fs / "listed");
        MakeDir(fs / "other");
        std::vector<std::string> names;
        for (int i = 0; i < 50; ++i) {
            names.push_back(SecretName(i));
            WriteFile(fs / ((i < 45 ? "listed/" : "other/") + names.back()), "x");
        }
        WriteFile(fs / "other/report.txt", "kept");
        WriteFile(fs / "other/~000", "mine");
        ASSERT_TRUE(fs.Remount());

        ShredRun run(false);
        ASSERT_TRUE(run.List(fs / "listed"));
        for (int i = 45; i < 50; ++i) {
            ASSERT_TRUE(run.List(fs / ("other/" + names[static_cast<size_t>(i)])));
        }
        ASSERT_TRUE(run.Execute());
        bool namesKept = false;
        for (const ShredResult& result : run.Results()) {
            EXPECT_TRUE(result.Complete()) << Describe(result);
            for (const ShredCaveat& caveat : result.caveats) {
                namesKept = namesKept || caveat.kind == ShredCaveatKind::NamesKept;
            }
        }
        EXPECT_EQ(c.namesKept, namesKept);
        EXPECT_TRUE(ListNames(fs / "listed").empty());
        EXPECT_EQ((std::vector<std::string>{"report.txt", "~000"}), ListNames(fs / "other"));
        EXPECT_EQ("kept", ReadFile(fs / "other/report.txt"));
        EXPECT_EQ("mine", ReadFile(fs / "other/~000"));

        ASSERT_TRUE(fs.Unmount());
        if (c.namesKept) {
            return;
        }
        const std::string image = WithoutLog(fs.Image(), c.log);
        const std::string deleted = Output("fls -r -d " + Quoted(fs.Image()));
        std::string found;
        for (const std::string& name : names) {
            const std::vector<std::string> traces = Traces(name, c.entry, c.lastPiece);
            for (size_t k = 0; k < traces.size(); ++k) {
                const size_t at = image.find(traces[k]);
                if (at != std::string::npos) {
                    found += name + "@" + std::to_string(at) + "#" + std::to_string(k) + " ";
                    break;
                }
            }
            if (deleted.find(name.substr(0, 13)) != std::string::npos) {
                found += name + "(fls) ";
            }
        }
        EXPECT_EQ("", found) << "names still on the device";
    });

    // Cancelled while the folder is filled: the run stops, and no throwaway
    // entry is left behind.
    {
        TempDir dir;
        Mounted fs({"exFAT (exfat-fuse)", Driver::ExFat, "mkfs.exfat", 64}, dir);
        if (fs.Ok()) {
            MakeDir(fs / "listed");
            for (int i = 0; i < 45; ++i) {
                WriteFile(fs / ("listed/" + SecretName(i)), "x");
            }
            WriteFile(fs / "report.txt", "kept");
            CancelAtThrowaway progress(fs / "listed");
            ShredRun run(false, &progress);
            ASSERT_TRUE(run.List(fs / "listed"));
            EXPECT_FALSE(run.Execute());
            EXPECT_TRUE(progress.Cancelled());
            EXPECT_TRUE(ListNames(fs / "listed").empty());
            EXPECT_EQ("kept", ReadFile(fs / "report.txt"));
        }
    }
    if (!unmountable.empty()) {
        GTEST_SKIP() << "this machine could not mount: " << unmountable;
    }
}

namespace {

// Watches the file system's used space while the passes run.
class SpaceWatch : public ShredProgress
{
public:
    explicit SpaceWatch(const std::string& path) : m_path(path) { m_base = m_peak = Used(); }
    bool OnListed(std::uint64_t) override { return true; }
    bool OnEntry(const std::string&, std::uint64_t) override { return true; }
    bool OnWritten(std::uint64_t) override
    {
        m_peak = std::max(m_peak, Used());
        return true;
    }
    std::uint64_t Growth() const { return m_peak - m_base; }

private:
    std::uint64_t Used() const
    {
        struct statvfs st;
        ::statvfs(m_path.c_str(), &st);
        return (st.f_blocks - st.f_bfree) * st.f_frsize;
    }
    std::string m_path;
    std::uint64_t m_base;
    std::uint64_t m_peak;
};

} // namespace

TEST(Device, ASparseFileLongerThanTheFreeSpaceCostsOnlyItsData)
{
    TempDir dir;
    Mounted fs({"ext4", Driver::Kernel, "mkfs.ext4 -q -F", 64}, dir);
    VORN_MOUNT_OR_SKIP(fs);
    const std::string marker = Marker();
    std::string data;
    while (data.size() < 1024 * 1024) {
        data += marker + " ";
    }
    {
        // 2 GiB long, 1 MiB of data in the middle, like a disk image.
        const int fd = ::open((fs / "disk.img").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(static_cast<ssize_t>(data.size()),
                  ::pwrite(fd, data.data(), data.size(), 1024LL * 1024 * 1024));
        ASSERT_EQ(0, ::ftruncate(fd, 2048LL * 1024 * 1024 + 100));
        ::close(fd);
    }
    ::sync();
    SpaceWatch watch(fs / "");
    ShredRun run(false, &watch);
    ASSERT_TRUE(run.List(fs / "disk.img"));
    ASSERT_TRUE(run.Execute());
    EXPECT_TRUE(run.Results()[0].Complete()) << Describe(run.Results()[0]);
    EXPECT_FALSE(Exists(fs / "disk.img"));
    EXPECT_LE(watch.Growth(), 64u * 1024) << "the passes allocated the holes";

    ASSERT_TRUE(fs.Unmount());
    EXPECT_EQ(0u, Occurrences(fs.Image(), marker));
}

TEST(Device, AReflinkedCopyIsReportedAndKeepsItsContent)
{
    TempDir dir;
    Mounted fs({"xfs", Driver::Kernel, "mkfs.xfs -q -f -m reflink=1", 320}, dir);
    VORN_MOUNT_OR_SKIP(fs);
    const std::string content(200000, 'r');
    WriteFile(fs / "original", content);
    ::sync();
    ASSERT_TRUE(
        Shell("cp --reflink=always " + Quoted(fs / "original") + " " + Quoted(fs / "copy")));

    const ShredResult result = ShredPath(W(fs / "original"), false);
    EXPECT_TRUE(result.Complete()) << Describe(result);
    const std::vector<ShredCaveat> caveats = ContentCaveats(result);
    ASSERT_EQ(1u, caveats.size());
    EXPECT_EQ(ShredCaveatKind::SharedData, caveats[0].kind);
    EXPECT_FALSE(Exists(fs / "original"));
    EXPECT_EQ(content, ReadFile(fs / "copy"));
}

namespace {

// Mounts made by hand for one test, unmounted in reverse order on every way out.
class ExtraMounts
{
public:
    ~ExtraMounts()
    {
        for (auto point = m_points.rbegin(); point != m_points.rend(); ++point) {
            Shell("umount " + Quoted(*point)) || Shell("umount -l " + Quoted(*point));
        }
    }
    bool Mount(const std::string& arguments, const std::string& point)
    {
        if (!Shell("mount " + arguments + " " + Quoted(point))) {
            return false;
        }
        m_points.push_back(point);
        return true;
    }

private:
    std::vector<std::string> m_points;
};

// Does what another program might to the file being overwritten, once, at
// the run's first report of written bytes.
class AtFirstWrite : public ShredProgress
{
public:
    explicit AtFirstWrite(std::function<void()> act) : m_act(std::move(act)) {}
    bool OnListed(std::uint64_t) override { return true; }
    bool OnEntry(const std::string&, std::uint64_t) override { return true; }
    bool OnWritten(std::uint64_t) override
    {
        if (m_act) {
            std::exchange(m_act, nullptr)();
        }
        return true;
    }

private:
    std::function<void()> m_act;
};

} // namespace

TEST(Device, OtherFileSystemsBelowAListedFolderAreLeftAlone)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounting needs root; run the suite as root (as CI does)";
    }
    TempDir dir;
    const std::string top = dir / "top";
    for (const std::string& folder : {top, top + "/memory", top + "/bound", dir / "outside"}) {
        MakeDir(folder);
    }
    WriteFile(dir / "outside/kept", "outside");
    WriteFile(top + "/plain", "plain");
    ExtraMounts mounts;
    ASSERT_TRUE(mounts.Mount("-t tmpfs -o size=1m tmpfs", top + "/memory"));
    ASSERT_TRUE(mounts.Mount("--bind " + Quoted(dir / "outside"), top + "/bound"));
    WriteFile(top + "/memory/kept", "in memory");

    const ShredResult result = ShredPath(W(top), false);
    EXPECT_EQ(1u, result.shredded);
    ASSERT_EQ(2u, result.failures.size()) << Describe(result);
    for (const ShredFailure& failure : result.failures) {
        EXPECT_EQ(ShredError::MountPoint, failure.kind);
    }
    EXPECT_FALSE(Exists(top + "/plain"));
    EXPECT_EQ("outside", ReadFile(dir / "outside/kept"));
    EXPECT_EQ("in memory", ReadFile(top + "/memory/kept"));
}

TEST(Device, AFileOfAnOverlaysLowerLayerIsReported)
{
    TempDir dir;
    Mounted lower({"ext4", Driver::Kernel, "mkfs.ext4 -q -F", 32}, dir);
    VORN_MOUNT_OR_SKIP(lower);
    const std::string marker = Marker();
    WriteFile(lower / "lower.txt", marker);
    ExtraMounts mounts;
    MakeDir(dir / "upper");
    MakeDir(dir / "merged");
    ASSERT_TRUE(mounts.Mount("-t tmpfs -o size=8m tmpfs", dir / "upper"));
    MakeDir(dir / "upper/data");
    MakeDir(dir / "upper/work");
    ASSERT_TRUE(mounts.Mount("-t overlay overlay -o lowerdir=" + lower / "" + ",upperdir=" +
                                 dir / "upper/data" + ",workdir=" + dir / "upper/work",
                             dir / "merged"));
    WriteFile(dir / "merged/upper.txt", "only in the upper layer");

    struct Case
    {
        const char* name;
        bool lowerLayer;
    };
    for (const Case c : {Case{"lower.txt", true}, Case{"upper.txt", false}}) {
        SCOPED_TRACE(c.name);
        const ShredResult result = ShredPath(W(dir / ("merged/" + std::string(c.name))), false);
        EXPECT_TRUE(result.Complete()) << Describe(result);
        EXPECT_FALSE(Exists(dir / ("merged/" + std::string(c.name))));
        ASSERT_EQ(c.lowerLayer ? 1u : 0u, result.caveats.size());
        if (c.lowerLayer) {
            EXPECT_EQ(ShredCaveatKind::LowerLayer, result.caveats[0].kind);
        }
    }
    EXPECT_EQ(marker, ReadFile(lower / "lower.txt")) << "the lower layer is never written";
}

TEST(Device, AFileThatCannotKeepThePromiseIsNotASuccess)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounting an image needs root; run the suite as root (as CI does)";
    }
    const std::string marker = Marker();
    // Truncated by another program during its passes; saved over by one on
    // FUSE storage, where each file is flushed alone. (Not fusefat: its own
    // rename over an open file cross-links the two files' clusters.)
    struct Case
    {
        FileSystem fs;
        bool saveOver; // else truncate
        ShredError kind;
    };
    for (const Case& c :
         {Case{{"ext4", Driver::Kernel, "mkfs.ext4 -q -F", 64}, false, ShredError::Changed},
          Case{{"NTFS (ntfs-3g)", Driver::Ntfs, "mkfs.ntfs -q -F -Q", 64},
               true,
               ShredError::Replaced}}) {
        SCOPED_TRACE(c.fs.name);
        TempDir dir;
        Mounted fs(c.fs, dir);
        VORN_MOUNT_OR_SKIP(fs);
        std::string content;
        while (content.size() < 40u << 20) {
            content += marker + " ";
        }
        const std::string path = fs / "big.iso";
        WriteFile(path, content);
        ::sync();
        AtFirstWrite meddler([&] {
            if (c.saveOver) {
                WriteFile(fs / "report.new", "the new report");
                ::rename((fs / "report.new").c_str(), path.c_str());
            } else {
                ::truncate(path.c_str(), 0);
            }
        });
        ShredRun run(false, &meddler);
        ASSERT_TRUE(run.List(path));
        run.Execute();
        const ShredResult& result = run.Results()[0];
        ASSERT_EQ(1u, result.failures.size()) << Describe(result);
        EXPECT_EQ(c.kind, result.failures[0].kind);
        EXPECT_TRUE(Exists(path));
        if (c.saveOver) {
            EXPECT_EQ("the new report", ReadFile(path));
        }
    }
    // Sparse on ntfs-3g, which cannot tell its holes: filling them would
    // not fit, so nothing is written.
    {
        TempDir dir;
        Mounted fs({"NTFS (ntfs-3g)", Driver::Ntfs, "mkfs.ntfs -q -F -Q", 64}, dir);
        VORN_MOUNT_OR_SKIP(fs);
        const int fd = ::open((fs / "disk.img").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(static_cast<ssize_t>(marker.size()),
                  ::pwrite(fd, marker.data(), marker.size(), 1 << 20));
        ASSERT_EQ(0, ::ftruncate(fd, 512LL << 20));
        ::close(fd);
        ::sync();
        struct statvfs before, after;
        ASSERT_EQ(0, ::statvfs((fs / "").c_str(), &before));
        const ShredResult result = ShredPath(W(fs / "disk.img"), false);
        ASSERT_EQ(1u, result.failures.size()) << Describe(result);
        EXPECT_EQ(ShredError::NoRoomForHoles, result.failures[0].kind);
        EXPECT_EQ(512u, result.failures[0].detail) << "MiB to fill";
        ASSERT_EQ(0, ::statvfs((fs / "").c_str(), &after));
        EXPECT_EQ(before.f_bfree, after.f_bfree);
        EXPECT_EQ(marker, ReadFile(fs / "disk.img").substr(1 << 20, marker.size()));
    }
}
