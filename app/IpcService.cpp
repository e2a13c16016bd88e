#include "app/IpcService.h"

#include <wx/filename.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace ipc {

wxString ServicePath(wxString* why)
{
    wxString folder;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') {
        folder = wxString(runtime, *wxConvFileName);
    } else {
        folder = wxFileName::GetTempDir() +
                 wxString::Format(wxS("/vorn-%lu"), static_cast<unsigned long>(::getuid()));
        // Fails harmlessly when it exists; what exists is checked below.
        ::mkdir(folder.fn_str(), 0700);
    }
    // Another user must neither reach the socket nor plant one of their own:
    // the folder must be a real folder of ours that nobody else can enter.
    struct stat st;
    wxString problem;
    if (::lstat(folder.fn_str(), &st) != 0) {
        problem = wxString(std::strerror(errno), wxConvLibc);
    } else if (!S_ISDIR(st.st_mode)) {
        problem = wxS("not a folder");
    } else if (st.st_uid != ::getuid()) {
        problem = wxS("owned by another user");
    } else if ((st.st_mode & 077) != 0) {
        problem = wxS("open to other users");
    }
    if (!problem.empty()) {
        if (why != nullptr) {
            *why = folder + wxS(": ") + problem;
        }
        return wxString();
    }
    return folder + wxS("/") + kService;
}

} // namespace ipc
