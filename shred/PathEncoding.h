// A path's bytes as the file system knows them, and back to text.
#ifndef VORN_SHRED_PATHENCODING_H
#define VORN_SHRED_PATHENCODING_H

#include <wx/string.h>

#include <string>

// The bytes of a path given as text; text that came from PathText gives
// back the original bytes.
std::string PathBytes(const wxString& path);
// A path's bytes for display; bytes that are not valid text survive as
// octal escapes.
wxString PathText(const std::string& bytes);

#endif // VORN_SHRED_PATHENCODING_H
