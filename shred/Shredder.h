// The shredding engine: overwrites files in place, renames them to a
// meaningless name in their own folder and removes them. wxBase only.
#ifndef VORN_SHRED_SHREDDER_H
#define VORN_SHRED_SHREDDER_H

#include <wx/string.h>

#include <cstdint>
#include <string>
#include <vector>

// One file (or other entry) that could not be destroyed.
struct ShredFailure
{
    wxString path;   // the entry as listed, for display
    wxString reason; // what went wrong, with the system's error text
};

// What one ShredPath or ShredFile call did.
struct ShredResult
{
    bool found = false;                 // the path named something that exists
    bool cancelled = false;             // the run was stopped inside this path
    std::uint64_t shredded = 0;         // entries destroyed
    std::vector<ShredFailure> failures; // entries not destroyed

    // True when nothing below the path survived: every entry was destroyed,
    // or the path no longer exists at all.
    bool Complete() const { return failures.empty(); }
    // One line for the user: the reason, or how many failed and the first.
    wxString Summary() const;
};

// Destroys a listed path: a regular file, a symbolic link (as a link, never
// followed) or every entry below a folder (folders themselves are kept).
ShredResult ShredPath(const wxString& path, bool quick);

// Destroys one regular file or symbolic link.
ShredResult ShredFile(const wxString& path, bool quick);

// The same on a path's raw bytes, for names that are not valid text.
ShredResult ShredPathBytes(const std::string& path, bool quick);

class ShredProgress;

// Overwrites an open file from offset 0 with whole 1024-byte blocks of
// `pattern` (0x00 or 0x01) until the original length is covered, then
// flushes the data to the device. Reports `reported` plus the bytes written
// to `progress` after each write. Returns 0 on success, ECANCELED when
// `progress` cancelled, or another errno.
int OverwritePass(int fd, std::uint64_t length, unsigned char pattern,
                  ShredProgress* progress = nullptr, std::uint64_t reported = 0);

#endif // VORN_SHRED_SHREDDER_H
