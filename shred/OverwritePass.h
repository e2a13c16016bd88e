// The passes: whole 1024-byte blocks of one pattern over the data of an open
// file, sent to the device as they go.
#ifndef VORN_SHRED_OVERWRITEPASS_H
#define VORN_SHRED_OVERWRITEPASS_H

#include <cerrno>
#include <cstdint>
#include <vector>

class ShredProgress;

inline constexpr std::uint64_t kShredBlockSize = 1024;
// A pass over a large file starts write-back of each chunk as soon as it is
// written and waits for the chunk before: at most two chunks are dirty or in
// flight, and progress counts only what reached the device. 4 MiB went
// faster than 16 MiB (the device starts sooner and the waits overlap more).
inline constexpr std::uint64_t kShredChunkSize = 4u << 20;

// What a pass returns when the file shrank under it (another program
// truncated it): the freed blocks were never overwritten.
inline constexpr int kFileChanged = ESTALE;

// A pass writes whole blocks: the length rounded up to the next block.
inline std::uint64_t WholeBlocks(std::uint64_t length)
{
    return (length + kShredBlockSize - 1) / kShredBlockSize * kShredBlockSize;
}

// The passes of a run: the zero pass, then unless quick the one pass.
inline int PassCount(bool quick)
{
    return quick ? 1 : 2;
}
inline unsigned char PassPattern(int pass)
{
    return pass == 0 ? 0x00 : 0x01;
}

// A range of a file that holds data, in whole blocks: [start, end).
struct DataRange
{
    std::uint64_t start;
    std::uint64_t end;
};
using DataMap = std::vector<DataRange>;

// The ranges of the open file `fd`, `length` bytes long, that a pass writes.
// A pass leaves them as they were, so one search serves every pass.
DataMap FindData(int fd, std::uint64_t length);

// Overwrites every range of the open file `fd` that holds data with whole
// blocks of `pattern` (0x00 or 0x01), leaves holes unallocated and leaves the
// length rounded up to whole blocks. With `flush`, the pass is sent to the
// device chunk by chunk, dropped from the page cache once there, and ends
// with fdatasync; without, the caller makes it durable (a batch of small
// files is flushed at once). Reports `reported` plus the bytes of the file
// on the device so far to `progress`, once per chunk and at the end. `data`,
// when given, is where the file holds data (else it is searched as it goes).
// Returns 0 on success, ECANCELED when `progress` cancelled, kFileChanged
// when the file became shorter than `length`, or another errno.
int OverwritePass(int fd, std::uint64_t length, unsigned char pattern,
                  ShredProgress* progress = nullptr, std::uint64_t reported = 0, bool flush = true,
                  const DataMap* data = nullptr);

// The zero pass, then (unless `quick`) the one pass, each flushed, on a file
// of `length` bytes. Returns what the failing pass returned, or 0.
int OverwritePasses(int fd, std::uint64_t length, bool quick, ShredProgress* progress = nullptr);

#endif // VORN_SHRED_OVERWRITEPASS_H
