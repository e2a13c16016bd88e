// One accepted conversation on the instance socket, after its topic: the
// activation requests it carries.
#ifndef VORN_APP_APPCONNECTION_H
#define VORN_APP_APPCONNECTION_H

#include <wx/ipcbase.h>
#include <wx/string.h>

#include <cstddef>

class AppConnection
{
public:
    AppConnection() = default;
    virtual ~AppConnection();

    // The activation: shows, restores and raises the main window.
    virtual bool OnExec(const wxString& topic, const wxString& data);
    // Decodes a request (UTF-16 text, as a later instance sends it) and
    // hands it to OnExec.
    bool OnExecute(const wxString& topic, const void* data, std::size_t size, wxIPCFormat format);
};

#endif // VORN_APP_APPCONNECTION_H
