#include "shred/NameStore.h"

#include <cstring>

NameStore::Id NameStore::Add(const char* name, std::size_t length)
{
    const std::size_t need = length + 1;
    if (m_blocks.empty() || m_used + need > m_blockSizes.back()) {
        const std::size_t size = need > kBlockSize ? need : kBlockSize;
        m_blocks.emplace_back(new char[size]);
        m_blockSizes.push_back(size);
        m_used = 0;
    }
    char* at = m_blocks.back().get() + m_used;
    std::memcpy(at, name, length);
    at[length] = '\0';
    const Id id = (static_cast<Id>(m_blocks.size() - 1) << 32) | m_used;
    m_used += need;
    return id;
}

const char* NameStore::Get(Id id) const
{
    return m_blocks[static_cast<std::size_t>(id >> 32)].get() + (id & 0xFFFFFFFFu);
}
