#include "shred/Shredder.h"

#include <wx/strconv.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <dirent.h>

namespace {

constexpr std::size_t kBlockSize = 1024;
// Blocks handed to the kernel per system call: the same static block
// repeated, so a pass costs one call per megabyte instead of one per block.
constexpr int kBlocksPerCall = IOV_MAX < 1024 ? IOV_MAX : 1024;

unsigned char g_zeroBlock[kBlockSize];
unsigned char g_oneBlock[kBlockSize];
bool g_blocksFilled = false;

void FillBlocks()
{
    if (!g_blocksFilled) {
        std::memset(g_zeroBlock, 0x00, kBlockSize);
        std::memset(g_oneBlock, 0x01, kBlockSize);
        g_blocksFilled = true;
    }
}

// Invalid bytes in a name are shown as octal escapes rather than lost.
wxMBConvUTF8& LosslessUtf8()
{
    static wxMBConvUTF8 conv(wxMBConvUTF8::MAP_INVALID_UTF8_TO_OCTAL);
    return conv;
}

wxString Display(const std::string& bytes)
{
    wxString text(bytes.c_str(), *wxConvFileName);
    if (text.empty() && !bytes.empty()) {
        text = wxString(bytes.c_str(), LosslessUtf8());
    }
    return text;
}

std::string ToBytes(const wxString& path)
{
    wxCharBuffer bytes = path.mb_str(*wxConvFileName);
    if (bytes.length() == 0 && !path.empty()) {
        bytes = path.mb_str(LosslessUtf8());
    }
    return std::string(bytes.data(), bytes.length());
}

wxString SystemError(int err)
{
    return wxString(std::strerror(err), wxConvLibc);
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

// One entry to destroy, with the identity it had when it was listed so that
// a swap before its turn cannot redirect the writes.
struct Entry
{
    std::string path;
    dev_t dev;
    ino_t ino;
};

class Run
{
public:
    explicit Run(bool quick) : m_quick(quick) {}

    // Destroys a listed path; a folder is emptied only when `folders` is set.
    void Path(const std::string& path, bool folders);
    ShredResult Take() { return std::move(m_result); }

private:
    void Fail(const std::string& path, const wxString& reason)
    {
        m_result.failures.push_back({Display(path), reason});
    }
    void ListFolder(const std::string& top, std::vector<Entry>& entries);
    void Destroy(const Entry& entry);
    bool Overwrite(int dirfd, const std::string& name, const Entry& entry);
    void RenameAndRemove(int dirfd, const std::string& name, const Entry& entry);

    bool m_quick;
    ShredResult m_result;
};

void Run::Path(const std::string& path, bool folders)
{
    struct stat st;
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) {
        if (!path.empty() && errno != ENOENT && errno != ENOTDIR) {
            m_result.found = true;
            Fail(path, wxString(wxS("无法读取文件信息：")) + SystemError(errno));
        }
        return;
    }
    m_result.found = true;
    // A trailing separator names the folder a link points to, as the shell does.
    struct stat target;
    const bool folder =
        S_ISDIR(st.st_mode) ||
        (path.back() == '/' && ::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode));
    if (!folder) {
        Destroy({path, st.st_dev, st.st_ino});
        return;
    }
    if (!folders) {
        Fail(path, wxS("是文件夹，不是文件，未处理"));
        return;
    }
    // The listing is complete before the first file is touched, so renamed
    // files are never listed again.
    std::vector<Entry> entries;
    ListFolder(path, entries);
    for (const Entry& entry : entries) {
        Destroy(entry);
    }
}

// Lists every entry below `top` that is not a folder, at every depth, hidden
// ones too. Linked folders are not entered: a link is an entry like a file.
void Run::ListFolder(const std::string& top, std::vector<Entry>& entries)
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
                Fail(folder, wxString(wxS("无法读取文件夹：")) + SystemError(err));
            }
            continue;
        }
        const std::string prefix = folder.back() == '/' ? folder : folder + '/';
        errno = 0;
        while (const dirent* item = ::readdir(dir)) {
            const char* name = item->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
                continue;
            }
            struct stat st;
            if (::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT) {
                    Fail(prefix + name, wxString(wxS("无法读取文件信息：")) + SystemError(errno));
                }
                errno = 0;
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                pending.push_back(prefix + name);
            } else {
                entries.push_back({prefix + name, st.st_dev, st.st_ino});
            }
            errno = 0;
        }
        if (errno != 0) {
            Fail(folder, wxString(wxS("无法读取文件夹：")) + SystemError(errno));
        }
        ::closedir(dir);
    }
}

// Destroys one listed entry: a regular file is overwritten, then renamed and
// removed; a link is renamed and removed as a link. Anything else is left.
void Run::Destroy(const Entry& entry)
{
    const std::string::size_type slash = entry.path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : entry.path.substr(0, slash + 1);
    const std::string name = entry.path.substr(slash == std::string::npos ? 0 : slash + 1);

    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (dir.Get() < 0 || ::fstatat(dir.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            Fail(entry.path, wxString(wxS("无法读取文件信息：")) + SystemError(errno));
        }
        return; // vanished before its turn: nothing is left to destroy
    }
    if (st.st_dev != entry.dev || st.st_ino != entry.ino) {
        Fail(entry.path, wxS("文件在列出后被替换，未处理"));
        return;
    }
    if (S_ISLNK(st.st_mode)) {
        RenameAndRemove(dir.Get(), name, entry);
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        Fail(entry.path, wxS("不是普通文件（管道、套接字或设备），未处理"));
        return;
    }
    if (st.st_nlink > 1) {
        Fail(entry.path, wxString::Format(wxS("文件有 %lu 个硬链接，数据也属于其他名称，未处理"),
                                          static_cast<unsigned long>(st.st_nlink)));
        return;
    }
    if (Overwrite(dir.Get(), name, entry)) {
        RenameAndRemove(dir.Get(), name, entry);
    }
}

// Runs the passes on one regular file. Returns false, with the failure
// recorded, when the file was not fully overwritten and flushed; it then
// keeps its own name.
bool Run::Overwrite(int dirfd, const std::string& name, const Entry& entry)
{
    // O_NONBLOCK: should a FIFO have been swapped in, the open must not hang.
    Fd file(
        ::openat(dirfd, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) {
        Fail(entry.path, wxString(wxS("无法打开以覆写：")) + SystemError(errno));
        return false;
    }
    struct stat st;
    if (::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != entry.dev ||
        st.st_ino != entry.ino || st.st_nlink > 1) {
        Fail(entry.path, wxS("文件在列出后被替换，未处理"));
        return false;
    }
    const std::uint64_t length = static_cast<std::uint64_t>(st.st_size);
    int err = OverwritePass(file.Get(), length, 0x00);
    if (err == 0 && !m_quick) {
        err = OverwritePass(file.Get(), length, 0x01);
    }
    if (err == 0) {
        err = file.Close();
    }
    if (err != 0) {
        Fail(entry.path, wxString(wxS("覆写失败：")) + SystemError(err));
        return false;
    }
    return true;
}

// Renames the entry to the first free del.file.N.del in its own folder
// without ever replacing anything, then removes it, syncing the folder
// after each step so the old name does not come back after a crash.
void Run::RenameAndRemove(int dirfd, const std::string& name, const Entry& entry)
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
            Fail(entry.path, wxString(wxS("无法改名：")) + SystemError(errno));
            return;
        }
    }
    const wxString renamed = wxString::FromAscii(temp.c_str());
    if (::fsync(dirfd) != 0) {
        Fail(entry.path, wxString::Format(wxS("已改名为 %s，但无法同步文件夹：%s"), renamed,
                                          SystemError(errno)));
        return;
    }
    if (::unlinkat(dirfd, temp.c_str(), 0) != 0) {
        Fail(entry.path,
             wxString::Format(wxS("已改名为 %s，但无法删除：%s"), renamed, SystemError(errno)));
        return;
    }
    if (::fsync(dirfd) != 0) {
        Fail(entry.path, wxString::Format(wxS("已删除，但无法同步文件夹：%s"), SystemError(errno)));
        return;
    }
    ++m_result.shredded;
}

} // namespace

wxString ShredResult::Summary() const
{
    if (failures.empty()) {
        return wxString();
    }
    const ShredFailure& first = failures.front();
    if (failures.size() == 1) {
        return first.path + wxS("：") + first.reason;
    }
    return wxString::Format(wxS("%lu 个文件未能删除；%s：%s"),
                            static_cast<unsigned long>(failures.size()), first.path, first.reason);
}

int OverwritePass(int fd, std::uint64_t length, unsigned char pattern)
{
    FillBlocks();
    const unsigned char* block = pattern == 0x01 ? g_oneBlock : g_zeroBlock;
    // Whole blocks: a file grows to the next multiple of the block size.
    const std::uint64_t total = (length + kBlockSize - 1) / kBlockSize * kBlockSize;
    iovec iov[kBlocksPerCall];
    for (iovec& v : iov) {
        v.iov_base = const_cast<unsigned char*>(block);
        v.iov_len = kBlockSize;
    }
    std::uint64_t offset = 0;
    while (offset < total) {
        // Every block holds the same bytes, so after a short write the rest
        // of the range can start anywhere inside a block.
        std::uint64_t want = total - offset;
        if (want > kBlockSize * kBlocksPerCall) {
            want = kBlockSize * kBlocksPerCall;
        }
        const int count = static_cast<int>((want + kBlockSize - 1) / kBlockSize);
        iov[count - 1].iov_len = want - (count - 1) * kBlockSize;
        const ssize_t written = ::pwritev(fd, iov, count, static_cast<off_t>(offset));
        iov[count - 1].iov_len = kBlockSize;
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (written == 0) {
            return EIO;
        }
        offset += static_cast<std::uint64_t>(written);
    }
    // The pass must reach the device: the kernel drops dirty pages of a
    // removed file, which would leave the old content on disk.
    if (::fdatasync(fd) != 0) {
        return errno;
    }
    return 0;
}

ShredResult ShredPathBytes(const std::string& path, bool quick)
{
    FillBlocks();
    Run run(quick);
    run.Path(path, true);
    return run.Take();
}

ShredResult ShredPath(const wxString& path, bool quick)
{
    return ShredPathBytes(ToBytes(path), quick);
}

ShredResult ShredFile(const wxString& path, bool quick)
{
    FillBlocks();
    Run run(quick);
    run.Path(ToBytes(path), false);
    return run.Take();
}
