// The first instance's end of the activation channel.
#ifndef VORN_APP_APPSERVER_H
#define VORN_APP_APPSERVER_H

#include <wx/sckipc.h>

class AppServer : public wxTCPServer
{
public:
    AppServer() = default;
    ~AppServer() override;

    // Accepts the topic "only_one" in any case, unless a modal dialog is open.
    wxConnectionBase* OnAcceptConnection(const wxString& topic) override;
};

#endif // VORN_APP_APPSERVER_H
