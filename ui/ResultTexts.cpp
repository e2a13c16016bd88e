#include "ui/ResultTexts.h"

#include "shred/PathEncoding.h"

#include <cerrno>
#include <cstring>

// Every kind must have its words: a kind added to the engine without them
// must not build.
#pragma GCC diagnostic error "-Wswitch"

namespace {

const wxChar* const kSeparator = wxS("：");
const wxChar* const kFailed = wxS("删除失败");
const wxChar* const kDeleted = wxS("已删除");
const wxChar* const kManyFailed = wxS("%lu 个文件未能删除；%s：%s");
const wxChar* const kUnusualError = wxS("%s（错误 %d）");

// What failed, then the system's reason.
wxString WithError(const wxChar* what, int err)
{
    return wxString(what) + kSeparator + texts::SystemError(err);
}

// What a folder read returns once a FUSE driver has died, or a network or
// phone mount has gone: the storage, not the folder, is the trouble.
bool StorageGone(int err)
{
    return err == ENOTCONN || err == ECONNABORTED || err == EIO;
}

} // namespace

namespace texts {

wxString Reason(const ShredFailure& failure)
{
    const auto detail = static_cast<unsigned long long>(failure.detail);
    const int err = failure.err;
    switch (failure.kind) {
    case ShredError::Stat:
        return WithError(wxS("无法读取文件信息"), err);
    case ShredError::ReadFolder:
        return StorageGone(err) ? WithError(wxS("存储设备已停止响应，未处理"), err)
                                : WithError(wxS("无法读取文件夹"), err);
    case ShredError::IsFolder:
        return wxS("是文件夹，不是文件，未处理");
    case ShredError::Replaced:
        return wxS("文件已被其他程序替换，现有的文件未处理");
    case ShredError::FolderReplaced:
        return wxS("文件夹在列出后被替换，未处理");
    case ShredError::NotRegular:
        return wxS("不是普通文件（管道、套接字或设备），未处理");
    case ShredError::HardLinked:
        return wxString::Format(wxS("文件有 %llu 个硬链接，数据也属于其他名称，未处理"), detail);
    case ShredError::Open:
        return WithError(wxS("无法打开以覆写"), err);
    case ShredError::Write:
        return WithError(wxS("覆写失败"), err);
    case ShredError::Rename:
        return WithError(wxS("无法改名"), err);
    case ShredError::SyncAfterRename:
        return WithError(
            wxString::Format(wxS("已改名为 del.file.%llu.del，但无法同步文件夹"), detail), err);
    case ShredError::Remove:
        return WithError(wxString::Format(wxS("已改名为 del.file.%llu.del，但无法删除"), detail),
                         err);
    case ShredError::SyncAfterRemove:
        return WithError(wxS("已删除，但无法同步文件夹"), err);
    case ShredError::Cancelled:
        return wxS("已取消");
    case ShredError::Changed:
        return wxS("覆写期间文件被其他程序改动，原内容可能仍在磁盘上，未改名");
    case ShredError::Root:
        return wxS("不处理根文件夹");
    case ShredError::PseudoFiles:
        return wxS("是系统或固件的伪文件系统（proc、sysfs 等），未处理");
    case ShredError::MountPoint:
        return wxS("是另一个文件系统的挂载点，未进入；如需删除请单独列出");
    case ShredError::NoRoomForHoles:
        return wxString::Format(
            wxS("此文件系统无法识别稀疏文件的空洞，填满需要约 %llu MiB，可用空间不足，未处理"),
            detail);
    }
    return WithError(wxS("未知错误"), err); // not a kind the engine has
}

wxString SystemError(int err)
{
    switch (err) {
    case EPERM:
        return wxS("操作不被允许");
    case EACCES:
        return wxS("没有权限");
    case EROFS:
        return wxS("文件系统是只读的");
    case ENOSPC:
        return wxS("磁盘空间不足");
    case EDQUOT:
        return wxS("超出磁盘配额");
    case EFBIG:
        return wxS("文件过大");
    case EIO:
        return wxS("存储设备读写出错");
    case ENOTCONN:
        return wxS("与存储设备的连接已断开");
    case ECONNABORTED:
        return wxS("与存储设备的连接已中止");
    case ECONNRESET:
        return wxS("连接被服务器重置");
    case ECONNREFUSED:
        return wxS("服务器拒绝连接");
    case ENETUNREACH:
    case EHOSTUNREACH:
    case EHOSTDOWN:
        return wxS("无法连接到服务器");
    case ETIMEDOUT:
        return wxS("等待存储设备超时");
    case ESTALE:
        return wxS("网络文件已失效");
    case ENODEV:
    case ENXIO:
        return wxS("设备不存在或已移除");
    case EBUSY:
        return wxS("设备或文件正被使用");
    case ETXTBSY:
        return wxS("文件正作为程序运行");
    case EMLINK:
        return wxS("链接过多");
    case ELOOP:
        return wxS("符号链接层数过多");
    case ENAMETOOLONG:
        return wxS("文件名过长");
    case ENOENT:
        return wxS("文件或文件夹不存在");
    case ENOTDIR:
        return wxS("路径中有一项不是文件夹");
    case EISDIR:
        return wxS("是文件夹");
    case ENOTEMPTY:
        return wxS("文件夹不是空的");
    case EEXIST:
        return wxS("文件已存在");
    case EXDEV:
        return wxS("不在同一个文件系统上");
    case EINVAL:
        return wxS("参数无效");
    case EOPNOTSUPP:
        return wxS("此文件系统不支持该操作");
    case ENOSYS:
        return wxS("系统不支持该操作");
    case EMFILE:
        return wxS("本程序打开的文件过多");
    case ENFILE:
        return wxS("系统打开的文件过多");
    case ENOMEM:
        return wxS("内存不足");
    case EAGAIN:
        return wxS("资源暂时不可用");
    case EINTR:
        return wxS("操作被中断");
    case ENOKEY:
        return wxS("加密文件夹已锁定");
    case EUCLEAN:
        return wxS("文件系统结构已损坏");
    default:
        return wxString::Format(kUnusualError, wxString::FromUTF8(std::strerror(err)), err);
    }
}

wxString Summary(const ShredResult& result, const std::string& listed)
{
    if (result.failures.empty()) {
        return wxString();
    }
    const ShredFailure& first = result.failures.front();
    if (result.failures.size() == 1) {
        return first.path == listed ? Reason(first)
                                    : PathText(first.path) + kSeparator + Reason(first);
    }
    return wxString::Format(kManyFailed, static_cast<unsigned long>(result.failures.size()),
                            PathText(first.path), Reason(first));
}

wxString Caveat(const ShredCaveat& caveat)
{
    const wxString fileSystem = wxString::FromUTF8(caveat.fileSystem.c_str());
    switch (caveat.kind) {
    case ShredCaveatKind::CopyOnWrite:
        return wxString::Format(wxS("已删除，但 %s 是写时复制文件系统，原内容可能仍可恢复"),
                                fileSystem);
    case ShredCaveatKind::LogStructured:
        return wxString::Format(wxS("已删除，但 %s 是日志结构文件系统，原内容可能仍可恢复"),
                                fileSystem);
    case ShredCaveatKind::JournalledData:
        return wxString::Format(wxS("已删除，但 %s 以数据日志方式挂载，原内容可能仍在日志中"),
                                fileSystem);
    case ShredCaveatKind::SharedData:
        return wxS("已删除，但文件的数据与其他文件共享，原内容仍在其他文件中");
    case ShredCaveatKind::Network:
        return wxString::Format(wxS("已删除，但 %s 是网络文件系统，服务器上可能仍有原内容"),
                                fileSystem);
    case ShredCaveatKind::LowerLayer:
        return wxString::Format(wxS("已删除，但原文件仍在 %s 的下层中"), fileSystem);
    case ShredCaveatKind::NamesKept:
        return wxS("已删除，但原文件名可能仍留在文件夹中");
    }
    return kDeleted; // not a kind the engine has
}

wxString Outcome(const ShredResult& result, const std::string& listed)
{
    if (!result.Complete()) {
        return wxString(kFailed) + kSeparator + Summary(result, listed);
    }
    if (!result.caveats.empty()) {
        return Caveat(result.caveats.front());
    }
    return kDeleted;
}

} // namespace texts
