#include "app/AppClient.h"

#include "app/AppConnection.h"
#include "app/IpcService.h"

#include <memory>

AppClient::~AppClient() = default;

wxConnectionBase* AppClient::OnMakeConnection()
{
    return new AppConnection;
}

bool AppClient::SendActivation(const wxString& topic, wxString service)
{
    if (service.empty()) {
        service = ipc::ServicePath();
    }
    if (service.empty()) {
        return false; // no safe place to look for the first instance
    }
    AppClient client;
    std::unique_ptr<wxConnectionBase> connection(client.MakeConnection(ipc::kHost, service, topic));
    if (!connection) {
        return false;
    }
    static const char request[2] = {0, 0}; // the empty text, NUL-terminated UTF-16
    connection->Execute(request, sizeof request, wxIPC_UTF16TEXT);
    connection->Disconnect();
    return true;
}
