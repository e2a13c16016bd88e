// Helpers for tests that run real windows in this process under a display.
#ifndef VORN_TESTS_SUPPORT_GUITEST_H
#define VORN_TESTS_SUPPORT_GUITEST_H

#include <wx/string.h>

#include <functional>

class wxWindow;

// Runs the event loop until `done` holds or `timeoutMs` passes; returns
// whether it holds. Tests poll with this instead of sleeping.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000);

// Lets pending events run for a moment.
void Settle(int ms = 100);

// The child window of `parent` with that window name, or null.
wxWindow* FindChild(wxWindow* parent, const wxString& name);

// Installs the handlers that make a test run safe to automate: a wx assert
// becomes a test failure and log output goes to stderr instead of a dialog.
void InstallTestHandlers();

#endif // VORN_TESTS_SUPPORT_GUITEST_H
