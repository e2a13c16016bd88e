// One end of an activation conversation, in either process.
#ifndef VORN_APP_APPCONNECTION_H
#define VORN_APP_APPCONNECTION_H

#include <wx/sckipc.h>

class AppConnection : public wxTCPConnection
{
public:
    AppConnection() = default;
    ~AppConnection() override;

    // The activation: shows, restores and raises the main window.
    bool OnExec(const wxString& topic, const wxString& data) override;
    // Decodes the request itself: the framework's default asserts on 2-byte
    // UTF-16 text where wchar_t has 4 bytes, and never reaches OnExec.
    bool OnExecute(const wxString& topic, const void* data, size_t size,
                   wxIPCFormat format) override;
};

#endif // VORN_APP_APPCONNECTION_H
