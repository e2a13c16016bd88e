#include "shred/OverwritePass.h"

#include "shred/ShredProgress.h"

#include <array>
#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

// Blocks handed to the kernel per system call: the same static block
// repeated, so a pass costs one call per megabyte instead of one per block.
constexpr int kBlocksPerCall = IOV_MAX < 1024 ? IOV_MAX : 1024;

using Block = std::array<unsigned char, kShredBlockSize>;

constexpr Block Filled(unsigned char byte)
{
    Block block{};
    for (unsigned char& b : block) {
        b = byte;
    }
    return block;
}

// Constant-initialised: no thread can see them half filled.
constexpr Block kZeroBlock = Filled(0x00);
constexpr Block kOneBlock = Filled(0x01);

// Writes the blocks over [offset, end), reporting as it goes. Every block
// holds the same bytes, so after a short write the rest can start anywhere.
int WriteRange(int fd, const Block& block, std::uint64_t offset, std::uint64_t end,
               ShredProgress* progress, std::uint64_t reported)
{
    iovec iov[kBlocksPerCall];
    for (iovec& v : iov) {
        v.iov_base = const_cast<unsigned char*>(block.data());
        v.iov_len = kShredBlockSize;
    }
    while (offset < end) {
        std::uint64_t want = end - offset;
        if (want > kShredBlockSize * kBlocksPerCall) {
            want = kShredBlockSize * kBlocksPerCall;
        }
        const int count = static_cast<int>((want + kShredBlockSize - 1) / kShredBlockSize);
        iov[count - 1].iov_len = want - (count - 1) * kShredBlockSize;
        const ssize_t written = ::pwritev(fd, iov, count, static_cast<off_t>(offset));
        iov[count - 1].iov_len = kShredBlockSize;
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
    return 0;
}

// The next range at or after `offset` that holds data, block-aligned and
// ending no later than `total`; false when only holes follow. Where the file
// system cannot tell holes (no SEEK_DATA), the rest of the file is data.
bool NextData(int fd, std::uint64_t offset, std::uint64_t total, std::uint64_t& start,
              std::uint64_t& end)
{
    const off_t data = ::lseek(fd, static_cast<off_t>(offset), SEEK_DATA);
    if (data < 0) {
        if (errno == ENXIO) {
            return false;
        }
        start = offset;
        end = total;
        return true;
    }
    const std::uint64_t at = static_cast<std::uint64_t>(data);
    start = at / kShredBlockSize * kShredBlockSize;
    if (start < offset) {
        start = offset;
    }
    // A device answers anything; a range that would not advance is data.
    const off_t hole = ::lseek(fd, data, SEEK_HOLE);
    end = hole <= data ? total : WholeBlocks(static_cast<std::uint64_t>(hole));
    if (end > total) {
        end = total;
    }
    return start < total;
}

} // namespace

int OverwritePass(int fd, std::uint64_t length, unsigned char pattern, ShredProgress* progress,
                  std::uint64_t reported)
{
    const Block& block = pattern == 0x01 ? kOneBlock : kZeroBlock;
    const std::uint64_t total = WholeBlocks(length);
    std::uint64_t offset = 0;
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    // Only the ranges that hold data: writing the holes of a sparse file
    // would allocate its whole length and could fill the file system.
    while (offset < total && NextData(fd, offset, total, start, end)) {
        if (start > offset && progress != nullptr && !progress->OnWritten(reported + start)) {
            return ECANCELED;
        }
        if (const int err = WriteRange(fd, block, start, end, progress, reported)) {
            return err;
        }
        offset = end;
    }
    if (offset < total) {
        // The file ends in a hole: round its length up without allocating.
        struct stat st;
        if (::fstat(fd, &st) != 0) {
            return errno;
        }
        if (static_cast<std::uint64_t>(st.st_size) < total &&
            ::ftruncate(fd, static_cast<off_t>(total)) != 0) {
            return errno;
        }
        if (progress != nullptr && !progress->OnWritten(reported + total)) {
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

int OverwritePasses(int fd, std::uint64_t length, bool quick, ShredProgress* progress)
{
    int err = OverwritePass(fd, length, 0x00, progress, 0);
    if (err == 0 && !quick) {
        err = OverwritePass(fd, length, 0x01, progress, WholeBlocks(length));
    }
    return err;
}
