// The application object: start-up, the command line and shut-down.
#ifndef VORN_APP_VORNAPP_H
#define VORN_APP_VORNAPP_H

#include <wx/app.h>
#include <wx/arrstr.h>

class vornApp : public wxApp
{
public:
    vornApp() = default;
    ~vornApp() override;

    bool OnInit() override;
    int OnExit() override;

    // The command line's arguments as raw bytes, kept by main() before the
    // framework converts them with the C locale's charset, which would lose
    // every non-ASCII file name.
    static void SetRawArguments(int argc, char** argv);

private:
    wxArrayString Arguments() const;

    static int ms_rawArgc;
    static char** ms_rawArgv;
};

wxDECLARE_APP(vornApp);

#endif // VORN_APP_VORNAPP_H
