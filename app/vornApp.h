// The application object: the single-instance gate, start-up, the command
// line and shut-down.
#ifndef VORN_APP_VORNAPP_H
#define VORN_APP_VORNAPP_H

#include <wx/app.h>
#include <wx/arrstr.h>

#include <memory>

class wxSingleInstanceChecker;
class AppServer;

class vornApp : public wxApp
{
public:
    vornApp();
    ~vornApp() override;

    bool OnInit() override;
    int OnExit() override;

    // The command line's arguments as raw bytes, kept by main() before the
    // framework converts them with the C locale's charset, which would lose
    // every non-ASCII file name.
    static void SetRawArguments(int argc, char** argv);
    // How a start that found another instance running ended.
    enum class LaterStart
    {
        NotLater,    // this process is the first instance
        Activated,   // the running instance came to the front
        Unreachable, // it did not answer: the busy message was shown
    };
    static LaterStart LaterStartOutcome() { return ms_laterStart; }

private:
    wxArrayString Arguments() const;
    void ActivateFirstInstance();
    void StartServer();

    std::unique_ptr<wxSingleInstanceChecker> m_checker;
    std::unique_ptr<AppServer> m_server;

    static int ms_rawArgc;
    static char** ms_rawArgv;
    static LaterStart ms_laterStart;
};

wxDECLARE_APP(vornApp);

#endif // VORN_APP_VORNAPP_H
