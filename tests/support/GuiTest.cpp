#include "tests/support/GuiTest.h"

#include <gtest/gtest.h>
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

namespace {

void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg)
{
    ADD_FAILURE_AT(file.utf8_str(), line)
        << "wx assert in " << func.utf8_str() << ": " << cond.utf8_str() << " " << msg.utf8_str();
}

} // namespace

void InstallTestHandlers()
{
    wxSetAssertHandler(FailOnAssert);
    delete wxLog::SetActiveTarget(new wxLogStderr);
}
