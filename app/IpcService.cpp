#include "app/IpcService.h"

#include <wx/filename.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace ipc {

namespace {

// "vorn-<uid>" in the temporary folder, made private if it is new.
wxString TemporaryFolder()
{
    const wxString folder =
        wxFileName::GetTempDir() +
        wxString::Format(wxS("/vorn-%lu"), static_cast<unsigned long>(::getuid()));
    // Fails harmlessly when it exists; what exists is checked after.
    ::mkdir(folder.fn_str(), 0700);
    return folder;
}

// `folder` when it is a real folder of ours that nobody else can enter:
// another user must neither reach what is in it nor plant anything there.
wxString Private(const wxString& folder, wxString* why)
{
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
    return folder;
}

} // namespace

wxString RuntimeFolder(wxString* why)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') {
        return Private(wxString(runtime, *wxConvFileName), why);
    }
    return Private(TemporaryFolder(), why);
}

wxString LockFolder()
{
    const wxString runtime = RuntimeFolder();
    return runtime.empty() ? Private(TemporaryFolder(), nullptr) : runtime;
}

wxString ServicePath(wxString* why)
{
    const wxString folder = RuntimeFolder(why);
    return folder.empty() ? folder : folder + wxS("/") + kService;
}

int Connect(const wxString& path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const wxCharBuffer name = path.fn_str();
    if (std::strlen(name) >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::strcpy(address.sun_path, name);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 &&
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

} // namespace ipc
