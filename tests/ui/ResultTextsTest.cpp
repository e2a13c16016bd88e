// The words for the engine's kinds: each failure and caveat as the user
// reads it in a row.
#include "ui/ResultTexts.h"

#include "tests/support/Utf8.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(ResultTexts, EachFailureAndCaveatInWords)
{
    struct FailureCase
    {
        ShredFailure failure;
        const char* text;
    };
    for (const FailureCase& c : {
             FailureCase{{"/a", ShredError::Rename, EPERM}, "无法改名：Operation not permitted"},
             FailureCase{{"/a", ShredError::HardLinked, 0, 3},
                         "文件有 3 个硬链接，数据也属于其他名称，未处理"},
             FailureCase{{"/a", ShredError::Remove, EBUSY, 2},
                         "已改名为 del.file.2.del，但无法删除：Device or resource busy"},
             FailureCase{{"/a", ShredError::FolderReplaced}, "文件夹在列出后被替换，未处理"},
             FailureCase{{"/a", ShredError::Cancelled}, "已取消"},
         }) {
        EXPECT_EQ(W(c.text), texts::Reason(c.failure));
    }

    struct CaveatCase
    {
        ShredCaveat caveat;
        const char* text;
    };
    for (const CaveatCase& c : {
             CaveatCase{{ShredCaveatKind::CopyOnWrite, "btrfs"},
                        "已删除，但 btrfs 是写时复制文件系统，原内容可能仍可恢复"},
             CaveatCase{{ShredCaveatKind::JournalledData, "ext4"},
                        "已删除，但 ext4 以数据日志方式挂载，原内容可能仍在日志中"},
             CaveatCase{{ShredCaveatKind::SharedData, "xfs"},
                        "已删除，但文件的数据与其他文件共享，原内容仍在其他文件中"},
             CaveatCase{{ShredCaveatKind::Network, "nfs4"},
                        "已删除，但 nfs4 是网络文件系统，服务器上可能仍有原内容"},
         }) {
        EXPECT_EQ(W(c.text), texts::Caveat(c.caveat));
    }
}

TEST(ResultTexts, ASummaryNamesTheEntryOnlyWhenItIsNotTheListedOne)
{
    ShredResult result;
    result.failures.push_back({"/top/a", ShredError::NotRegular});
    EXPECT_EQ(W("不是普通文件（管道、套接字或设备），未处理"), texts::Summary(result, "/top/a"));
    EXPECT_EQ(W("/top/a：不是普通文件（管道、套接字或设备），未处理"),
              texts::Summary(result, "/top"));
    result.failures.push_back({"/top/b", ShredError::Open, EACCES});
    EXPECT_EQ(W("2 个文件未能删除；/top/a：不是普通文件（管道、套接字或设备），未处理"),
              texts::Summary(result, "/top"));
}
