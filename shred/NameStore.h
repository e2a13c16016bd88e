// Entry names packed into large blocks, so that a listing of a million
// files costs a few bytes per name instead of a string each.
#ifndef VORN_SHRED_NAMESTORE_H
#define VORN_SHRED_NAMESTORE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class NameStore
{
public:
    using Id = std::uint64_t;

    // Keeps a copy of `name` (`length` bytes, any bytes but NUL).
    Id Add(const char* name, std::size_t length);
    // The stored name, NUL-terminated; valid as long as the store.
    const char* Get(Id id) const;

private:
    static constexpr std::size_t kBlockSize = 1 << 20;

    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::vector<std::size_t> m_blockSizes; // a long name gets a block of its own
    std::size_t m_used = kBlockSize;       // in the last block
};

#endif // VORN_SHRED_NAMESTORE_H
