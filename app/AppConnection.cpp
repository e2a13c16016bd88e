#include "app/AppConnection.h"

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/strconv.h>

AppConnection::~AppConnection() = default;

bool AppConnection::OnExecute(const wxString& topic, const void* data, std::size_t size,
                              wxIPCFormat format)
{
    // The text is ignored; any execute on the accepted topic activates.
    wxString text;
    if (data != nullptr && size >= 2 && format == wxIPC_UTF16TEXT) {
        text = wxString(static_cast<const char*>(data), wxMBConvUTF16(), size);
    }
    return OnExec(topic, text);
}

bool AppConnection::OnExec(const wxString&, const wxString&)
{
    wxWindow* top = wxTheApp != nullptr ? wxTheApp->GetTopWindow() : nullptr;
    if (top == nullptr) {
        return true;
    }
    if (wxFrame* frame = dynamic_cast<wxFrame*>(top)) {
        // On GTK, Restore does not show a window hidden by its close box:
        // without Show the user would see nothing at all.
        if (!frame->IsShown()) {
            frame->Show(true);
        }
        frame->Restore();
        frame->Raise();
    }
    return true;
}
