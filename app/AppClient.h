// A later instance's end of the activation channel.
#ifndef VORN_APP_APPCLIENT_H
#define VORN_APP_APPCLIENT_H

#include <wx/string.h>

class AppClient
{
public:
    // How long a later instance waits for the running one's answer.
    static constexpr int kAnswerMs = 2000;

    // Sends the activation request (the empty UTF-16 text) on `topic` to the
    // first instance, at `service` or else at this user's own socket; returns
    // whether it accepted the conversation.
    static bool SendActivation(const wxString& topic, wxString service = wxString());
};

#endif // VORN_APP_APPCLIENT_H
