#include "app/AppConnection.h"

#include "ui/mainFrame.h"

#include <wx/app.h>
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
    if (mainFrame* frame = dynamic_cast<mainFrame*>(top)) {
        frame->BringBack();
    }
    return true;
}
