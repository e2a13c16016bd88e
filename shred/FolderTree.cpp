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
    for (Chain& chain : m_chains) {
        chain = Chain();
    }
}

// Closes the shallowest open descriptors between the root and `protect`:
// the deepest ones are those the walk needs next, and any of them can be
// opened again from an open ancestor.
void FolderTree::Evict(Chain& chain, std::size_t protect)
{
    for (std::size_t level = 1; level < protect && chain.open > kMaxOpen; ++level) {
        if (chain.levels[level].fd.Valid()) {
            chain.levels[level].fd.Reset();
            --chain.open;
        }
    }
}

int FolderTree::OpenLevel(Chain& chain, std::size_t level, bool& replaced)
{
    Level& step = chain.levels[level];
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
        while (from > 0 && !chain.levels[from].fd.Valid()) {
            --from;
        }
        int parent = OpenLevel(chain, from, replaced);
        for (std::size_t next = from + 1; parent >= 0 && next < level; ++next) {
            parent = OpenLevel(chain, next, replaced);
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
    chain.levels[level].fd = std::move(fd);
    ++chain.open;
    Evict(chain, level);
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

int FolderTree::Open(Index folder, bool& replaced, Lane lane)
{
    replaced = false;
    Chain& chain = m_chains[static_cast<int>(lane)];
    std::vector<Level>& levels = chain.levels;
    const std::vector<Index> way = Way(folder);
    // Keep the part of the open chain that leads to this folder.
    std::size_t keep = 0;
    while (keep < levels.size() && keep < way.size() &&
           levels[keep].folder == way[way.size() - 1 - keep]) {
        ++keep;
    }
    while (levels.size() > keep) {
        if (levels.back().fd.Valid()) {
            --chain.open;
        }
        levels.pop_back();
    }
    for (std::size_t level = keep; level < way.size(); ++level) {
        levels.push_back({way[way.size() - 1 - level], Fd()});
    }
    const int fd = OpenLevel(chain, levels.size() - 1, replaced);
    if (fd < 0) {
        // Forget the steps that could not be opened: the next Open tries afresh.
        const int err = errno;
        while (!levels.empty() && !levels.back().fd.Valid()) {
            levels.pop_back();
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
