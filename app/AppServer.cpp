#include "app/AppServer.h"

#include "app/AppConnection.h"
#include "app/IpcService.h"
#include "ui/ModalDialog.h"

AppServer::~AppServer() = default;

wxConnectionBase* AppServer::OnAcceptConnection(const wxString& topic)
{
    wxString lower(topic);
    if (lower.MakeLower() != ipc::kTopic) {
        return nullptr;
    }
    if (OpenModalDialog() != nullptr) {
        return nullptr; // e.g. the About dialog: no activation behind it
    }
    return new AppConnection;
}
