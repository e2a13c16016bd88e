// Where the activation socket lives, and which folders are refused for it.
#include "app/IpcService.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Points XDG_RUNTIME_DIR and TMPDIR at test folders for one test.
class IpcServiceTest : public testing::Test
{
protected:
    void SetUp() override
    {
        MakeDir(m_dir / "run");
        ::chmod((m_dir / "run").c_str(), 0700);
        MakeDir(m_dir / "tmp");
        ::setenv("TMPDIR", (m_dir / "tmp").c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("XDG_RUNTIME_DIR");
        ::unsetenv("TMPDIR");
    }
    std::string Path(wxString* why = nullptr) const
    {
        return std::string(ipc::ServicePath(why).utf8_str());
    }

    TempDir m_dir;
};

} // namespace

TEST_F(IpcServiceTest, UsesTheRuntimeFolder)
{
    ::setenv("XDG_RUNTIME_DIR", (m_dir / "run").c_str(), 1);
    EXPECT_EQ(m_dir / "run/vorn-app", Path());
}

TEST_F(IpcServiceTest, MakesAPrivateFolderWithoutOne)
{
    ::unsetenv("XDG_RUNTIME_DIR");
    const std::string folder = m_dir / ("tmp/vorn-" + std::to_string(::getuid()));
    EXPECT_EQ(folder + "/vorn-app", Path());
    struct stat st;
    ASSERT_EQ(0, ::lstat(folder.c_str(), &st));
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(0700u, st.st_mode & 0777);
    EXPECT_EQ(folder + "/vorn-app", Path()) << "the same path again";
}

TEST_F(IpcServiceTest, RefusesFoldersOthersCouldUse)
{
    ::unsetenv("XDG_RUNTIME_DIR");
    const std::string folder = m_dir / ("tmp/vorn-" + std::to_string(::getuid()));
    wxString why;

    MakeDir(folder);
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ("", Path(&why));
    EXPECT_TRUE(why.Contains(wxS("open to other users"))) << why;

    ::rmdir(folder.c_str());
    MakeDir(m_dir / "elsewhere");
    ::chmod((m_dir / "elsewhere").c_str(), 0700);
    ASSERT_EQ(0, ::symlink((m_dir / "elsewhere").c_str(), folder.c_str()));
    EXPECT_EQ("", Path(&why)) << "a link planted in place of the folder";
    EXPECT_TRUE(why.Contains(wxS("not a folder"))) << why;

    ::setenv("XDG_RUNTIME_DIR", (m_dir / "run").c_str(), 1);
    ::chmod((m_dir / "run").c_str(), 0777);
    EXPECT_EQ("", Path(&why));
    ::chmod((m_dir / "run").c_str(), 0700);

    // Only root can hand a folder to another user (CI runs as root).
    if (::geteuid() == 0) {
        GiveToUnprivileged(m_dir / "run");
        EXPECT_EQ("", Path(&why)) << "a folder owned by another user";
        EXPECT_TRUE(why.Contains(wxS("owned by another user"))) << why;
    } else {
        std::printf("note: the other-owner case needs root and was not checked\n");
    }
}
