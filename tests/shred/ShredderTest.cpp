// The engine, black-box: what is on disk after each operation.
#include "shred/Shredder.h"
#include "shred/OverwritePass.h"
#include "shred/ShredBatch.h"
#include "shred/ShredProgress.h"
#include "shred/ShredRun.h"
#include "tests/support/Mounted.h"
#include "tests/support/ShredPrint.h"
#include "tests/support/TempDir.h"
#include "tests/support/Utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <sys/uio.h>
#include <thread>
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

    // In one run, in its listed folder and on its own: destroyed once, and
    // neither path takes the other's passes for another program's change.
    MakeDir(dir / "both");
    WriteFile(dir / "both/f", "x");
    ShredRun run(false);
    ASSERT_TRUE(run.List(dir / "both"));
    ASSERT_TRUE(run.List(dir / "both/f"));
    EXPECT_TRUE(run.Execute());
    EXPECT_TRUE(run.Results()[0].Complete()) << Describe(run.Results()[0]);
    EXPECT_TRUE(run.Results()[1].Complete()) << Describe(run.Results()[1]);
    EXPECT_TRUE(ListNames(dir / "both").empty());
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

// The engine's calls that decide what is durable when, as interposed below.
struct Call
{
    enum Kind
    {
        Open,      // a file (not a folder) opened: name
        Write,     // pwritev: pattern, end offset
        SyncFs,    // the whole file system
        Flush,     // fsync or fdatasync of a file
        FlushDir,  // fsync of a folder (its number may have been a file's)
        WaitRange, // sync_file_range that waited: end of the range
        Rename,    // name to `to`
        Remove,    // name
    } kind;
    int fd = -1;
    std::string name;
    std::string to;
    unsigned char pattern = 0;
    std::uint64_t end = 0;
    std::thread::id thread = std::this_thread::get_id();
    ino_t folder = 0; // of an Open or Rename: names repeat across folders
};
std::vector<Call>* g_calls = nullptr; // recording while set
// The engine renames and removes one batch while it writes the next.
std::mutex g_interposed; // guards g_calls' calls and g_fileNames

// Another program at work on a listed file while the run destroys it: once,
// at the chosen moment, `act` is done, given the path the file has then.
struct Meddler
{
    enum When
    {
        AtWrite,      // the first write to the file named `trigger`
        BeforeRename, // just before the target is renamed
        AfterRename,  // at the flush between the target's rename and removal
    } when;
    std::string trigger;
    std::function<void(const std::string& path)> act;
    std::string folder, name, temp; // the target's; temp once renamed
    bool done = false;
};
Meddler* g_meddler = nullptr;
std::mutex g_meddling; // the engine's two threads both meet the meddler

void Meddle(Meddler::When when)
{
    std::unique_lock<std::mutex> lock(g_meddling);
    if (g_meddler != nullptr && !g_meddler->done && g_meddler->when == when &&
        (when != Meddler::AfterRename || !g_meddler->temp.empty())) {
        g_meddler->done = true;
        const std::string path = g_meddler->folder + "/" +
                                 (when == Meddler::AfterRename ? g_meddler->temp : g_meddler->name);
        lock.unlock();
        g_meddler->act(path);
    }
}
std::map<int, std::string> g_fileNames; // open descriptor -> file name
std::string g_failFile;                 // the file whose writes or write-back fail
Call::Kind g_failKind = Call::Write;    // Write or WaitRange

void Note(Call::Kind kind, int fd, const char* name = "", const char* to = "",
          unsigned char pattern = 0, std::uint64_t end = 0, int dirfd = -1)
{
    struct stat folder = {};
    if (dirfd >= 0) {
        ::fstat(dirfd, &folder);
    }
    const std::lock_guard<std::mutex> lock(g_interposed);
    if (g_calls != nullptr) {
        g_calls->push_back(
            {kind, fd, name, to, pattern, end, std::this_thread::get_id(), folder.st_ino});
    }
}

bool FailsHere(int fd, Call::Kind kind)
{
    const std::lock_guard<std::mutex> lock(g_interposed);
    auto found = g_fileNames.find(fd);
    return !g_failFile.empty() && g_failKind == kind && found != g_fileNames.end() &&
           found->second == g_failFile;
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
    Note(Call::Remove, dirfd, path);
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
    Note(Call::Rename, olddirfd, oldpath, newpath, 0, 0, olddirfd);
    const bool target = g_meddler != nullptr && g_meddler->name == oldpath;
    if (target) {
        Meddle(Meddler::BeforeRename);
    }
    const int rc = real(olddirfd, oldpath, newdirfd, newpath, flags);
    if (target && rc == 0) {
        const std::lock_guard<std::mutex> lock(g_meddling);
        g_meddler->temp = newpath;
    }
    return rc;
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

// --- Durability in order: batches of small files, chunks of large ones ---------------

extern "C" int openat(int dirfd, const char* path, int flags, ...)
{
    using Real = int (*)(int, const char*, int, ...);
    static const Real real = RealCall<Real>("openat");
    int mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, int);
        va_end(args);
    }
    const int fd = real(dirfd, path, flags, mode);
    if (fd >= 0 && (flags & O_DIRECTORY) == 0) {
        {
            const std::lock_guard<std::mutex> lock(g_interposed);
            g_fileNames[fd] = path;
        }
        Note(Call::Open, fd, path, "", 0, 0, dirfd);
    }
    return fd;
}

namespace {

ssize_t NoteWrite(int fd, const struct iovec* iov, int count, std::uint64_t offset)
{
    std::unique_lock<std::mutex> lock(g_interposed);
    const bool trigger = g_meddler != nullptr && g_fileNames[fd] == g_meddler->trigger;
    lock.unlock();
    if (trigger) {
        Meddle(Meddler::AtWrite);
    }
    if (FailsHere(fd, Call::Write)) {
        errno = EIO;
        return -1;
    }
    std::uint64_t bytes = 0;
    for (int i = 0; i < count; ++i) {
        bytes += iov[i].iov_len;
    }
    Note(Call::Write, fd, "", "", *static_cast<const unsigned char*>(iov[0].iov_base),
         offset + bytes);
    return 0;
}

} // namespace

// The engine is built with 64-bit file offsets: its pwritev is this one.
extern "C" ssize_t pwritev64(int fd, const struct iovec* iov, int count, off64_t offset)
{
    using Real = ssize_t (*)(int, const struct iovec*, int, off64_t);
    static const Real real = RealCall<Real>("pwritev64");
    return NoteWrite(fd, iov, count, static_cast<std::uint64_t>(offset)) < 0
               ? -1
               : real(fd, iov, count, offset);
}

extern "C" int syncfs(int fd)
{
    static const auto real = RealCall<int (*)(int)>("syncfs");
    Note(Call::SyncFs, fd);
    Meddle(Meddler::AfterRename);
    // A file's failed write-back is its file system's too: syncfs reports it.
    std::unique_lock<std::mutex> lock(g_interposed);
    for (const auto& file : g_fileNames) {
        if (g_failKind == Call::WaitRange && file.second == g_failFile) {
            errno = EIO;
            return -1;
        }
    }
    lock.unlock();
    return real(fd);
}

extern "C" int fsync(int fd)
{
    static const auto real = RealCall<int (*)(int)>("fsync");
    struct stat st;
    Note(::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) ? Call::FlushDir : Call::Flush, fd);
    Meddle(Meddler::AfterRename);
    return real(fd);
}

extern "C" int fdatasync(int fd)
{
    static const auto real = RealCall<int (*)(int)>("fdatasync");
    if (FailsHere(fd, Call::WaitRange)) {
        errno = EIO; // the file's write-back failed, whichever way it is asked
        return -1;
    }
    Note(Call::Flush, fd);
    return real(fd);
}

extern "C" int sync_file_range(int fd, off64_t offset, off64_t bytes, unsigned int flags)
{
    static const auto real =
        RealCall<int (*)(int, off64_t, off64_t, unsigned int)>("sync_file_range");
    if ((flags & SYNC_FILE_RANGE_WAIT_AFTER) != 0) {
        if (FailsHere(fd, Call::WaitRange)) {
            errno = EIO;
            return -1;
        }
        Note(Call::WaitRange, fd, "", "", 0,
             bytes == 0 ? UINT64_MAX : static_cast<std::uint64_t>(offset + bytes));
    }
    return real(fd, offset, bytes, flags);
}

namespace {

// What in a recorded run broke the order of durability: a pass begun on a
// file before its previous pass was flushed, a rename before the flush after
// the file's last pass, a removal before the flush after its rename, a
// removal never flushed, or a pass made durable by syncfs alone (which may
// leave it in the device's cache) without a member's fdatasync before the
// next step. The engine renames and removes one batch on a second thread
// while it writes the next: a thread's flush counts only for what that
// thread wrote, renamed and removed.
std::vector<std::string> OrderFaults(const std::vector<Call>& calls)
{
    struct File
    {
        std::string name;
        int pattern = -1; // of the last pass written
        bool flushed = true;
        // Made durable by a syncfs alone: the device's cache owes it.
        bool cacheOwed = false;
        std::thread::id writer;
    };
    struct Stage
    {
        std::vector<std::string> renamed, removed; // not flushed yet
    };
    std::map<int, File> files; // by descriptor
    // The descriptor a name in a folder was last opened on.
    std::map<std::pair<ino_t, std::string>, int> byName;
    std::map<std::thread::id, Stage> stages;
    std::vector<std::string> faults;
    // A member's fdatasync flushes the device's cache for every file its thread wrote.
    const auto cacheFlushed = [&](std::thread::id thread) {
        for (auto& file : files) {
            if (file.second.writer == thread) {
                file.second.cacheOwed = false;
            }
        }
    };
    for (const Call& call : calls) {
        Stage& stage = stages[call.thread];
        switch (call.kind) {
        case Call::Open:
            files[call.fd] = File{call.name, -1, true, false, call.thread};
            byName[{call.folder, call.name}] = call.fd;
            break;
        case Call::Write: {
            for (auto& file : files) {
                if (file.second.writer == call.thread && file.second.cacheOwed) {
                    faults.push_back("a pass's syncfs without a member's fdatasync before the "
                                     "next pass");
                    cacheFlushed(call.thread);
                    break;
                }
            }
            File& file = files[call.fd];
            if (file.pattern >= 0 && file.pattern != call.pattern && !file.flushed) {
                faults.push_back("pass begun before the one before was flushed: " + file.name);
            }
            file.pattern = call.pattern;
            file.flushed = false;
            file.writer = call.thread;
            break;
        }
        case Call::SyncFs:
            for (auto& file : files) {
                if (file.second.writer == call.thread && !file.second.flushed) {
                    file.second.flushed = true;
                    file.second.cacheOwed = true;
                }
            }
            stage.renamed.clear();
            stage.removed.clear();
            break;
        case Call::Flush:
            files[call.fd].flushed = true;
            cacheFlushed(call.thread);
            break;
        case Call::FlushDir:
            stage.renamed.clear();
            stage.removed.clear();
            break;
        case Call::WaitRange:
            break;
        case Call::Rename: {
            auto fd = byName.find({call.folder, call.name});
            if (fd != byName.end()) {
                const File& file = files[fd->second];
                if (!file.flushed) {
                    faults.push_back("renamed before its last pass was flushed: " + call.name);
                } else if (file.cacheOwed) {
                    faults.push_back("a pass's syncfs without a member's fdatasync before the "
                                     "rename of " +
                                     call.name);
                }
            }
            stage.renamed.push_back(call.to);
            break;
        }
        case Call::Remove:
            if (std::find(stage.renamed.begin(), stage.renamed.end(), call.name) !=
                stage.renamed.end()) {
                faults.push_back("removed before its rename was flushed: " + call.name);
            }
            stage.removed.push_back(call.name);
            break;
        }
    }
    for (const auto& stage : stages) {
        for (const std::string& name : stage.second.removed) {
            faults.push_back("removal never flushed: " + name);
        }
    }
    return faults;
}

std::size_t Count(const std::vector<Call>& calls, std::initializer_list<Call::Kind> kinds)
{
    return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [&](const Call& c) {
        return std::find(kinds.begin(), kinds.end(), c.kind) != kinds.end();
    }));
}

// A folder of `files` small files, and a file of `large` bytes beside it.
// With `perFolder`, the small files are shared out among subfolders d0, d1
// ... of that many each, under the same names, so that batches span folders.
std::vector<std::string> MakeSmallAndLarge(const TempDir& dir, int files, std::size_t large,
                                           int perFolder = 0)
{
    MakeDir(dir / "small");
    for (int i = 0; i < files; ++i) {
        std::string folder = "small/";
        if (perFolder > 0) {
            folder += "d" + std::to_string(i / perFolder) + "/";
            if (i % perFolder == 0) {
                MakeDir(dir / folder);
            }
        }
        WriteFile(dir / (folder + "f" + std::to_string(perFolder > 0 ? i % perFolder : i)),
                  Filled(1 + (i * 997) % 3000, 's'));
    }
    WriteFile(dir / "large", Filled(large, 'L'));
    return {dir / "small", dir / "large"};
}

} // namespace

TEST(ShredRun, FlushesInOrderAndOncePerBatch)
{
    // Listed as folders, or file by file as a file manager drops a selection.
    for (const bool oneByOne : {false, true}) {
        for (const bool quick : {false, true}) {
            SCOPED_TRACE(testing::Message() << (quick ? "quick" : "two passes")
                                            << (oneByOne ? ", listed one by one" : ""));
            TempDir dir;
            const int files = static_cast<int>(ShredBatch::kMaxFiles) + 44; // two batches
            std::vector<Call> calls;
            ShredRun run(quick);
            // Folders of half a batch: the second batch begins with a new folder.
            const int perFolder = static_cast<int>(ShredBatch::kMaxFiles) / 2;
            for (const std::string& path : MakeSmallAndLarge(dir, files, 3 << 20, perFolder)) {
                if (!oneByOne || path != dir / "small") {
                    ASSERT_TRUE(run.List(path));
                    continue;
                }
                for (const std::string& folder : ListNames(path)) {
                    for (const std::string& name : ListNames(path + "/" + folder)) {
                        ASSERT_TRUE(run.List(path + "/" + folder + "/" + name));
                    }
                }
            }
            g_calls = &calls;
            EXPECT_TRUE(run.Execute());
            g_calls = nullptr;
            std::uint64_t shredded = 0;
            for (const ShredResult& result : run.Results()) {
                EXPECT_TRUE(result.Complete()) << Describe(result);
                shredded += result.shredded;
            }
            EXPECT_EQ(files + 1, static_cast<int>(shredded));
            for (const char* folder : {"small/d0", "small/d1", "small/d2"}) {
                EXPECT_EQ(std::vector<std::string>{}, ListNames(dir / folder));
            }
            EXPECT_EQ(std::vector<std::string>{"small"}, ListNames(dir.Path()));
            EXPECT_EQ(std::vector<std::string>{}, OrderFaults(calls));
            // Per batch a syncfs and a member's fdatasync per pass, a syncfs
            // after the renames and after the removals; the large file alone
            // its passes and its folder twice.
            const std::size_t passes = quick ? 1 : 2;
            EXPECT_LE(Count(calls, {Call::SyncFs, Call::Flush, Call::FlushDir}),
                      2 * (2 * passes + 2) + passes + 2)
                << "a file system whose syncfs the engine does not trust makes four flushes per "
                   "file";
        }
    }
}

TEST(ShredRun, AFileOfABatchWhoseWritesFailFailsAlone)
{
    struct Case
    {
        Call::Kind kind;
        bool oneByOne; // each file its own listed path, sharing the batch
        // Two: the first is renamed and removed while the second is written,
        // and "f7" fails in each of three folders.
        int batches;
    };
    for (const Case c : {Case{Call::Write, false, 1}, Case{Call::WaitRange, false, 1},
                         Case{Call::WaitRange, true, 1}, Case{Call::WaitRange, false, 2}}) {
        SCOPED_TRACE(testing::Message()
                     << (c.kind == Call::Write ? "write" : "write-back") << " fails"
                     << (c.oneByOne ? ", listed one by one" : "") << ", batches: " << c.batches);
        TempDir dir;
        ShredRun run(false);
        const int files = c.batches == 1 ? 20 : static_cast<int>(ShredBatch::kMaxFiles) + 44;
        const int perFolder = c.batches == 1 ? 0 : static_cast<int>(ShredBatch::kMaxFiles) / 2;
        const std::string top = MakeSmallAndLarge(dir, files, 0, perFolder)[0];
        std::vector<std::string> folders{"small"};
        if (perFolder > 0) {
            folders = {"small/d0", "small/d1", "small/d2"};
        }
        for (int i = 0; i < (c.oneByOne ? files : 1); ++i) {
            ASSERT_TRUE(run.List(c.oneByOne ? top + "/f" + std::to_string(i) : top));
        }
        std::vector<Call> calls;
        g_failFile = "f7";
        g_failKind = c.kind;
        g_calls = &calls;
        run.Execute();
        g_calls = nullptr;
        g_failFile.clear();
        const ShredResult& result = run.Results()[c.oneByOne ? 7 : 0];
        EXPECT_EQ(c.oneByOne ? 0u : files - folders.size(), result.shredded);
        ASSERT_EQ(folders.size(), result.failures.size()) << Describe(result);
        std::vector<std::string> failed;
        for (const ShredFailure& failure : result.failures) {
            EXPECT_EQ(ShredError::Write, failure.kind);
            EXPECT_EQ(EIO, failure.err);
            failed.push_back(failure.path);
        }
        std::sort(failed.begin(), failed.end());
        for (std::size_t i = 0; i < folders.size(); ++i) {
            EXPECT_EQ(dir / (folders[i] + "/f7"), failed[i]);
            EXPECT_EQ(std::vector<std::string>{"f7"}, ListNames(dir / folders[i]))
                << "its own name kept";
        }
        for (std::size_t i = 0; c.oneByOne && i < run.Results().size(); ++i) {
            EXPECT_EQ(i != 7, run.Results()[i].Complete()) << i;
        }
        EXPECT_LE(Count(calls, {Call::SyncFs}), 5u * static_cast<unsigned>(c.batches))
            << "the files share one batch each";
        if (c.batches == 2) {
            const auto first = [&](Call::Kind kind) {
                const auto found = std::find_if(calls.begin(), calls.end(), [&](const Call& call) {
                    return call.kind == kind;
                });
                return found == calls.end() ? std::thread::id() : found->thread;
            };
            ASSERT_NE(std::thread::id(), first(Call::Rename));
            EXPECT_NE(first(Call::Write), first(Call::Rename))
                << "the first batch is renamed and removed on a thread of its own";
        }
    }
}

TEST(ShredRun, OnFuseEachFileFlushesItsPassesAndEachFolderItsSteps)
{
    TempDir dir;
    Mounted fs({"exFAT (exfat-fuse)", Driver::ExFat, "mkfs.exfat", 64}, dir);
    VORN_MOUNT_OR_SKIP(fs);
    MakeDir(fs / "small");
    constexpr int kFiles = 20;
    for (int i = 0; i < kFiles; ++i) {
        WriteFile(fs / ("small/f" + std::to_string(i)),
                  Filled(1 + static_cast<size_t>(i) * 300, 's'));
    }
    ShredRun run(false);
    ASSERT_TRUE(run.List(fs / "small"));
    std::vector<Call> calls;
    g_calls = &calls;
    EXPECT_TRUE(run.Execute());
    g_calls = nullptr;
    EXPECT_TRUE(run.Results()[0].Complete()) << Describe(run.Results()[0]);
    EXPECT_EQ(static_cast<std::uint64_t>(kFiles), run.Results()[0].shredded);
    EXPECT_TRUE(ListNames(fs / "small").empty());
    EXPECT_EQ(std::vector<std::string>{}, OrderFaults(calls));
    EXPECT_EQ(0u, Count(calls, {Call::SyncFs})) << "no plain FUSE driver hears syncfs";
    // Each file's own flush per pass; the folder's after the renames, after
    // the removals and after each of the two fills over its old names, once
    // each for all its files.
    EXPECT_EQ(static_cast<std::size_t>(kFiles) * 2, Count(calls, {Call::Flush}));
    EXPECT_EQ(4u, Count(calls, {Call::FlushDir}));
}

TEST(ShredRun, ALargeFileReportsOnlyWhatReachedTheDevice)
{
    // Records, at each report, how far the file was written and waited for.
    struct Watcher : ShredProgress
    {
        bool OnListed(std::uint64_t) override { return true; }
        bool OnEntry(const std::string&, std::uint64_t) override { return true; }
        bool OnWritten(std::uint64_t bytes) override
        {
            std::uint64_t waited = 0, written = 0;
            for (const Call& call : *g_calls) {
                if (call.kind == Call::WaitRange) {
                    waited = std::max(waited, call.end);
                } else if (call.kind == Call::Flush || call.kind == Call::FlushDir) {
                    waited = UINT64_MAX;
                } else if (call.kind == Call::Write) {
                    written = std::max(written, call.end);
                }
            }
            EXPECT_LE(bytes, waited) << "reported before it reached the device";
            EXPECT_LE(written,
                      (waited == UINT64_MAX ? written : waited) + 2 * kShredChunkSize + (1u << 20))
                << "more than two chunks dirty at once";
            reports.push_back(bytes);
            return true;
        }
        std::vector<std::uint64_t> reports;
    } watcher;
    TempDir dir;
    const std::size_t size = 3 * kShredChunkSize + 12345;
    WriteFile(dir / "large", Filled(size, 'L'));
    std::vector<Call> calls;
    ShredRun run(true, &watcher);
    ASSERT_TRUE(run.List(dir / "large"));
    g_calls = &calls;
    EXPECT_TRUE(run.Execute());
    g_calls = nullptr;
    ASSERT_FALSE(watcher.reports.empty());
    EXPECT_EQ(WholeBlocks(size), watcher.reports.back());
    EXPECT_GE(watcher.reports.size(), 3u) << "progress once per chunk, not once per pass";
}

TEST(ShredRun, AnotherProgramAtWorkOnAListedFileIsNeverTakenForIt)
{
    const std::string document = "the user's new document";
    const auto saveOver = [&](const std::string& path) {
        WriteFile(path + ".new", document);
        ASSERT_EQ(0, ::rename((path + ".new").c_str(), path.c_str())); // as editors save
    };
    const auto truncate = [](const std::string& path) {
        ASSERT_EQ(0, ::truncate(path.c_str(), 0));
    };
    const auto extend = [](const std::string& path) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
        ASSERT_EQ(4096, ::write(fd, Filled(4096, 'e').data(), 4096));
        ::close(fd);
    };
    const auto link = [](const std::string& path) {
        ASSERT_EQ(0, ::link(path.c_str(), (path + ".link").c_str()));
    };
    struct Case
    {
        const char* what;
        bool large; // a file alone, written chunk by chunk; else a member of a batch
        Meddler::When when;
        std::function<void(const std::string&)> act;
        ShredError kind;
    };
    const Case cases[] = {
        {"saved over during the passes", false, Meddler::AtWrite, saveOver, ShredError::Replaced},
        {"saved over during the passes", true, Meddler::AtWrite, saveOver, ShredError::Replaced},
        {"saved over before the rename", false, Meddler::BeforeRename, saveOver,
         ShredError::Replaced},
        {"saved over before the removal", false, Meddler::AfterRename, saveOver,
         ShredError::Replaced},
        {"truncated", false, Meddler::AtWrite, truncate, ShredError::Changed},
        {"truncated", true, Meddler::AtWrite, truncate, ShredError::Changed},
        {"extended", false, Meddler::AtWrite, extend, ShredError::Changed},
        {"extended", true, Meddler::AtWrite, extend, ShredError::Changed},
        {"linked", false, Meddler::AtWrite, link, ShredError::Changed},
        {"linked", true, Meddler::AtWrite, link, ShredError::Changed},
    };
    for (const bool quick : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.what << (c.large ? ", large" : ", small")
                                            << (quick ? ", quick" : ""));
            TempDir dir;
            MakeDir(dir / "top");
            for (int i = 0; i < 4; ++i) {
                WriteFile(dir / ("top/f" + std::to_string(i)), "secret");
            }
            WriteFile(dir / "top/target", Filled(c.large ? 3 << 20 : 3000, 't'));
            // A small target is meddled with while another member is written.
            Meddler meddler{c.when, c.large ? "target" : "f0", c.act, dir / "top", "target", "",
                            false};
            ShredRun run(quick);
            ASSERT_TRUE(run.List(dir / "top"));
            g_meddler = &meddler;
            run.Execute();
            g_meddler = nullptr;
            ASSERT_TRUE(meddler.done);

            const ShredResult& result = run.Results()[0];
            EXPECT_EQ(4u, result.shredded);
            ASSERT_EQ(1u, result.failures.size()) << Describe(result);
            EXPECT_EQ(c.kind, result.failures[0].kind);
            EXPECT_EQ(dir / "top/target", result.failures[0].path);
            if (c.kind == ShredError::Replaced) {
                // The document keeps its content, under the name it was saved as.
                const std::string saved = c.when == Meddler::AfterRename
                                              ? dir / ("top/" + meddler.temp)
                                              : dir / "top/target";
                EXPECT_EQ(document, ReadFile(saved));
                EXPECT_EQ(1u, ListNames(dir / "top").size());
            } else {
                EXPECT_TRUE(Exists(dir / "top/target")) << "a changed file keeps its name";
            }
        }
    }
}
