// One entry of a folder, before and after its passes: opening it for them
// after checking it is still the entry listed, and the renames that never
// replace anything. Everything relative to the open folder.
#ifndef VORN_SHRED_SHREDENTRY_H
#define VORN_SHRED_SHREDENTRY_H

#include "shred/ShredResult.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

class Fd;
class StorageCheck;

struct EntryOutcome
{
    enum Status
    {
        Destroyed, // gone, name and content
        Vanished,  // no longer there when its turn came: nothing to do
        Failed,    // see kind, err and detail
        Cancelled, // stopped during the passes; the file keeps its name
    };
    Status status = Destroyed;
    ShredError kind = ShredError::Stat;
    int err = 0;
    std::uint64_t detail = 0;
    std::optional<ShredCaveat> caveat; // for a destroyed file
};

// The open file's state as its file system knows it now; false with errno.
bool FreshStat(int fd, struct stat& st);
// The fields of `st` the engine reads, from a statx answer.
void StatFromStatx(const struct statx& stx, struct stat& st);

// A failed outcome of `kind`.
EntryOutcome EntryFailure(ShredError kind, int err = 0, std::uint64_t detail = 0);

// Checks that `name` in the folder open on `dirfd` (whose device is
// `folderDev`) is still the entry listed with `dev` and `ino`, and that it
// may be destroyed. A regular file is opened for its passes: `fd` then holds
// it, `opened` is its fstat, and the outcome carries its storage caveat; for
// a link `fd` stays empty. Anything but Destroyed means: leave the entry as
// it is.
EntryOutcome OpenEntry(int dirfd, dev_t folderDev, const char* name, dev_t dev, ino_t ino,
                       StorageCheck& storage, Fd& fd, struct stat& opened);

// The temporary name del.file.<n>.del.
std::string TemporaryName(unsigned long n);

// The ways of renaming without replacing anything, the safest first.
enum class RenameWay
{
    NoReplace, // renameat2 with RENAME_NOREPLACE
    Link,      // a hard link to the new name, then the old one removed
    Plain,     // a plain rename to a name just found free
};

// Renames `from` to `to` in the same folder, never replacing an existing
// entry where the file system can promise that. Returns 0 or the errno.
// `way`, when given, is where to start, and learns the way that worked.
int RenameNoReplace(int dirfd, const char* from, const char* to, RenameWay* way = nullptr);

// Renames `name` to the first free del.file.N.del in the same folder, N
// from `first` on. Returns 0 and sets `taken` to N, or returns the errno.
int RenameToFreeName(int dirfd, const char* name, unsigned long& taken, unsigned long first = 1,
                     RenameWay* way = nullptr);

#endif // VORN_SHRED_SHREDENTRY_H
