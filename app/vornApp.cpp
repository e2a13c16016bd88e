#include "app/vornApp.h"

#include "app/AppClient.h"
#include "app/AppServer.h"
#include "app/IpcService.h"
#include "ui/Texts.h"
#include "ui/mainFrame.h"

#include <wx/image.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/snglinst.h>
#include <wx/time.h>
#include <wx/utils.h>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const wxChar* const kServerFailed = wxS("创建ipc组件失败!");
constexpr int kActivationRetryMs = 1000;
const wxChar* const kBusy = wxS("抱歉，彻底删除工具程序可能太忙，无法把新的请求发送到程序！");

// The checker trusts the process id in a left-over lock file, which another
// process may own by now (after a reboot, quite likely), and would then take
// this start for a later instance forever. A running instance holds a write
// lock on its file, so a file that nobody locks is stale: remove it.
void RemoveStaleLock(const wxString& path)
{
    const int fd = ::open(path.fn_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    struct stat opened;
    struct stat named;
    // An empty file is one that a starting instance has just created and is
    // about to lock; and the file must still be the one examined, as a start
    // racing with this one may have replaced it with a live lock.
    if (::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type == F_UNLCK && ::fstat(fd, &opened) == 0 &&
        opened.st_size > 0 && ::lstat(path.fn_str(), &named) == 0 &&
        opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
        ::unlink(path.fn_str());
    }
    ::close(fd);
}

} // namespace

int vornApp::ms_rawArgc = 0;
char** vornApp::ms_rawArgv = nullptr;
vornApp::LaterStart vornApp::ms_laterStart = LaterStart::NotLater;

vornApp::vornApp() = default;
vornApp::~vornApp() = default;

void vornApp::SetRawArguments(int argc, char** argv)
{
    ms_rawArgc = argc;
    ms_rawArgv = argv;
}

wxArrayString vornApp::Arguments() const
{
    wxArrayString args;
    if (ms_rawArgv != nullptr) {
        // Convert as file names (UTF-8 under GTK, keeping invalid bytes),
        // since every argument is a path.
        for (int i = 1; i < ms_rawArgc; ++i) {
            args.Add(wxString(ms_rawArgv[i], *wxConvFileName));
        }
    } else {
        for (int i = 1; i < argc; ++i) {
            args.Add(argv[i]);
        }
    }
    return args;
}

bool vornApp::OnInit()
{
    // The lock lives beside the socket, in the private runtime folder: an
    // instance started with another HOME still finds the running one. A
    // stale lock left by a killed instance is detected and replaced.
    const wxString folder = ipc::LockFolder();
    if (!folder.empty()) {
        const wxString name = ipc::kInstancePrefix + wxGetUserId();
        RemoveStaleLock(folder + wxS("/") + name);
        m_checker = std::make_unique<wxSingleInstanceChecker>();
        bool created = false;
        {
            // A lock file that a starting instance has made but not yet
            // filled fails Create: that instance is about to answer.
            wxLogNull quiet;
            created = m_checker->Create(name, folder);
        }
        // An instance of an older version may hold no lock here but answer.
        if (!created || m_checker->IsAnotherRunning() || AppServer::Answering(ipc::ServicePath())) {
            ActivateFirstInstance();
            return false;
        }
    }
    StartServer();

    wxInitAllImageHandlers();
    mainFrame* frame = new mainFrame(nullptr, wxID_ANY, wxDefaultPosition, wxDefaultSize);
    const wxArrayString args = Arguments();
    for (size_t i = 0; i < args.GetCount(); ++i) {
        frame->AddFile(args[i]);
    }
    frame->FitColumns();
    frame->Show(true);
    SetTopWindow(frame);
    return true;
}

// A later instance: asks the running one to come to the front. Only ever a
// client: a server of its own would take over the running one's socket.
void vornApp::ActivateFirstInstance()
{
    // The first instance may still be starting (its lock taken, its socket
    // not yet listening) or ending: ask again for about a second.
    const wxLongLong until = wxGetLocalTimeMillis() + kActivationRetryMs;
    for (;;) {
        if (AppClient::SendActivation(ipc::kTopic)) {
            ms_laterStart = LaterStart::Activated;
            return;
        }
        if (wxGetLocalTimeMillis() >= until) {
            break;
        }
        wxMilliSleep(100);
    }
    ms_laterStart = LaterStart::Unreachable;
    wxMessageBox(kBusy, texts::kToolName, wxOK | wxICON_INFORMATION, nullptr, -1, -1);
}

void vornApp::StartServer()
{
    m_server = std::make_unique<AppServer>();
    wxString why;
    const wxString service = ipc::ServicePath(&why);
    // Without a path, wx would listen on a TCP port open to the network.
    bool listening = false;
    if (!service.empty()) {
        wxLogNull quiet; // the message box below is the report
        listening = m_server->Create(service);
    }
    if (!listening) {
        if (!why.empty()) {
            std::fprintf(stderr, "vorn: %s\n", why.utf8_str().data());
        }
        wxMessageBox(kServerFailed, texts::kToolName, wxOK | wxCENTRE, nullptr, -1, -1);
    }
}

int vornApp::OnExit()
{
    m_checker.reset();
    m_server.reset();
    return 0;
}
