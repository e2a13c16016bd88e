#include "shred/Shredder.h"

#include "shred/ShredProgress.h"
#include "shred/ShredRun.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/uio.h>
#include <unistd.h>

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

ShredResult RunOne(const std::string& path, bool quick, bool folders)
{
    FillBlocks();
    ShredRun run(quick);
    run.List(path, folders);
    run.Execute();
    return run.Results().front();
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

int OverwritePass(int fd, std::uint64_t length, unsigned char pattern, ShredProgress* progress,
                  std::uint64_t reported)
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
        if (progress != nullptr && !progress->OnWritten(reported + offset)) {
            return ECANCELED;
        }
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
    return RunOne(path, quick, true);
}

ShredResult ShredPath(const wxString& path, bool quick)
{
    return RunOne(ShredRun::PathBytes(path), quick, true);
}

ShredResult ShredFile(const wxString& path, bool quick)
{
    return RunOne(ShredRun::PathBytes(path), quick, false);
}
