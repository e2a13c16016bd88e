#include "shred/FolderTree.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FolderTree::~FolderTree()
{
    CloseAll();
}

FolderTree::Index FolderTree::AddRoot(const std::string& path, dev_t dev, ino_t ino)
{
    const auto known = m_roots.emplace(std::make_tuple(path, dev, ino), 0);
    if (known.second) {
        m_folders.push_back({m_names.Add(path.data(), path.size()), dev, ino, kNoParent});
        known.first->second = static_cast<Index>(m_folders.size() - 1);
    }
    return known.first->second;
}

FolderTree::Index FolderTree::AddChild(Index parent, const char* name, dev_t dev, ino_t ino)
{
    m_folders.push_back({m_names.Add(name, std::strlen(name)), dev, ino, parent});
    return static_cast<Index>(m_folders.size() - 1);
}

void FolderTree::CloseAll()
{
    m_chain.clear();
    m_open = 0;
}

// Closes the shallowest open descriptors between the root and `protect`:
// the deepest ones are those the walk needs next, and any of them can be
// opened again from an open ancestor.
void FolderTree::Evict(std::size_t protect)
{
    for (std::size_t level = 1; level < protect && m_open > kMaxOpen; ++level) {
        if (m_chain[level].fd.Valid()) {
            m_chain[level].fd.Reset();
            --m_open;
        }
    }
}

int FolderTree::OpenLevel(std::size_t level, bool& replaced)
{
    Level& step = m_chain[level];
    if (step.fd.Valid()) {
        return step.fd.Get();
    }
    const Folder& folder = m_folders[step.folder];
    Fd fd;
    if (level == 0) {
        fd.Reset(::open(m_names.Get(folder.name), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    } else {
        // Reopen the way down from the nearest open ancestor.
        std::size_t from = level - 1;
        while (from > 0 && !m_chain[from].fd.Valid()) {
            --from;
        }
        int parent = OpenLevel(from, replaced);
        for (std::size_t next = from + 1; parent >= 0 && next < level; ++next) {
            parent = OpenLevel(next, replaced);
        }
        if (parent < 0) {
            return -1;
        }
        fd.Reset(::openat(parent, m_names.Get(folder.name),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.Valid() && (errno == ELOOP || errno == ENOTDIR)) {
            replaced = true; // a link or a file now stands where it was
        }
    }
    if (!fd.Valid()) {
        return -1;
    }
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0 || st.st_dev != folder.dev || st.st_ino != folder.ino) {
        replaced = true;
        errno = ESTALE;
        return -1;
    }
    const int open = fd.Get();
    m_chain[level].fd = std::move(fd);
    ++m_open;
    Evict(level);
    return open;
}

std::vector<FolderTree::Index> FolderTree::Way(Index folder) const
{
    std::vector<Index> way;
    for (Index at = folder; at != kNoParent; at = m_folders[at].parent) {
        way.push_back(at);
    }
    return way;
}

int FolderTree::Open(Index folder, bool& replaced)
{
    replaced = false;
    const std::vector<Index> way = Way(folder);
    // Keep the part of the open chain that leads to this folder.
    std::size_t keep = 0;
    while (keep < m_chain.size() && keep < way.size() &&
           m_chain[keep].folder == way[way.size() - 1 - keep]) {
        ++keep;
    }
    while (m_chain.size() > keep) {
        if (m_chain.back().fd.Valid()) {
            --m_open;
        }
        m_chain.pop_back();
    }
    for (std::size_t level = keep; level < way.size(); ++level) {
        m_chain.push_back({way[way.size() - 1 - level], Fd()});
    }
    const int fd = OpenLevel(m_chain.size() - 1, replaced);
    if (fd < 0) {
        // Forget the steps that could not be opened: the next Open tries afresh.
        const int err = errno;
        while (!m_chain.empty() && !m_chain.back().fd.Valid()) {
            m_chain.pop_back();
        }
        errno = err;
    }
    return fd;
}

std::string FolderTree::Path(Index folder) const
{
    const std::vector<Index> way = Way(folder);
    std::string path;
    for (auto it = way.rbegin(); it != way.rend(); ++it) {
        if (!path.empty() && path.back() != '/') {
            path += '/';
        }
        path += m_names.Get(m_folders[*it].name);
    }
    return path;
}

std::string FolderTree::PathOf(Index folder, const char* name) const
{
    std::string path = Path(folder);
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    return path + name;
}
