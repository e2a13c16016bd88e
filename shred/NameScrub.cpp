#include "shred/NameScrub.h"

#include "shred/Fd.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// Long entries first: a few of them fill the wide runs a removed folder
// leaves; the shortest then fill what is left between, down to the smallest
// entry each file system makes (one FAT slot, one exFAT entry set of 3, a
// 16-byte XFS entry). Only two: a length between them saved little
// (ntfs-3g 6 %, exfat-fuse nothing) and would fill a new FAT cluster, which
// a folder never gives back.
constexpr std::size_t kLengths[] = {255, 4};
// How often the fill asks whether to go on.
constexpr std::uint64_t kAskEvery = 64;
// Entries made between two looks for growth at most.
constexpr std::int64_t kMostUnlooked = 256;

} // namespace

NameScrub::NameScrub(FolderGrowth growth, std::uint64_t freed)
    : m_growth(growth), m_limit(8 * freed + 256)
{}

void NameScrub::Pace(Clock::duration look)
{
    // A look may cost far more than an entry: fusefat reads its whole
    // allocation table for it (most of a second on a large disk), exfat-fuse
    // counts its bitmap bit by bit. Looks are spaced so that they cost about
    // what the entries between them cost; at most that many entries then
    // land in space the folder has just gained.
    m_lookTime += look;
    ++m_looks;
    const auto perLook = m_lookTime.count() / static_cast<Clock::rep>(m_looks);
    const auto perMake =
        m_makeTime.count() / static_cast<Clock::rep>(std::max<std::uint64_t>(m_makes, 1));
    m_every = static_cast<std::uint64_t>(
        std::clamp<Clock::rep>(perLook / std::max<Clock::rep>(perMake, 1), 1, kMostUnlooked));
}

std::string NameScrub::Name(std::size_t length, std::uint64_t n)
{
    static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    // The count comes first: FAT derives a short name from the first six
    // characters of a long one, and long names that share them send the
    // driver looking for a free ~N tail through the whole folder each time.
    if (length < 2) {
        return {};
    }
    const std::size_t digits = std::min<std::size_t>(length - 1, 5);
    std::string name(length, '0');
    name[0] = '~';
    for (std::size_t at = digits; at >= 1; --at) {
        name[at] = kDigits[n % 36];
        n /= 36;
    }
    return n == 0 ? name : std::string();
}

bool NameScrub::Measure(int dirfd, Footprint& footprint) const
{
    if (m_growth == FolderGrowth::FolderBlocks || m_growth == FolderGrowth::FolderOrFreeSpace) {
        struct stat st;
        if (::fstat(dirfd, &st) != 0) {
            return false;
        }
        footprint.size = st.st_size;
        footprint.blocks = st.st_blocks;
    }
    if (m_growth != FolderGrowth::FolderBlocks) {
        struct statvfs fs;
        if (::fstatvfs(dirfd, &fs) != 0) {
            return false;
        }
        footprint.freeBlocks = fs.f_bfree;
        footprint.freeFiles = fs.f_ffree;
    }
    return true;
}

bool NameScrub::Grew(const Footprint& before, const Footprint& now) const
{
    switch (m_growth) {
    case FolderGrowth::None:
        return true;
    case FolderGrowth::FolderBlocks:
        return now.blocks > before.blocks;
    case FolderGrowth::FolderOrFreeSpace:
        return now.size > before.size || now.blocks > before.blocks ||
               now.freeBlocks < before.freeBlocks;
    case FolderGrowth::FreeSpace:
        return now.freeBlocks < before.freeBlocks;
    case FolderGrowth::FreeFiles:
        return now.freeFiles < before.freeFiles;
    }
    return true;
}

int NameScrub::Make(int dirfd, const std::string& name)
{
    Fd fd(
        ::openat(dirfd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.Valid()) {
        return errno;
    }
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0) {
        // Made, but unknown: its removal cannot be checked, so it is left
        // where it is and reported.
        const int err = errno;
        m_made.push_back({name, 0, err});
        return err;
    }
    m_made.push_back({name, st.st_ino});
    return fd.Close();
}

bool NameScrub::Fill(int dirfd, const std::function<bool()>& going, Outcome& outcome)
{
    const auto look = [&](Footprint& footprint) {
        const bool ok = Measure(dirfd, footprint);
        outcome.err = ok ? outcome.err : errno;
        return ok;
    };
    Footprint before;
    bool known = false; // the look that found the last length's growth serves the next
    for (std::size_t length : kLengths) {
        if (!known && !look(before)) {
            return false;
        }
        known = false;
        const bool last = length == kLengths[std::size(kLengths) - 1];
        std::size_t looked = m_made.size(); // entries made before the last look
        std::uint64_t made = 0;
        std::uint64_t unlooked = 0;
        for (std::uint64_t n = 0; made < m_limit; ++n) {
            if (made % kAskEvery == 0 && !going()) {
                outcome.cancelled = true;
                return false;
            }
            const std::string name = Name(length, n);
            if (name.empty()) {
                break; // every name of this length taken
            }
            const Clock::time_point start = Clock::now();
            const int err = Make(dirfd, name);
            m_makeTime += Clock::now() - start;
            ++m_makes;
            if (err == EEXIST) {
                continue;
            }
            if (err == ENOSPC) {
                break; // the folder would have to grow
            }
            if (err != 0) {
                // Some drivers refuse names this long (fusefat: EPERM at
                // 255): the shorter ones still go; only the shortest failing
                // means the folder takes no entry.
                if (last) {
                    outcome.err = err;
                    return false;
                }
                break;
            }
            ++made;
            if (++unlooked < m_every) {
                continue;
            }
            unlooked = 0;
            Footprint now;
            const Clock::time_point looking = Clock::now();
            if (!look(now)) {
                return false;
            }
            Pace(Clock::now() - looking);
            if (Grew(before, now)) {
                known = true;
                if (!last && m_growth != FolderGrowth::FreeFiles) {
                    // Entries since the last look may sit in the space the
                    // folder just gained. Removed at once, exfat-fuse and XFS
                    // give that space back, and the next length fills only
                    // what was free before (a new 32 KiB exFAT cluster alone
                    // takes 341 short entries). Not on fusefat: its folders
                    // never shrink, and each look reads its allocation table.
                    Clear(dirfd, looked, outcome);
                    if (!look(now)) {
                        return false;
                    }
                    if (!Grew(before, now)) {
                        break;
                    }
                }
                before = now;
                break;
            }
            looked = m_made.size();
        }
    }
    return true;
}

void NameScrub::Clear(int dirfd, std::size_t from, Outcome& outcome)
{
    for (auto made = m_made.begin() + static_cast<std::ptrdiff_t>(from); made != m_made.end();
         ++made) {
        struct stat st;
        int err = ::fstatat(dirfd, made->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
        // Only what still holds the entry made here: another program may
        // have put its own file under the name meanwhile.
        if (err == 0 && made->unknown != 0) {
            err = made->unknown;
        } else if (err == 0 && st.st_ino == made->ino &&
                   ::unlinkat(dirfd, made->name.c_str(), 0) != 0) {
            err = errno;
        }
        if (err != 0 && err != ENOENT) {
            outcome.leftovers.push_back(made->name);
            outcome.leftoverErr = err;
        }
    }
    m_made.erase(m_made.begin() + static_cast<std::ptrdiff_t>(from), m_made.end());
}

NameScrub::Outcome NameScrub::Finish(int dirfd, const std::function<bool()>& going)
{
    Outcome outcome;
    if (m_growth == FolderGrowth::None) {
        return outcome;
    }
    Fill(dirfd, going, outcome);
    Clear(dirfd, 0, outcome);
    if (::fsync(dirfd) != 0 && outcome.err == 0) {
        outcome.err = errno;
    }
    return outcome;
}

bool NameScrub::GaveBack(int dirfd, FolderGrowth growth, std::int64_t listedBlocks)
{
    struct stat st;
    return growth == FolderGrowth::FolderBlocks && ::fstat(dirfd, &st) == 0 &&
           (st.st_blocks == 0 || st.st_blocks < listedBlocks);
}
