// A later instance's end of the activation channel.
#ifndef VORN_APP_APPCLIENT_H
#define VORN_APP_APPCLIENT_H

#include <wx/sckipc.h>

class AppClient : public wxTCPClient
{
public:
    AppClient() = default;
    ~AppClient() override;

    wxConnectionBase* OnMakeConnection() override;

    // Sends the activation request (the empty UTF-16 text) to the first
    // instance, at `service` or else at this user's own socket; returns
    // whether a connection was made.
    static bool SendActivation(const wxString& topic, wxString service = wxString());
};

#endif // VORN_APP_APPCLIENT_H
