// The fixed strings of the activation protocol and where its socket lives.
#ifndef VORN_APP_IPCSERVICE_H
#define VORN_APP_IPCSERVICE_H

#include <wx/string.h>

namespace ipc {

inline constexpr const char* kService = "vorn-app";
inline constexpr const char* kTopic = "only_one";
inline constexpr const char* kHost = "localhost";
// The single-instance name is this prefix plus the login id.
inline constexpr const char* kInstancePrefix = "vorn-";

// The framework's IPC message codes, of which the activation uses these: a
// connect carries the topic (a 32-bit little-endian length, then UTF-8) and
// is answered by a connect or a fail; an execute carries a format byte and
// data (a 32-bit length, then bytes); a disconnect ends the conversation.
inline constexpr unsigned char kExecute = 1;
inline constexpr unsigned char kFail = 9;
inline constexpr unsigned char kConnect = 10;
inline constexpr unsigned char kDisconnect = 11;

// This user's private runtime folder: $XDG_RUNTIME_DIR, or a folder
// "vorn-<uid>" of the temporary folder, created with mode 0700. It must be
// the user's own and closed to others; otherwise the result is empty and
// `why` says what is wrong. The instance socket lives there.
wxString RuntimeFolder(wxString* why = nullptr);
// Where the single-instance lock lives: the runtime folder, or where that
// cannot be trusted, the private folder in the temporary folder (so that a
// later start still finds the instance that could not open its socket);
// empty when neither is private.
wxString LockFolder();

// The service's Unix-domain socket: "vorn-app" in the runtime folder, or
// empty (see RuntimeFolder). Both sides derive it the same way.
wxString ServicePath(wxString* why = nullptr);

// A stream socket connected to the Unix-domain socket at `path`, or -1 with
// errno set (ENAMETOOLONG for a path the address cannot hold).
int Connect(const wxString& path);

} // namespace ipc

#endif // VORN_APP_IPCSERVICE_H
