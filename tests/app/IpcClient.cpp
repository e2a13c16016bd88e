// A small client of the activation channel for the tests: sends the
// activation request with the topic given as its first argument, to the
// socket named by the second one or else to this user's own. Exit status 0
// when the running instance took the connection, 1 when it did not.
#include "app/AppClient.h"

#include <wx/init.h>
#include <wx/socket.h>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        return 2;
    }
    wxInitializer wx(argc, argv);
    if (!wx.IsOk() || !wxSocketBase::Initialize()) {
        return 2;
    }
    const wxString service = argc == 3 ? wxString::FromUTF8(argv[2]) : wxString();
    return AppClient::SendActivation(wxString::FromUTF8(argv[1]), service) ? 0 : 1;
}
