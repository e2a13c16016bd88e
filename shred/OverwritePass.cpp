#include "shred/OverwritePass.h"

#include "shred/ShredProgress.h"

#include <array>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

// One static segment of many whole blocks of the same pattern, handed to
// the kernel several times per call: the disk still receives whole 1024-byte
// blocks, in a few large pieces instead of a thousand small ones.
constexpr std::size_t kSegmentSize = 64 * kShredBlockSize;
constexpr int kSegmentsPerCall = IOV_MAX < 16 ? IOV_MAX : 16;

using Segment = std::array<unsigned char, kSegmentSize>;

constexpr Segment Filled(unsigned char byte)
{
    Segment segment{};
    for (unsigned char& b : segment) {
        b = byte;
    }
    return segment;
}

// Constant-initialised: no thread can see them half filled.
constexpr Segment kZeroSegment = Filled(0x00);
constexpr Segment kOneSegment = Filled(0x01);

// The errors by which sync_file_range says it has nothing to act on here.
bool NoWriteBack(int err)
{
    return err == EINVAL || err == ESPIPE || err == ENOSYS || err == EOPNOTSUPP;
}

// Writes one pass and, when flushing, keeps the dirty data bounded: each
// chunk's write-back starts once it is written, the chunk before is waited
// for and dropped from the page cache, and only then counted as done.
class PassWriter
{
public:
    PassWriter(int fd, std::uint64_t length, const Segment& segment, bool flush,
               ShredProgress* progress, std::uint64_t reported)
        : m_fd(fd), m_length(length), m_flush(flush), m_progress(progress), m_reported(reported)
    {
        for (iovec& v : m_iov) {
            v.iov_base = const_cast<unsigned char*>(segment.data());
            v.iov_len = kSegmentSize;
        }
    }

    // Writes the pattern over [offset, end). Every byte of the segment is
    // the same, so after a short write the rest can start anywhere.
    int Write(std::uint64_t offset, std::uint64_t end)
    {
        while (offset < end) {
            // Another program truncated the file since the write before:
            // the blocks it freed keep their old content, and writing on
            // would only hide that. (Before a pass's first write the caller
            // has just looked.)
            if (m_wrote) {
                struct stat st;
                if (::fstat(m_fd, &st) != 0) {
                    return errno;
                }
                if (static_cast<std::uint64_t>(st.st_size) < m_length) {
                    return kFileChanged;
                }
            }
            std::uint64_t want = end - offset;
            if (want > kSegmentSize * kSegmentsPerCall) {
                want = kSegmentSize * kSegmentsPerCall;
            }
            const int count = static_cast<int>((want + kSegmentSize - 1) / kSegmentSize);
            m_iov[count - 1].iov_len = want - (count - 1) * kSegmentSize;
            const ssize_t written = ::pwritev(m_fd, m_iov, count, static_cast<off_t>(offset));
            m_iov[count - 1].iov_len = kSegmentSize;
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
            m_wrote = true;
            if (m_flush && offset - m_sent >= kShredChunkSize) {
                if (const int err = Advance(offset)) {
                    return err;
                }
            }
        }
        return 0;
    }

    // The whole pass on the device, out of the page cache, and reported.
    int Finish(std::uint64_t total)
    {
        if (!m_flush) {
            return 0;
        }
        // The pass must reach the device: the kernel drops dirty pages of a
        // removed file, which would leave the old content on disk.
        if (::fdatasync(m_fd) != 0) {
            return errno;
        }
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_DONTNEED);
        return total > m_done ? Report(total) : 0;
    }

private:
    // Starts write-back of [m_sent, upTo), then waits for the chunk before.
    int Advance(std::uint64_t upTo)
    {
        if (::sync_file_range(m_fd, static_cast<off_t>(m_sent), static_cast<off_t>(upTo - m_sent),
                              SYNC_FILE_RANGE_WRITE) != 0 &&
            !NoWriteBack(errno)) {
            return errno;
        }
        const std::uint64_t before = m_sent;
        m_sent = upTo;
        if (before == m_done) {
            return 0; // the first chunk: nothing written back yet
        }
        if (::sync_file_range(m_fd, static_cast<off_t>(m_done), static_cast<off_t>(before - m_done),
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                  SYNC_FILE_RANGE_WAIT_AFTER) != 0 &&
            !NoWriteBack(errno)) {
            return errno;
        }
        // Clean now: dropping it keeps the user's own files in the cache.
        ::posix_fadvise(m_fd, static_cast<off_t>(m_done), static_cast<off_t>(before - m_done),
                        POSIX_FADV_DONTNEED);
        m_done = before;
        return Report(m_done);
    }

    int Report(std::uint64_t bytes)
    {
        if (m_progress != nullptr && !m_progress->OnWritten(m_reported + bytes)) {
            return ECANCELED;
        }
        return 0;
    }

    int m_fd;
    std::uint64_t m_length;
    bool m_flush;
    ShredProgress* m_progress;
    std::uint64_t m_reported;
    iovec m_iov[kSegmentsPerCall];
    bool m_wrote = false;     // this pass wrote before
    std::uint64_t m_sent = 0; // write-back started for [0, m_sent)
    std::uint64_t m_done = 0; // [0, m_done) on the device and reported
};

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

DataMap FindData(int fd, std::uint64_t length)
{
    DataMap map;
    const std::uint64_t total = WholeBlocks(length);
    // Most files have no hole before their end: one question tells.
    const off_t hole = total == 0 ? -1 : ::lseek(fd, 0, SEEK_HOLE);
    if (hole > 0 && WholeBlocks(static_cast<std::uint64_t>(hole)) >= total) {
        map.push_back({0, total});
        return map;
    }
    std::uint64_t offset = 0;
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    while (offset < total && NextData(fd, offset, total, start, end)) {
        map.push_back({start, end});
        offset = end;
    }
    return map;
}

int OverwritePass(int fd, std::uint64_t length, unsigned char pattern, ShredProgress* progress,
                  std::uint64_t reported, bool flush, const DataMap* data)
{
    PassWriter writer(fd, length, pattern == 0x01 ? kOneSegment : kZeroSegment, flush, progress,
                      reported);
    const std::uint64_t total = WholeBlocks(length);
    std::uint64_t offset = 0;
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    // Only the ranges that hold data: writing the holes of a sparse file
    // would allocate its whole length and could fill the file system.
    for (std::size_t i = 0; data != nullptr && i < data->size(); ++i) {
        if (const int err = writer.Write((*data)[i].start, (*data)[i].end)) {
            return err;
        }
        offset = (*data)[i].end;
    }
    while (data == nullptr && offset < total && NextData(fd, offset, total, start, end)) {
        if (const int err = writer.Write(start, end)) {
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
    }
    return writer.Finish(total);
}

int OverwritePasses(int fd, std::uint64_t length, bool quick, ShredProgress* progress)
{
    int err = 0;
    for (int pass = 0; pass < PassCount(quick) && err == 0; ++pass) {
        err = OverwritePass(fd, length, PassPattern(pass), progress,
                            static_cast<std::uint64_t>(pass) * WholeBlocks(length));
    }
    return err;
}
