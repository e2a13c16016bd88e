#include "app/vornApp.h"

#include "ui/mainFrame.h"

#include <wx/image.h>

int vornApp::ms_rawArgc = 0;
char** vornApp::ms_rawArgv = nullptr;

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
    // The single-instance gate and the request server take their place here,
    // before anything else is created.

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

int vornApp::OnExit()
{
    return 0;
}
