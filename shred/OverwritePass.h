// The passes: whole 1024-byte blocks of one pattern over the data of an open
// file, flushed to the device.
#ifndef VORN_SHRED_OVERWRITEPASS_H
#define VORN_SHRED_OVERWRITEPASS_H

#include <cstdint>

class ShredProgress;

inline constexpr std::uint64_t kShredBlockSize = 1024;

// A pass writes whole blocks: the length rounded up to the next block.
inline std::uint64_t WholeBlocks(std::uint64_t length)
{
    return (length + kShredBlockSize - 1) / kShredBlockSize * kShredBlockSize;
}

// Overwrites every range of the open file `fd` that holds data with whole
// blocks of `pattern` (0x00 or 0x01), leaves holes unallocated, leaves the
// length rounded up to whole blocks and flushes the data to the device.
// Reports `reported` plus the bytes of the file covered so far to `progress`.
// Returns 0 on success, ECANCELED when `progress` cancelled, or another errno.
int OverwritePass(int fd, std::uint64_t length, unsigned char pattern,
                  ShredProgress* progress = nullptr, std::uint64_t reported = 0);

// The zero pass, then (unless `quick`) the one pass, on a file of `length`
// bytes. Returns what the failing pass returned, or 0.
int OverwritePasses(int fd, std::uint64_t length, bool quick, ShredProgress* progress = nullptr);

#endif // VORN_SHRED_OVERWRITEPASS_H
