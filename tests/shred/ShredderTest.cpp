// The engine, black-box: what is on disk after each operation.
#include "shred/Shredder.h"
#include "shred/OverwritePass.h"
#include "tests/support/ShredPrint.h"
#include "tests/support/TempDir.h"
#include "tests/support/Utf8.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opens a file read-only; the descriptor keeps the data readable after the
// engine removed the name, so a test can see what the passes left.
class Reader
{
public:
    explicit Reader(const std::string& path) : m_fd(::open(path.c_str(), O_RDONLY)) {}
    ~Reader() { ::close(m_fd); }
    std::string Content() const
    {
        std::string data;
        char buf[4096];
        ssize_t n;
        off_t offset = 0;
        while ((n = ::pread(m_fd, buf, sizeof buf, offset)) > 0) {
            data.append(buf, static_cast<size_t>(n));
            offset += n;
        }
        return data;
    }
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

std::string Filled(size_t size, char byte)
{
    return std::string(size, byte);
}

} // namespace

// --- One pass ---------------------------------------------------------------

TEST(OverwritePass, WritesWholeBlocksOfThePattern)
{
    TempDir dir;
    struct Case
    {
        size_t size;
        size_t after;
    };
    for (const Case c : {Case{0, 0}, Case{1, 1024}, Case{1500, 2048}, Case{2048, 2048},
                         Case{1024 * 1024 + 1, 1024 * 1024 + 1024}}) {
        SCOPED_TRACE(c.size);
        const std::string path = dir / ("f" + std::to_string(c.size));
        WriteFile(path, Filled(c.size, 'x'));
        const int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(0, OverwritePass(fd, c.size, 0x00));
        EXPECT_EQ(Filled(c.after, '\0'), ReadFile(path));
        ASSERT_EQ(0, OverwritePass(fd, c.size, 0x01));
        EXPECT_EQ(Filled(c.after, '\x01'), ReadFile(path));
        ::close(fd);
    }
}

TEST(OverwritePass, ReportsAWriteFailure)
{
    const int fd = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(EBADF, OverwritePass(fd, 10, 0x00));
    ::close(fd);
}

// --- Whole files ------------------------------------------------------------

TEST(ShredFile, NormalModeLeavesOnesAndQuickModeZeros)
{
    TempDir dir;
    for (const bool quick : {false, true}) {
        for (const size_t size : {0u, 1u, 1500u, 2048u}) {
            SCOPED_TRACE(testing::Message() << "quick=" << quick << " size=" << size);
            const std::string path = dir / "secret.txt";
            WriteFile(path, Filled(size, 's'));
            Reader data(path);
            const ShredResult result = ShredFile(W(path), quick);
            EXPECT_TRUE(result.found);
            EXPECT_TRUE(result.Complete()) << Describe(result);
            EXPECT_EQ(1u, result.shredded);
            EXPECT_FALSE(Exists(path));
            EXPECT_TRUE(ListNames(dir.Path()).empty());
            EXPECT_EQ(Filled((size + 1023) / 1024 * 1024, quick ? '\0' : '\x01'), data.Content());
        }
    }
}

TEST(ShredFile, RefusesAFolder)
{
    TempDir dir;
    MakeDir(dir / "sub");
    WriteFile(dir / "sub/keep", "keep");
    const ShredResult result = ShredFile(W(dir / "sub"), false);
    EXPECT_FALSE(result.Complete());
    EXPECT_EQ("keep", ReadFile(dir / "sub/keep"));
}

TEST(ShredPath, TakesTheFirstFreeTemporaryNameAndTouchesNoOther)
{
    TempDir dir;
    WriteFile(dir / "del.file.1.del", "one");
    WriteFile(dir / "del.file.2.del", "two");
    MakeDir(dir / "del.file.3.del"); // a folder makes a name taken too
    WriteFile(dir / "target", "data");
    const ShredResult result = ShredPath(W(dir / "target"), false);
    EXPECT_TRUE(result.Complete()) << Describe(result);
    EXPECT_EQ((std::vector<std::string>{"del.file.1.del", "del.file.2.del", "del.file.3.del"}),
              ListNames(dir.Path()));
    EXPECT_EQ("one", ReadFile(dir / "del.file.1.del"));
    EXPECT_EQ("two", ReadFile(dir / "del.file.2.del"));
}

TEST(ShredPath, AFileNamedLikeATemporaryName)
{
    TempDir dir;
    WriteFile(dir / "del.file.1.del", "itself");
    MakeDir(dir / "del.file.2.del");
    EXPECT_TRUE(ShredPath(W(dir / "del.file.1.del"), true).Complete());
    EXPECT_EQ(std::vector<std::string>{"del.file.2.del"}, ListNames(dir.Path()));
}

TEST(ShredPath, MissingPathsAndRepeats)
{
    TempDir dir;
    const ShredResult missing = ShredPath(W(dir / "nothing"), false);
    EXPECT_FALSE(missing.found);
    EXPECT_TRUE(missing.Complete());
    EXPECT_FALSE(ShredPath(wxString(), false).found);

    WriteFile(dir / "twice", "x");
    EXPECT_TRUE(ShredPath(W(dir / "twice"), false).found);
    const ShredResult again = ShredPath(W(dir / "twice"), false);
    EXPECT_FALSE(again.found);
    EXPECT_TRUE(again.Complete());
    EXPECT_TRUE(ListNames(dir.Path()).empty());
}

TEST(ShredPath, AnyFileName)
{
    TempDir dir;
    const std::vector<std::string> names = {"with space.txt", "中文 文件.txt", "-rf",
                                            "\xff\xfe-not-utf8", "\\back\\slash"};
    for (const std::string& name : names) {
        WriteFile(dir / name, "content of " + name);
    }
    WriteFile(dir / "bystander", "keep");
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const ShredResult result = ShredPathBytes(dir / name, false);
        EXPECT_TRUE(result.Complete()) << Describe(result);
        EXPECT_EQ(1u, result.shredded);
        EXPECT_FALSE(Exists(dir / name));
    }
    EXPECT_EQ(std::vector<std::string>{"bystander"}, ListNames(dir.Path()));
    EXPECT_EQ("keep", ReadFile(dir / "bystander"));
}

// --- Folders ----------------------------------------------------------------

TEST(ShredPath, EmptiesAFolderTreeAndKeepsTheFolders)
{
    TempDir dir;
    const std::string top = dir / "top";
    MakeDir(top);
    MakeDir(top + "/a");
    MakeDir(top + "/a/.hidden-dir");
    MakeDir(top + "/b");
    WriteFile(top + "/1.txt", "1");
    WriteFile(top + "/.hidden", "h");
    WriteFile(top + "/a/2.bin", Filled(5000, 'q'));
    WriteFile(top + "/a/.hidden-dir/3", "3");
    WriteFile(top + "/a/\xc3\x28 bad utf8", "4");
    WriteFile(dir / "outside", "keep");

    const ShredResult result = ShredPath(W(top + "/"), false);
    EXPECT_TRUE(result.found);
    EXPECT_TRUE(result.Complete()) << Describe(result);
    EXPECT_EQ(5u, result.shredded);
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), ListNames(top));
    EXPECT_EQ(std::vector<std::string>{".hidden-dir"}, ListNames(top + "/a"));
    EXPECT_TRUE(ListNames(top + "/a/.hidden-dir").empty());
    EXPECT_EQ("keep", ReadFile(dir / "outside"));

    const ShredResult empty = ShredPath(W(top), false);
    EXPECT_TRUE(empty.found);
    EXPECT_TRUE(empty.Complete());
    EXPECT_EQ(0u, empty.shredded);
}

TEST(ShredPath, NeverFollowsLinks)
{
    TempDir dir;
    const std::string top = dir / "top";
    const std::string outside = dir / "outside";
    MakeDir(top);
    MakeDir(outside);
    WriteFile(outside + "/target.txt", "target");
    WriteFile(outside + "/deep.txt", "deep");
    ASSERT_EQ(0, ::symlink((outside + "/target.txt").c_str(), (top + "/file-link").c_str()));
    ASSERT_EQ(0, ::symlink(outside.c_str(), (top + "/folder-link").c_str()));
    ASSERT_EQ(0, ::symlink("/nowhere", (top + "/dangling").c_str()));

    const ShredResult result = ShredPath(W(top), false);
    EXPECT_TRUE(result.Complete()) << Describe(result);
    EXPECT_EQ(3u, result.shredded);
    EXPECT_TRUE(ListNames(top).empty());
    EXPECT_EQ("target", ReadFile(outside + "/target.txt"));
    EXPECT_EQ("deep", ReadFile(outside + "/deep.txt"));

    // A listed link goes as a link, too.
    ASSERT_EQ(0, ::symlink((outside + "/target.txt").c_str(), (dir / "listed").c_str()));
    EXPECT_TRUE(ShredPath(W(dir / "listed"), false).Complete());
    EXPECT_FALSE(Exists(dir / "listed"));
    EXPECT_EQ("target", ReadFile(outside + "/target.txt"));
}

TEST(ShredPath, LeavesHardLinkedFilesAlone)
{
    TempDir dir;
    MakeDir(dir / "top");
    WriteFile(dir / "top/shared", "shared data");
    ASSERT_EQ(0, ::link((dir / "top/shared").c_str(), (dir / "elsewhere").c_str()));

    const ShredResult result = ShredPath(W(dir / "top"), false);
    EXPECT_FALSE(result.Complete());
    ASSERT_EQ(1u, result.failures.size());
    EXPECT_EQ(ShredError::HardLinked, result.failures[0].kind);
    EXPECT_EQ(2u, result.failures[0].detail);
    EXPECT_EQ("shared data", ReadFile(dir / "top/shared"));
    EXPECT_EQ("shared data", ReadFile(dir / "elsewhere"));
    EXPECT_FALSE(ShredPath(W(dir / "elsewhere"), false).Complete());
}

TEST(ShredPath, LeavesSpecialFilesAloneAndFinishes)
{
    TempDir dir;
    MakeDir(dir / "top");
    ASSERT_EQ(0, ::mkfifo((dir / "top/pipe").c_str(), 0600));
    WriteFile(dir / "top/plain", "plain");

    const ShredResult result = ShredPath(W(dir / "top"), false);
    EXPECT_EQ(1u, result.shredded);
    ASSERT_EQ(1u, result.failures.size());
    EXPECT_EQ(dir / "top/pipe", result.failures[0].path);
    EXPECT_EQ(ShredError::NotRegular, result.failures[0].kind);
    EXPECT_EQ(std::vector<std::string>{"pipe"}, ListNames(dir / "top"));
    EXPECT_FALSE(ShredPath(W(dir / "top/pipe"), false).Complete());
}

// --- Permissions (as an unprivileged user even under root) ---------------------

namespace {

struct PermissionCase
{
    std::string path;
    ShredError kind;
};

int ShredAsChild(void* data)
{
    auto* c = static_cast<PermissionCase*>(data);
    const ShredResult result = ShredPath(W(c->path), false);
    // The reason goes back through the exit status: 0 complete, 1 failed
    // for the expected cause, 2 anything else.
    if (result.Complete()) {
        return 0;
    }
    return result.failures.size() == 1 && result.failures[0].kind == c->kind ? 1 : 2;
}

} // namespace

TEST(ShredPath, AReadOnlyFileIsNeitherOverwrittenNorRemoved)
{
    TempDir dir;
    const std::string folder = dir / "writable";
    MakeDir(folder);
    WriteFile(folder + "/readonly", "still here");
    ::chmod((folder + "/readonly").c_str(), 0444);
    GiveToUnprivileged(folder);
    GiveToUnprivileged(folder + "/readonly");

    PermissionCase c{folder + "/readonly", ShredError::Open};
    EXPECT_EQ(1, RunUnprivileged(ShredAsChild, &c));
    EXPECT_EQ("still here", ReadFile(folder + "/readonly"));
    EXPECT_EQ(std::vector<std::string>{"readonly"}, ListNames(folder));
}

TEST(ShredPath, AFileInAReadOnlyFolderKeepsItsName)
{
    TempDir dir;
    const std::string folder = dir / "locked";
    MakeDir(folder);
    WriteFile(folder + "/inside", "secret");
    GiveToUnprivileged(folder);
    GiveToUnprivileged(folder + "/inside");
    ::chmod(folder.c_str(), 0555);

    PermissionCase c{folder, ShredError::Rename};
    EXPECT_EQ(1, RunUnprivileged(ShredAsChild, &c));
    // The content is destroyed, the name could not be.
    EXPECT_EQ(std::vector<std::string>{"inside"}, ListNames(folder));
    EXPECT_EQ(Filled(1024, '\x01'), ReadFile(folder + "/inside"));
}

TEST(ShredPath, AnUnreadableSubfolderFailsTheFolder)
{
    TempDir dir;
    const std::string top = dir / "top";
    MakeDir(top);
    MakeDir(top + "/closed");
    WriteFile(top + "/closed/hidden", "h");
    WriteFile(top + "/open", "o");
    GiveToUnprivileged(top);
    GiveToUnprivileged(top + "/open");
    ::chmod((top + "/closed").c_str(), 0000);

    PermissionCase c{top, ShredError::ReadFolder};
    EXPECT_EQ(1, RunUnprivileged(ShredAsChild, &c));
    ::chmod((top + "/closed").c_str(), 0755);
    EXPECT_EQ(std::vector<std::string>{"closed"}, ListNames(top));
    EXPECT_EQ("h", ReadFile(top + "/closed/hidden"));
}

// --- A removal that fails after the rename ----------------------------------

namespace {
bool g_failTempUnlink = false;

// The C library's own function behind an interposed one.
template <typename Real> Real RealCall(const char* name)
{
    return reinterpret_cast<Real>(::dlsym(RTLD_NEXT, name));
}

} // namespace

// Interposes the C library's unlinkat for this test binary, so a removal can
// fail after a successful rename, which no permission setting allows.
extern "C" int unlinkat(int dirfd, const char* path, int flags)
{
    using Real = int (*)(int, const char*, int);
    static const Real real = RealCall<Real>("unlinkat");
    if (g_failTempUnlink && std::string(path).rfind("del.file.", 0) == 0) {
        errno = EBUSY;
        return -1;
    }
    return real(dirfd, path, flags);
}

TEST(ShredPath, AFailedRemovalNamesTheNewName)
{
    TempDir dir;
    WriteFile(dir / "del.file.1.del", "taken");
    WriteFile(dir / "victim", "v");
    g_failTempUnlink = true;
    const ShredResult result = ShredPath(W(dir / "victim"), false);
    g_failTempUnlink = false;
    ASSERT_EQ(1u, result.failures.size());
    EXPECT_EQ(ShredError::Remove, result.failures[0].kind);
    EXPECT_EQ(EBUSY, result.failures[0].err);
    EXPECT_EQ(2u, result.failures[0].detail) << "the name it was left under";
    EXPECT_TRUE(Exists(dir / "del.file.2.del"));
    EXPECT_EQ("taken", ReadFile(dir / "del.file.1.del"));
}

// --- Renaming where the file system offers no atomic way ------------------------

namespace {
int g_renameat2Error = 0; // the errno the interposed calls fail with; 0: real call
int g_linkatError = 0;
int g_plainRenames = 0;
} // namespace

// As FAT and exFAT through FUSE answer: no RENAME_NOREPLACE, no hard links.
extern "C" int renameat2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                         unsigned int flags)
{
    using Real = int (*)(int, const char*, int, const char*, unsigned int);
    static const Real real = RealCall<Real>("renameat2");
    if (g_renameat2Error != 0) {
        errno = g_renameat2Error;
        return -1;
    }
    return real(olddirfd, oldpath, newdirfd, newpath, flags);
}

extern "C" int linkat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                      int flags)
{
    using Real = int (*)(int, const char*, int, const char*, int);
    static const Real real = RealCall<Real>("linkat");
    if (g_linkatError != 0) {
        errno = g_linkatError;
        return -1;
    }
    return real(olddirfd, oldpath, newdirfd, newpath, flags);
}

extern "C" int renameat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath)
{
    using Real = int (*)(int, const char*, int, const char*);
    static const Real real = RealCall<Real>("renameat");
    ++g_plainRenames;
    return real(olddirfd, oldpath, newdirfd, newpath);
}

TEST(ShredPath, RenamesWhereTheFileSystemHasNoAtomicWay)
{
    struct Case
    {
        int renameat2Error;
        int linkatError;
        bool plainRename;   // the last way is taken
        ShredError failure; // Cancelled: none expected
        int err;
    };
    const ShredError kNone = ShredError::Cancelled;
    for (const Case c : {Case{EINVAL, 0, false, kNone, 0}, Case{EINVAL, EPERM, true, kNone, 0},
                         Case{ENOSYS, EOPNOTSUPP, true, kNone, 0},
                         Case{EACCES, 0, false, ShredError::Rename, EACCES},
                         Case{EINVAL, EACCES, false, ShredError::Rename, EACCES}}) {
        SCOPED_TRACE(testing::Message() << c.renameat2Error << "/" << c.linkatError);
        TempDir dir;
        WriteFile(dir / "del.file.1.del", "taken");
        WriteFile(dir / "victim", "secret");
        g_renameat2Error = c.renameat2Error;
        g_linkatError = c.linkatError;
        g_plainRenames = 0;
        const ShredResult result = ShredPath(W(dir / "victim"), true);
        g_renameat2Error = g_linkatError = 0;

        EXPECT_EQ(c.plainRename ? 1 : 0, g_plainRenames);
        EXPECT_EQ("taken", ReadFile(dir / "del.file.1.del")) << "a taken name must stay";
        if (c.failure == kNone) {
            EXPECT_TRUE(result.Complete()) << Describe(result);
            EXPECT_EQ(std::vector<std::string>{"del.file.1.del"}, ListNames(dir.Path()));
        } else {
            ASSERT_EQ(1u, result.failures.size());
            EXPECT_EQ(c.failure, result.failures[0].kind);
            EXPECT_EQ(c.err, result.failures[0].err);
            EXPECT_EQ(Filled(1024, '\0'), ReadFile(dir / "victim")) << "overwritten, name kept";
        }
    }
}

// --- Sparse files and deep trees --------------------------------------------------

TEST(OverwritePass, LeavesHolesUnallocated)
{
    TempDir dir;
    const std::string path = dir / "disk.img";
    const off_t length = 64 * 1024 * 1024 + 100; // ends in a hole, not on a block
    const off_t dataAt = 1024 * 1024;
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        const std::string data = Filled(8192, 'd');
        ASSERT_EQ(8192, ::pwrite(fd, data.data(), data.size(), dataAt));
        ASSERT_EQ(0, ::ftruncate(fd, length));
        ::fsync(fd);
        ::close(fd);
    }
    struct stat before;
    ASSERT_EQ(0, ::stat(path.c_str(), &before));
    ASSERT_LT(before.st_blocks * 512, 1024 * 1024) << "the scratch file system keeps no holes";

    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, OverwritePasses(fd, static_cast<std::uint64_t>(length), false));
    ::close(fd);

    struct stat after;
    ASSERT_EQ(0, ::stat(path.c_str(), &after));
    EXPECT_EQ(static_cast<off_t>(WholeBlocks(static_cast<std::uint64_t>(length))), after.st_size);
    EXPECT_LE(after.st_blocks, before.st_blocks) << "the passes allocated space";
    const std::string content = ReadFile(path);
    EXPECT_EQ(Filled(8192, '\x01'), content.substr(static_cast<size_t>(dataAt), 8192));
    EXPECT_EQ(std::string::npos, content.find('d'));
}

TEST(ShredPath, EmptiesATreeDeeperThanPathMax)
{
    TempDir dir;
    MakeDir(dir / "top");
    const std::string name(120, 'n');
    constexpr int kDepth = 40; // beyond PATH_MAX, and more folders than stay open
    // Built and checked through descriptors: the paths are too long to name.
    std::vector<int> fds{::open((dir / "top").c_str(), O_RDONLY | O_DIRECTORY)};
    for (int level = 0; level < kDepth; ++level) {
        ASSERT_EQ(0, ::mkdirat(fds.back(), name.c_str(), 0755));
        const int file = ::openat(fds.back(), "file", O_WRONLY | O_CREAT, 0600);
        ASSERT_EQ(6, ::write(file, "secret", 6));
        ::close(file);
        fds.push_back(::openat(fds.back(), name.c_str(), O_RDONLY | O_DIRECTORY));
        ASSERT_GE(fds.back(), 0);
    }
    const int bottom = ::openat(fds.back(), "bottom", O_WRONLY | O_CREAT, 0600);
    ::close(bottom);
    WriteFile(dir / "top/n", "a sibling after the deep branch");

    const ShredResult result = ShredPath(W(dir / "top"), false);
    EXPECT_TRUE(result.Complete()) << Describe(result);
    EXPECT_EQ(static_cast<std::uint64_t>(kDepth + 2), result.shredded);

    for (int level = kDepth; level >= 0; --level) {
        struct stat st;
        EXPECT_NE(0, ::fstatat(fds[static_cast<size_t>(level)], level < kDepth ? "file" : "bottom",
                               &st, 0))
            << level;
        if (level < kDepth) {
            ::unlinkat(fds[static_cast<size_t>(level)], name.c_str(), AT_REMOVEDIR);
        }
        ::close(fds[static_cast<size_t>(level)]);
    }
    // Each folder could be removed, so each was kept and emptied.
    EXPECT_EQ(std::vector<std::string>{}, ListNames(dir / "top"));
}
