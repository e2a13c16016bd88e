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

// The service's Unix-domain socket: "vorn-app" in $XDG_RUNTIME_DIR, or in a
// folder "vorn-<uid>" of the temporary folder, created with mode 0700. The
// folder must be the user's own and closed to others; otherwise the result
// is empty and `why` says what is wrong. Both sides derive it the same way.
wxString ServicePath(wxString* why = nullptr);

} // namespace ipc

#endif // VORN_APP_IPCSERVICE_H
