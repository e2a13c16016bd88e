// The folders of a shredding run, each recorded by its name under its parent
// with the identity it had when it was listed, and reached again through
// open folder descriptors: no path is handed to a system call below a
// listed folder, so no path length limit applies, and a folder swapped for
// a link or another folder after listing is never entered.
#ifndef VORN_SHRED_FOLDERTREE_H
#define VORN_SHRED_FOLDERTREE_H

#include "shred/Fd.h"
#include "shred/NameStore.h"

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

class FolderTree
{
public:
    using Index = std::uint32_t;
    static constexpr Index kNoParent = UINT32_MAX;
    // Each thread of a run reaches folders through a chain of descriptors of
    // its own; the records themselves are only read once listing is done.
    enum class Lane
    {
        Main,  // listing, and writing the passes
        Names, // renaming and removing what was written
    };

    FolderTree() = default;
    ~FolderTree();
    FolderTree(const FolderTree&) = delete;
    FolderTree& operator=(const FolderTree&) = delete;

    // A folder named by a path: the top of a listed path, opened as the
    // path says (a link named with a trailing separator is followed). The
    // same path and folder again give the same index, so that the files of
    // one folder listed one by one are one folder's entries.
    Index AddRoot(const std::string& path, dev_t dev, ino_t ino);
    // A folder met by its name inside `parent`.
    Index AddChild(Index parent, const char* name, dev_t dev, ino_t ino);

    // An open descriptor of the folder, checked to be the folder that was
    // listed; it stays owned by the tree and valid until the next Open of
    // another folder in the same lane. Returns -1 with errno set, and
    // `replaced` true when the folder (or one on its way) is not the one listed.
    int Open(Index folder, bool& replaced, Lane lane = Lane::Main);
    // Closes every descriptor the tree holds.
    void CloseAll();

    dev_t Device(Index folder) const { return m_folders[folder].dev; }
    ino_t Inode(Index folder) const { return m_folders[folder].ino; }
    // The folder's path, for display only.
    std::string Path(Index folder) const;
    // `name` inside the folder, for display only.
    std::string PathOf(Index folder, const char* name) const;

private:
    struct Folder
    {
        NameStore::Id name; // a root's whole path, otherwise one name
        dev_t dev;
        ino_t ino;
        Index parent;
    };
    // One step of the chain from a root to the last folder opened.
    struct Level
    {
        Index folder;
        Fd fd; // empty once closed to stay within kMaxOpen
    };
    struct Chain
    {
        std::vector<Level> levels;
        std::size_t open = 0; // descriptors held in levels
    };
    static constexpr std::size_t kMaxOpen = 32; // per chain

    // The folder and its ancestors up to its root, the folder first.
    std::vector<Index> Way(Index folder) const;
    int OpenLevel(Chain& chain, std::size_t level, bool& replaced);
    void Evict(Chain& chain, std::size_t protect);

    NameStore m_names;
    std::vector<Folder> m_folders;
    std::map<std::tuple<std::string, dev_t, ino_t>, Index> m_roots; // few: one per listed path
    Chain m_chains[2];                                              // by Lane
};

#endif // VORN_SHRED_FOLDERTREE_H
