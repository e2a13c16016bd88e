#include "ui/ResultTexts.h"

#include "shred/PathEncoding.h"

#include <cstring>

namespace {

// Each failure's words; a trailing "：" is followed by the system's text.
struct FailureText
{
    ShredError kind;
    const wxChar* text;
};
const FailureText kFailureTexts[] = {
    {ShredError::Stat, wxS("无法读取文件信息：")},
    {ShredError::ReadFolder, wxS("无法读取文件夹：")},
    {ShredError::IsFolder, wxS("是文件夹，不是文件，未处理")},
    {ShredError::Replaced, wxS("文件已被其他程序替换，现有的文件未处理")},
    {ShredError::FolderReplaced, wxS("文件夹在列出后被替换，未处理")},
    {ShredError::NotRegular, wxS("不是普通文件（管道、套接字或设备），未处理")},
    {ShredError::HardLinked, wxS("文件有 %llu 个硬链接，数据也属于其他名称，未处理")},
    {ShredError::Open, wxS("无法打开以覆写：")},
    {ShredError::Write, wxS("覆写失败：")},
    {ShredError::Rename, wxS("无法改名：")},
    {ShredError::SyncAfterRename, wxS("已改名为 del.file.%llu.del，但无法同步文件夹：")},
    {ShredError::Remove, wxS("已改名为 del.file.%llu.del，但无法删除：")},
    {ShredError::SyncAfterRemove, wxS("已删除，但无法同步文件夹：")},
    {ShredError::Cancelled, wxS("已取消")},
    {ShredError::Changed, wxS("覆写期间文件被其他程序改动，原内容可能仍在磁盘上，未改名")},
    {ShredError::Root, wxS("不处理根文件夹")},
    {ShredError::PseudoFiles, wxS("是系统或固件的伪文件系统（proc、sysfs 等），未处理")},
    {ShredError::MountPoint, wxS("是另一个文件系统的挂载点，未进入；如需删除请单独列出")},
    {ShredError::NoRoomForHoles,
     wxS("此文件系统无法识别稀疏文件的空洞，填满需要约 %llu MiB，可用空间不足，未处理")},
};

const wxChar* const kManyFailed = wxS("%lu 个文件未能删除；%s：%s");
const wxChar* const kSeparator = wxS("：");

struct CaveatText
{
    ShredCaveatKind kind;
    const wxChar* text; // %s: the file system
};
const CaveatText kCaveatTexts[] = {
    {ShredCaveatKind::CopyOnWrite, wxS("已删除，但 %s 是写时复制文件系统，原内容可能仍可恢复")},
    {ShredCaveatKind::LogStructured, wxS("已删除，但 %s 是日志结构文件系统，原内容可能仍可恢复")},
    {ShredCaveatKind::JournalledData,
     wxS("已删除，但 %s 以数据日志方式挂载，原内容可能仍在日志中")},
    {ShredCaveatKind::SharedData, wxS("已删除，但文件的数据与其他文件共享，原内容仍在其他文件中")},
    {ShredCaveatKind::Network, wxS("已删除，但 %s 是网络文件系统，服务器上可能仍有原内容")},
    {ShredCaveatKind::LowerLayer, wxS("已删除，但原文件仍在 %s 的下层中")},
};

} // namespace

namespace texts {

wxString Reason(const ShredFailure& failure)
{
    for (const FailureText& entry : kFailureTexts) {
        if (entry.kind == failure.kind) {
            wxString text(entry.text);
            if (text.Contains(wxS("%"))) {
                text =
                    wxString::Format(entry.text, static_cast<unsigned long long>(failure.detail));
            }
            if (text.EndsWith(kSeparator)) {
                text += wxString(std::strerror(failure.err), wxConvLibc);
            }
            return text;
        }
    }
    return wxString();
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
    for (const CaveatText& entry : kCaveatTexts) {
        if (entry.kind == caveat.kind) {
            const wxString fileSystem = wxString::FromUTF8(caveat.fileSystem.c_str());
            const wxString text(entry.text);
            return text.Contains(wxS("%")) ? wxString::Format(entry.text, fileSystem) : text;
        }
    }
    return wxString();
}

} // namespace texts
