#include "tests/support/GuiTest.h"

#include "tests/support/AssertHandler.h"

#include <wx/app.h>
#include <wx/log.h>
#include <wx/stopwatch.h>
#include <wx/utils.h>
#include <wx/window.h>

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    wxStopWatch clock;
    while (!done()) {
        if (clock.Time() > timeoutMs) {
            return done();
        }
        wxTheApp->Yield(true);
        wxMilliSleep(10);
    }
    return true;
}

void Settle(int ms)
{
    wxStopWatch clock;
    while (clock.Time() < ms) {
        wxTheApp->Yield(true);
        wxMilliSleep(10);
    }
}

wxWindow* FindChild(wxWindow* parent, const wxString& name)
{
    return wxWindow::FindWindowByName(name, parent);
}

bool ClickButton(wxWindow* parent, const wxString& name)
{
    wxWindow* button = FindChild(parent, name);
    if (button == nullptr) {
        return false;
    }
    wxCommandEvent click(wxEVT_BUTTON, button->GetId());
    click.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(click);
    return true;
}

long RunProgram(const std::vector<wxString>& args, int flags)
{
    std::vector<const wchar_t*> argv;
    for (const wxString& arg : args) {
        argv.push_back(arg.wc_str());
    }
    argv.push_back(nullptr);
    return wxExecute(argv.data(), flags);
}

void InstallTestHandlers()
{
    InstallAssertHandler();
    delete wxLog::SetActiveTarget(new wxLogStderr);
}
