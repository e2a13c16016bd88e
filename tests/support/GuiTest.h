// Helpers for tests that run real windows in this process under a display.
#ifndef VORN_TESTS_SUPPORT_GUITEST_H
#define VORN_TESTS_SUPPORT_GUITEST_H

#include <wx/string.h>

#include <functional>
#include <vector>

class wxWindow;

// Runs the event loop until `done` holds or `timeoutMs` passes; returns
// whether it holds. Tests poll with this instead of sleeping.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000);

// Lets pending events run for a moment.
void Settle(int ms = 100);

// The child window of `parent` with that window name, or null.
wxWindow* FindChild(wxWindow* parent, const wxString& name);

// Clicks the button named `name` among the children of `parent` the way a
// click reaches its handlers (a real command event); false when no such
// child exists.
bool ClickButton(wxWindow* parent, const wxString& name);

// Runs a program with wxExecute's `flags` (wxEXEC_ASYNC: returns its pid;
// wxEXEC_SYNC: its exit status, after reaping it).
long RunProgram(const std::vector<wxString>& args, int flags);

// Installs the handlers that make a test run safe to automate: a wx assert
// becomes a test failure and log output goes to stderr instead of a dialog.
void InstallTestHandlers();

#endif // VORN_TESTS_SUPPORT_GUITEST_H
