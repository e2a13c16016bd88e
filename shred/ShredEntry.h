// One entry of a folder: a regular file is overwritten in place, renamed to a
// free del.file.N.del in its own folder and removed; a symbolic link is
// renamed and removed as a link. Everything relative to the open folder.
#ifndef VORN_SHRED_SHREDENTRY_H
#define VORN_SHRED_SHREDENTRY_H

#include "shred/ShredResult.h"

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

class ShredProgress;
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

// Checks that `name` in the folder open on `dirfd` is still the entry listed
// with `dev` and `ino`, and that it may be destroyed. A regular file is
// opened for its passes: `fd` then owns its descriptor and `length` is its
// size, and the outcome carries its storage caveat; for a link `fd` is -1.
// Anything but Destroyed means: leave the entry as it is.
EntryOutcome OpenEntry(int dirfd, const char* name, dev_t dev, ino_t ino, StorageCheck& storage,
                       int& fd, std::uint64_t& length);

// Destroys the entry `name` in the folder open on `dirfd`, provided it is
// still the entry listed with `dev` and `ino`.
EntryOutcome DestroyEntry(int dirfd, const char* name, dev_t dev, ino_t ino, bool quick,
                          ShredProgress* progress, StorageCheck& storage);

// The temporary name del.file.<n>.del.
std::string TemporaryName(unsigned long n);

// Renames `name` to the first free del.file.N.del in the same folder, N
// from `first` on, never replacing an existing entry where the file system
// can promise that. Returns 0 and sets `taken` to N, or returns the errno.
int RenameToFreeName(int dirfd, const char* name, unsigned long& taken, unsigned long first = 1);

#endif // VORN_SHRED_SHREDENTRY_H
