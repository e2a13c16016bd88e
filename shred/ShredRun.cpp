#include "shred/ShredRun.h"

#include "shred/ShredProgress.h"

#include <wx/strconv.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint64_t kBlockSize = 1024;
// How often the listing reports its count.
constexpr std::uint64_t kListReportEvery = 256;

// Invalid bytes in a name are shown as octal escapes rather than lost.
wxMBConvUTF8& LosslessUtf8()
{
    static wxMBConvUTF8 conv(wxMBConvUTF8::MAP_INVALID_UTF8_TO_OCTAL);
    return conv;
}

wxString SystemError(int err)
{
    return wxString(std::strerror(err), wxConvLibc);
}

wxString Reason(const wxChar* what, int err)
{
    return wxString(what) + SystemError(err);
}

const wxChar* const kCancelled = wxS("已取消");

// A pass writes whole blocks: the length rounded up to the next block.
std::uint64_t WholeBlocks(std::uint64_t length)
{
    return (length + kBlockSize - 1) / kBlockSize * kBlockSize;
}

// An open descriptor that is always closed.
class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    // Closes now and reports the result: a failed close can lose data.
    int Close()
    {
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

} // namespace

ShredRun::ShredRun(bool quick, ShredProgress* progress) : m_quick(quick), m_progress(progress) {}

std::string ShredRun::PathBytes(const wxString& path)
{
    wxCharBuffer bytes = path.mb_str(*wxConvFileName);
    if (bytes.length() == 0 && !path.empty()) {
        bytes = path.mb_str(LosslessUtf8());
    }
    return std::string(bytes.data(), bytes.length());
}

wxString ShredRun::PathText(const std::string& bytes)
{
    wxString text(bytes.c_str(), *wxConvFileName);
    if (text.empty() && !bytes.empty()) {
        text = wxString(bytes.c_str(), LosslessUtf8());
    }
    return text;
}

void ShredRun::Fail(ShredResult& result, const std::string& path, const wxString& reason)
{
    result.failures.push_back({PathText(path), reason});
}

bool ShredRun::List(const std::string& path, bool folders)
{
    m_targets.emplace_back();
    Target& target = m_targets.back();
    struct stat st;
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) {
        if (!path.empty() && errno != ENOENT && errno != ENOTDIR) {
            target.result.found = true;
            Fail(target.result, path, Reason(wxS("无法读取文件信息："), errno));
        }
        return true;
    }
    target.result.found = true;
    // A trailing separator names the folder a link points to, as the shell does.
    struct stat linked;
    const bool folder =
        S_ISDIR(st.st_mode) ||
        (path.back() == '/' && ::stat(path.c_str(), &linked) == 0 && S_ISDIR(linked.st_mode));
    if (!folder) {
        return Add(target, {path, st.st_dev, st.st_ino, static_cast<std::uint64_t>(st.st_size),
                            S_ISREG(st.st_mode)});
    }
    if (!folders) {
        Fail(target.result, path, wxS("是文件夹，不是文件，未处理"));
        return true;
    }
    return ListFolder(path, target);
}

std::uint64_t ShredRun::BytesToWrite(const Entry& entry) const
{
    return entry.regular ? WholeBlocks(entry.size) * (m_quick ? 1 : 2) : 0;
}

bool ShredRun::Add(Target& target, Entry entry)
{
    m_totalBytes += BytesToWrite(entry);
    target.entries.push_back(std::move(entry));
    ++m_totalEntries;
    if (m_progress != nullptr && m_totalEntries % kListReportEvery == 0) {
        return m_progress->OnListed(m_totalEntries);
    }
    return true;
}

// Lists every entry below `top` that is not a folder, at every depth, hidden
// ones too. Linked folders are not entered: a link is an entry like a file.
bool ShredRun::ListFolder(const std::string& top, Target& target)
{
    std::vector<std::string> pending{top};
    bool first = true;
    while (!pending.empty()) {
        const std::string folder = std::move(pending.back());
        pending.pop_back();
        const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (first ? 0 : O_NOFOLLOW);
        first = false;
        const int fd = ::open(folder.c_str(), flags);
        DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
        if (dir == nullptr) {
            const int err = errno;
            if (fd >= 0) {
                ::close(fd);
            }
            if (err != ENOENT) {
                Fail(target.result, folder, Reason(wxS("无法读取文件夹："), err));
            }
            continue;
        }
        const std::string prefix = folder.back() == '/' ? folder : folder + '/';
        bool going = true;
        errno = 0;
        while (const dirent* item = ::readdir(dir)) {
            const char* name = item->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
                continue;
            }
            struct stat st;
            if (::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT) {
                    Fail(target.result, prefix + name, Reason(wxS("无法读取文件信息："), errno));
                }
            } else if (S_ISDIR(st.st_mode)) {
                pending.push_back(prefix + name);
            } else if (!Add(target,
                            {prefix + name, st.st_dev, st.st_ino,
                             static_cast<std::uint64_t>(st.st_size), S_ISREG(st.st_mode)})) {
                going = false;
                break;
            }
            errno = 0;
        }
        if (going && errno != 0) {
            Fail(target.result, folder, Reason(wxS("无法读取文件夹："), errno));
        }
        ::closedir(dir);
        if (!going) {
            return false;
        }
    }
    return true;
}

bool ShredRun::Execute()
{
    for (Target& target : m_targets) {
        m_results.push_back(std::move(target.result));
        ShredResult& result = m_results.back();
        for (const Entry& entry : target.entries) {
            if (!Destroy(entry, result)) {
                Fail(result, entry.path, kCancelled);
                result.cancelled = true;
                return false;
            }
        }
        target.entries.clear();
        target.entries.shrink_to_fit();
    }
    return true;
}

// Destroys one listed entry: a regular file is overwritten, then renamed and
// removed; a link is renamed and removed as a link. Anything else is left.
// Returns false when the run was cancelled during this entry.
bool ShredRun::Destroy(const Entry& entry, ShredResult& result)
{
    const std::string::size_type slash = entry.path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : entry.path.substr(0, slash + 1);
    const std::string name = entry.path.substr(slash == std::string::npos ? 0 : slash + 1);

    if (m_progress != nullptr) {
        m_progress->OnEntry(entry.path, BytesToWrite(entry));
    }
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (dir.Get() < 0 || ::fstatat(dir.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            Fail(result, entry.path, Reason(wxS("无法读取文件信息："), errno));
        }
        return true; // vanished before its turn: nothing is left to destroy
    }
    if (st.st_dev != entry.dev || st.st_ino != entry.ino) {
        Fail(result, entry.path, wxS("文件在列出后被替换，未处理"));
        return true;
    }
    if (S_ISLNK(st.st_mode)) {
        RenameAndRemove(dir.Get(), name, entry, result);
        return true;
    }
    if (!S_ISREG(st.st_mode)) {
        Fail(result, entry.path, wxS("不是普通文件（管道、套接字或设备），未处理"));
        return true;
    }
    if (st.st_nlink > 1) {
        Fail(result, entry.path,
             wxString::Format(wxS("文件有 %lu 个硬链接，数据也属于其他名称，未处理"),
                              static_cast<unsigned long>(st.st_nlink)));
        return true;
    }
    const int err = Overwrite(dir.Get(), name, entry, result);
    if (err == ECANCELED) {
        return false;
    }
    if (err == 0) {
        RenameAndRemove(dir.Get(), name, entry, result);
    }
    return true;
}

// Runs the passes on one regular file. Returns 0 when it was fully
// overwritten and flushed, ECANCELED when cancelled, otherwise an error with
// the failure recorded. Unless 0, the file keeps its own name.
int ShredRun::Overwrite(int dirfd, const std::string& name, const Entry& entry, ShredResult& result)
{
    // O_NONBLOCK: should a FIFO have been swapped in, the open must not hang.
    Fd file(
        ::openat(dirfd, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) {
        const int err = errno;
        Fail(result, entry.path, Reason(wxS("无法打开以覆写："), err));
        return err;
    }
    struct stat st;
    if (::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != entry.dev ||
        st.st_ino != entry.ino || st.st_nlink > 1) {
        Fail(result, entry.path, wxS("文件在列出后被替换，未处理"));
        return EPERM;
    }
    const std::uint64_t length = static_cast<std::uint64_t>(st.st_size);
    const std::uint64_t passBytes = WholeBlocks(length);
    int err = OverwritePass(file.Get(), length, 0x00, m_progress, 0);
    if (err == 0 && !m_quick) {
        err = OverwritePass(file.Get(), length, 0x01, m_progress, passBytes);
    }
    if (err == 0) {
        err = file.Close();
    }
    if (err != 0 && err != ECANCELED) {
        Fail(result, entry.path, Reason(wxS("覆写失败："), err));
    }
    return err;
}

// Renames the entry to the first free del.file.N.del in its own folder
// without ever replacing anything, then removes it, syncing the folder
// after each step so the old name does not come back after a crash.
void ShredRun::RenameAndRemove(int dirfd, const std::string& name, const Entry& entry,
                               ShredResult& result)
{
    std::string temp;
    for (unsigned long n = 1;; ++n) {
        char candidate[64];
        std::snprintf(candidate, sizeof candidate, "del.file.%lu.del", n);
        struct stat st;
        if (::fstatat(dirfd, candidate, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            continue; // any entry, even a folder, makes the name taken
        }
        int rc = ::renameat2(dirfd, name.c_str(), dirfd, candidate, RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // No RENAME_NOREPLACE here: a hard link fails just as safely
            // when the name is taken.
            rc = ::linkat(dirfd, name.c_str(), dirfd, candidate, 0);
            if (rc == 0 && ::unlinkat(dirfd, name.c_str(), 0) != 0) {
                const int err = errno;
                ::unlinkat(dirfd, candidate, 0);
                errno = err;
                rc = -1;
            }
        }
        if (rc == 0) {
            temp = candidate;
            break;
        }
        if (errno != EEXIST) {
            Fail(result, entry.path, Reason(wxS("无法改名："), errno));
            return;
        }
    }
    const wxString renamed = wxString::FromAscii(temp.c_str());
    if (::fsync(dirfd) != 0) {
        Fail(result, entry.path,
             wxString::Format(wxS("已改名为 %s，但无法同步文件夹：%s"), renamed,
                              SystemError(errno)));
        return;
    }
    if (::unlinkat(dirfd, temp.c_str(), 0) != 0) {
        Fail(result, entry.path,
             wxString::Format(wxS("已改名为 %s，但无法删除：%s"), renamed, SystemError(errno)));
        return;
    }
    if (::fsync(dirfd) != 0) {
        Fail(result, entry.path,
             wxString::Format(wxS("已删除，但无法同步文件夹：%s"), SystemError(errno)));
        return;
    }
    ++result.shredded;
}
