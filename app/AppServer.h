// The first instance's end of the activation channel: a Unix-domain socket
// that speaks the framework's IPC messages, but only the few a later
// instance sends (connect with a topic, execute, disconnect) and within hard
// limits, so that no bytes a peer sends can make the program allocate more
// than a few KiB, stall its window or end it.
#ifndef VORN_APP_APPSERVER_H
#define VORN_APP_APPSERVER_H

#include <wx/event.h>
#include <wx/timer.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class AppConnection;
class wxSocketBase;
class wxSocketEvent;
class wxSocketServer;

class AppServer : public wxEvtHandler
{
public:
    // Limits: the largest message, open conversations, and how long one may
    // last from its connection to its end.
    static constexpr std::size_t kMaxMessage = 4096;
    static constexpr std::size_t kMaxPeers = 8;
    static constexpr int kConversationMs = 3000;

    AppServer();
    ~AppServer() override;

    // Listens at `path`. A socket left there by an instance that is gone is
    // replaced; one on which an instance answers never is (false).
    bool Create(const wxString& path);
    // Whether an instance accepts connections at `path`.
    static bool Answering(const wxString& path);

    // Accepts the topic "only_one" in any case, unless a modal dialog is open.
    virtual AppConnection* OnAcceptConnection(const wxString& topic);

private:
    struct Peer
    {
        wxSocketBase* socket;
        std::int64_t deadline; // wxGetLocalTimeMillis
        std::string input;     // bytes not yet understood
        wxString topic;
        std::unique_ptr<AppConnection> connection; // once the topic is accepted
    };

    void OnSocket(wxSocketEvent& event);
    void OnTimer(wxTimerEvent& event);
    void Accept();
    void Read(Peer& peer);
    // Acts on the whole messages read so far; false when the conversation
    // is over (ended, refused or malformed).
    bool Understand(Peer& peer);
    void Drop(wxSocketBase* socket);

    wxSocketServer* m_listener = nullptr;
    wxString m_path;
    std::vector<std::unique_ptr<Peer>> m_peers;
    wxTimer m_timer;
};

#endif // VORN_APP_APPSERVER_H
