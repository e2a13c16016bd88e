#include "app/AppServer.h"

#include "app/AppConnection.h"
#include "app/IpcService.h"

#include <wx/dialog.h>
#include <wx/toplevel.h>

AppServer::~AppServer() = default;

wxConnectionBase* AppServer::OnAcceptConnection(const wxString& topic)
{
    wxString lower(topic);
    if (lower.MakeLower() != ipc::kTopic) {
        return nullptr;
    }
    for (wxWindowList::compatibility_iterator node = wxTopLevelWindows.GetFirst(); node;
         node = node->GetNext()) {
        wxDialog* dialog = wxDynamicCast(node->GetData(), wxDialog);
        if (dialog != nullptr && dialog->IsModal()) {
            return nullptr;
        }
    }
    return new AppConnection;
}
