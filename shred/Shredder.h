// The shredding engine's entry points: a listed path is overwritten in
// place, renamed to a meaningless name in its own folder and removed; a
// folder is emptied at every depth. wxBase only.
#ifndef VORN_SHRED_SHREDDER_H
#define VORN_SHRED_SHREDDER_H

#include "shred/ShredResult.h"

#include <wx/string.h>

#include <string>

// Destroys a listed path: a regular file, a symbolic link (as a link, never
// followed) or every entry below a folder (folders themselves are kept).
ShredResult ShredPath(const wxString& path, bool quick);

// Destroys one regular file or symbolic link.
ShredResult ShredFile(const wxString& path, bool quick);

// The same on a path's raw bytes, for names that are not valid text.
ShredResult ShredPathBytes(const std::string& path, bool quick);

#endif // VORN_SHRED_SHREDDER_H
