// The checks a path passes before it is listed for shredding.
#ifndef VORN_SHRED_LISTEDPATH_H
#define VORN_SHRED_LISTEDPATH_H

#include <string>

// Whether the path names a regular file, a folder or a symbolic link (which
// is shredded as a link, never followed). FIFOs, sockets and devices are
// not listed: only regular files are shredded.
bool IsListable(const std::string& path);

// The absolute form of an existing path that still names the same object;
// the path unchanged when it cannot be resolved.
std::string AbsolutePath(const std::string& path);

#endif // VORN_SHRED_LISTEDPATH_H
