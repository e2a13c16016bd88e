// Overwrites the names that removals left in a folder's own storage. FAT and
// exFAT keep a removed file's long name in its freed folder entries, XFS the
// entry's bytes in the folder block, NTFS bytes of the old index entries:
// recovery tools list them as deleted files. Every such allocator reuses
// freed entry space before it extends a folder, so meaningless throwaway
// entries are created until the folder would have to grow, then removed.
// They are only ever created exclusively, under names of their own, and
// removed only while they still hold the file made for them.
#ifndef VORN_SHRED_NAMESCRUB_H
#define VORN_SHRED_NAMESCRUB_H

#include "shred/StorageCheck.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class NameScrub
{
public:
    struct Outcome
    {
        int err = 0;            // why entries could not be made: names may remain
        bool cancelled = false; // stopped early: names may remain
        // Throwaway entries that could not be removed again.
        std::vector<std::string> leftovers;
        int leftoverErr = 0;
        // XFS writes a folder block back in place only well after its log
        // (tens of seconds): a block the folder gives back before that, and
        // the inline area of a folder kept in its inode, still hold the
        // names as last written there.
        bool gaveBack = false;
    };

    // `growth` tells how the folder's storage shows that it grew; `freed`
    // (names freed in it) bounds the work where it never shows.
    NameScrub(FolderGrowth growth, std::uint64_t freed);

    // Fills the free entry space of the folder open on `dirfd`, removes
    // every throwaway entry again and makes the folder durable. `going` is
    // asked now and then; false stops the fill, and what was made is
    // removed all the same.
    Outcome Finish(int dirfd, const std::function<bool()>& going);
    // After the removals: whether the folder open on `dirfd`, which held
    // `listedBlocks` when it was listed, gave storage back where that leaves
    // names behind.
    static bool GaveBack(int dirfd, FolderGrowth growth, std::int64_t listedBlocks);

    // The throwaway name of `length` characters for `n`, or "" when `n`
    // needs more: a tilde, `n` in up to five upper-case base-36 digits and
    // zeros, which FAT keeps as a short name alone where it fits 8.3.
    static std::string Name(std::size_t length, std::uint64_t n);

private:
    struct Made
    {
        std::string name;
        ino_t ino;
        int unknown = 0; // why its inode could not be read: it is left, and said so
    };
    // What shows the folder's growth.
    struct Footprint
    {
        std::int64_t size = 0;
        std::int64_t blocks = 0;
        std::uint64_t freeBlocks = 0;
        std::uint64_t freeFiles = 0;
    };

    bool Measure(int dirfd, Footprint& footprint) const;
    bool Grew(const Footprint& before, const Footprint& now) const;
    // 0, EEXIST when the name is taken, or why it could not be made.
    int Make(int dirfd, const std::string& name);
    // Fills until growth in every length; false when stopped early.
    bool Fill(int dirfd, const std::function<bool()>& going, Outcome& outcome);
    // Removes the entries made from the `from`th on.
    void Clear(int dirfd, std::size_t from, Outcome& outcome);

    using Clock = std::chrono::steady_clock;
    // Spaces the looks for growth by what a look costs against an entry.
    void Pace(Clock::duration look);

    FolderGrowth m_growth;
    std::uint64_t m_limit; // throwaway entries per length at most
    std::vector<Made> m_made;
    // What making entries and looking for growth took so far.
    Clock::duration m_makeTime{};
    std::uint64_t m_makes = 0;
    Clock::duration m_lookTime{};
    std::uint64_t m_looks = 0;
    std::uint64_t m_every = 1; // entries between looks
};

#endif // VORN_SHRED_NAMESCRUB_H
