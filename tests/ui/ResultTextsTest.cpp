// The words for the engine's kinds: each failure and caveat as the user
// reads it in a row, in Chinese whatever the locale.
#include "ui/ResultTexts.h"

#include "tests/support/Utf8.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <iterator>
#include <set>
#include <string>

namespace {

// Switches the C library's locale (the one strerror speaks) for a scope.
class ScopedLocale
{
public:
    explicit ScopedLocale(const char* name)
        : m_before(std::setlocale(LC_ALL, nullptr)), m_ok(std::setlocale(LC_ALL, name) != nullptr)
    {}
    ~ScopedLocale() { std::setlocale(LC_ALL, m_before.c_str()); }
    bool Ok() const { return m_ok; }

private:
    std::string m_before;
    bool m_ok;
};

} // namespace

TEST(ResultTexts, EveryFailureAndCaveatInChineseInEveryLocale)
{
    struct FailureCase
    {
        ShredFailure failure;
        const char* text;
    };
    const FailureCase failures[] = {
        {{"/a", ShredError::Stat, EACCES}, "无法读取文件信息：没有权限"},
        {{"/a", ShredError::ReadFolder, EACCES}, "无法读取文件夹：没有权限"},
        // A FUSE driver that died, a network or phone mount that went.
        {{"/a", ShredError::ReadFolder, ENOTCONN},
         "存储设备已停止响应，未处理：与存储设备的连接已断开"},
        {{"/a", ShredError::ReadFolder, ECONNABORTED},
         "存储设备已停止响应，未处理：与存储设备的连接已中止"},
        {{"/a", ShredError::ReadFolder, EIO}, "存储设备已停止响应，未处理：存储设备读写出错"},
        {{"/a", ShredError::IsFolder}, "是文件夹，不是文件，未处理"},
        {{"/a", ShredError::Replaced}, "文件已被其他程序替换，现有的文件未处理"},
        {{"/a", ShredError::FolderReplaced}, "文件夹在列出后被替换，未处理"},
        {{"/a", ShredError::NotRegular}, "不是普通文件（管道、套接字或设备），未处理"},
        {{"/a", ShredError::HardLinked, 0, 3}, "文件有 3 个硬链接，数据也属于其他名称，未处理"},
        {{"/a", ShredError::Open, EROFS}, "无法打开以覆写：文件系统是只读的"},
        {{"/a", ShredError::Write, ENOSPC}, "覆写失败：磁盘空间不足"},
        {{"/a", ShredError::Rename, EPERM}, "无法改名：操作不被允许"},
        {{"/a", ShredError::SyncAfterRename, EIO, 4},
         "已改名为 del.file.4.del，但无法同步文件夹：存储设备读写出错"},
        {{"/a", ShredError::Remove, EBUSY, 2},
         "已改名为 del.file.2.del，但无法删除：设备或文件正被使用"},
        {{"/a", ShredError::SyncAfterRemove, ENOTCONN},
         "已删除，但无法同步文件夹：与存储设备的连接已断开"},
        {{"/a", ShredError::Cancelled}, "已取消"},
        {{"/a", ShredError::Changed}, "覆写期间文件被其他程序改动，原内容可能仍在磁盘上，未改名"},
        {{"/a", ShredError::Root}, "不处理根文件夹"},
        {{"/a", ShredError::PseudoFiles}, "是系统或固件的伪文件系统（proc、sysfs 等），未处理"},
        {{"/a", ShredError::MountPoint}, "是另一个文件系统的挂载点，未进入；如需删除请单独列出"},
        {{"/a", ShredError::NoRoomForHoles, 0, 2048},
         "此文件系统无法识别稀疏文件的空洞，填满需要约 2048 MiB，可用空间不足，未处理"},
    };
    struct ErrorCase
    {
        int err;
        const char* text;
    };
    const ErrorCase errors[] = {
        {EACCES, "没有权限"},
        {EROFS, "文件系统是只读的"},
        {ENOSPC, "磁盘空间不足"},
        {EDQUOT, "超出磁盘配额"},
        {EIO, "存储设备读写出错"},
        {ENOTCONN, "与存储设备的连接已断开"},
        {EBUSY, "设备或文件正被使用"},
        {ETXTBSY, "文件正作为程序运行"},
        {EMLINK, "链接过多"},
        {ENAMETOOLONG, "文件名过长"},
        {ELOOP, "符号链接层数过多"},
        {ENOENT, "文件或文件夹不存在"},
        {ETIMEDOUT, "等待存储设备超时"},
        {ESTALE, "网络文件已失效"},
        {EOPNOTSUPP, "此文件系统不支持该操作"},
    };
    struct CaveatCase
    {
        ShredCaveat caveat;
        const char* text;
    };
    const CaveatCase caveats[] = {
        {{ShredCaveatKind::CopyOnWrite, "btrfs"},
         "已删除，但 btrfs 是写时复制文件系统，原内容可能仍可恢复"},
        {{ShredCaveatKind::LogStructured, "f2fs"},
         "已删除，但 f2fs 是日志结构文件系统，原内容可能仍可恢复"},
        {{ShredCaveatKind::JournalledData, "ext4"},
         "已删除，但 ext4 以数据日志方式挂载，原内容可能仍在日志中"},
        {{ShredCaveatKind::SharedData, "xfs"},
         "已删除，但文件的数据与其他文件共享，原内容仍在其他文件中"},
        {{ShredCaveatKind::Network, "nfs4"},
         "已删除，但 nfs4 是网络文件系统，服务器上可能仍有原内容"},
        {{ShredCaveatKind::LowerLayer, "overlay"}, "已删除，但原文件仍在 overlay 的下层中"},
        {{ShredCaveatKind::NamesKept, "vfat"}, "已删除，但原文件名可能仍留在文件夹中"},
    };

    // Every failure kind and every caveat has a case.
    std::set<ShredError> kinds;
    for (const FailureCase& c : failures) {
        kinds.insert(c.failure.kind);
    }
    EXPECT_EQ(static_cast<std::size_t>(ShredError::NoRoomForHoles) + 1, kinds.size());
    EXPECT_EQ(static_cast<std::size_t>(ShredCaveatKind::NamesKept) + 1, std::size(caveats));

    for (const char* locale : {"C.UTF-8", "zh_CN.UTF-8"}) {
        SCOPED_TRACE(locale);
        ScopedLocale scoped(locale);
        ASSERT_TRUE(scoped.Ok()) << "locale not installed (Debian: locales-all)";
        for (const FailureCase& c : failures) {
            EXPECT_EQ(W(c.text), texts::Reason(c.failure));
        }
        for (const ErrorCase& c : errors) {
            EXPECT_EQ(W(c.text), texts::SystemError(c.err)) << c.err;
        }
        // Only an unusual error is left in the system's words, with its number.
        EXPECT_EQ(wxString::FromUTF8(std::strerror(ENOEXEC)) + W("（错误 8）"),
                  texts::SystemError(ENOEXEC));
        for (const CaveatCase& c : caveats) {
            EXPECT_EQ(W(c.text), texts::Caveat(c.caveat));
        }
    }
}

TEST(ResultTexts, ARowSaysFailedWithItsSummaryOrItsCaveatOrDone)
{
    ShredResult result;
    result.found = true;
    EXPECT_EQ(W("已删除"), texts::Outcome(result, "/top"));
    result.caveats.push_back({ShredCaveatKind::Network, "cifs"});
    EXPECT_EQ(W("已删除，但 cifs 是网络文件系统，服务器上可能仍有原内容"),
              texts::Outcome(result, "/top"));

    // A summary names the entry only when it is not the listed one.
    result.failures.push_back({"/top/a", ShredError::NotRegular});
    EXPECT_EQ(W("删除失败：不是普通文件（管道、套接字或设备），未处理"),
              texts::Outcome(result, "/top/a"));
    EXPECT_EQ(W("删除失败：/top/a：不是普通文件（管道、套接字或设备），未处理"),
              texts::Outcome(result, "/top"));
    result.failures.push_back({"/top/b", ShredError::Open, EACCES});
    EXPECT_EQ(W("删除失败：2 个文件未能删除；/top/a：不是普通文件（管道、套接字或设备），未处理"),
              texts::Outcome(result, "/top"));
}
