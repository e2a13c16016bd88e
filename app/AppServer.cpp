#include "app/AppServer.h"

#include "app/AppConnection.h"
#include "app/IpcService.h"
#include "ui/ModalDialog.h"

#include <wx/ipcbase.h>
#include <wx/socket.h>
#include <wx/time.h>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxTopic = 256;

// How much of a message has come: after its `header` bytes stand a 32-bit
// length, little-endian as the framework writes it, and that many bytes.
enum class Arrival
{
    Partial, // more is to come
    TooLong, // beyond its limit, or not a message of the conversation
    Whole,
};

Arrival Message(const std::string& in, std::size_t at, std::size_t header, std::size_t limit,
                std::uint32_t& length)
{
    if (in.size() < at + header + 4) {
        return Arrival::Partial;
    }
    length = 0;
    for (std::size_t i = 4; i-- > 0;) {
        length = length << 8 | static_cast<unsigned char>(in[at + header + i]);
    }
    if (length > limit) {
        return Arrival::TooLong;
    }
    return in.size() < at + header + 4 + length ? Arrival::Partial : Arrival::Whole;
}

} // namespace

AppServer::AppServer() : m_timer(this)
{
    Bind(wxEVT_SOCKET, &AppServer::OnSocket, this);
    Bind(wxEVT_TIMER, &AppServer::OnTimer, this);
}

AppServer::~AppServer()
{
    m_timer.Stop();
    for (const std::unique_ptr<Peer>& peer : m_peers) {
        peer->socket->Notify(false);
        peer->socket->Destroy();
    }
    m_peers.clear();
    if (m_listener != nullptr) {
        m_listener->Notify(false);
        m_listener->Destroy();
        ::unlink(m_path.fn_str());
    }
}

bool AppServer::Answering(const wxString& path)
{
    const int fd = ipc::Connect(path);
    if (fd < 0) {
        return errno == EAGAIN; // alive, with its queue full
    }
    ::close(fd);
    return true;
}

bool AppServer::Create(const wxString& path)
{
    if (m_listener != nullptr || Answering(path)) {
        return false;
    }
    // Nobody answers: whatever is left there belongs to an instance that is gone.
    ::unlink(path.fn_str());
    wxUNIXaddress address;
    address.Filename(path);
    const mode_t mask = ::umask(077);
    m_listener = new wxSocketServer(address, wxSOCKET_NOWAIT);
    ::umask(mask);
    if (!m_listener->IsOk()) {
        m_listener->Destroy();
        m_listener = nullptr;
        return false;
    }
    m_path = path;
    m_listener->SetEventHandler(*this);
    m_listener->SetNotify(wxSOCKET_CONNECTION_FLAG);
    m_listener->Notify(true);
    return true;
}

AppConnection* AppServer::OnAcceptConnection(const wxString& topic)
{
    wxString lower(topic);
    if (lower.MakeLower() != ipc::kTopic) {
        return nullptr;
    }
    if (FindOpenModalDialog() != nullptr) {
        return nullptr; // e.g. the About dialog: no activation behind it
    }
    return new AppConnection;
}

void AppServer::OnSocket(wxSocketEvent& event)
{
    wxSocketBase* socket = event.GetSocket();
    if (socket == m_listener) {
        Accept();
        return;
    }
    auto found =
        std::find_if(m_peers.begin(), m_peers.end(),
                     [socket](const std::unique_ptr<Peer>& p) { return p->socket == socket; });
    if (found == m_peers.end()) {
        return;
    }
    if (event.GetSocketEvent() == wxSOCKET_LOST) {
        Drop(socket);
        return;
    }
    Read(**found);
}

void AppServer::Accept()
{
    while (wxSocketBase* socket = m_listener->Accept(false)) {
        if (m_peers.size() >= kMaxPeers) {
            socket->Destroy(); // closes it: a flood waits for nothing
            continue;
        }
        socket->SetFlags(wxSOCKET_NOWAIT);
        socket->SetEventHandler(*this);
        socket->SetNotify(wxSOCKET_INPUT_FLAG | wxSOCKET_LOST_FLAG);
        socket->Notify(true);
        auto peer = std::make_unique<Peer>();
        peer->socket = socket;
        peer->deadline = wxGetLocalTimeMillis().GetValue() + kConversationMs;
        m_peers.push_back(std::move(peer));
    }
    if (!m_peers.empty() && !m_timer.IsRunning()) {
        m_timer.Start(kConversationMs / 4);
    }
}

void AppServer::Read(Peer& peer)
{
    wxSocketBase* socket = peer.socket;
    char buffer[1024];
    for (;;) {
        // A message and the header of the next: more is never needed.
        const std::size_t room = kMaxMessage + 16 - std::min(peer.input.size(), kMaxMessage + 16);
        if (room == 0) {
            Drop(socket);
            return;
        }
        socket->Read(buffer, static_cast<wxUint32>(std::min(room, sizeof buffer)));
        const std::size_t read = socket->LastReadCount();
        if (read == 0) {
            break;
        }
        peer.input.append(buffer, read);
        if (!Understand(peer)) {
            Drop(socket);
            return;
        }
    }
    if (socket->Error() && socket->LastError() != wxSOCKET_WOULDBLOCK) {
        Drop(socket);
    }
}

bool AppServer::Understand(Peer& peer)
{
    const std::string& in = peer.input;
    std::size_t used = 0;
    while (used < in.size()) {
        const unsigned char code = static_cast<unsigned char>(in[used]);
        std::uint32_t length = 0;
        if (!peer.connection) {
            // The first message names the topic, and nothing else may come first.
            const Arrival arrival =
                code == ipc::kConnect ? Message(in, used, 1, kMaxTopic, length) : Arrival::TooLong;
            if (arrival == Arrival::TooLong) {
                return false;
            }
            if (arrival == Arrival::Partial) {
                break;
            }
            peer.topic = wxString::FromUTF8(in.data() + used + 5, length);
            used += 5 + length;
            AppConnection* connection = OnAcceptConnection(peer.topic);
            const unsigned char reply = connection != nullptr ? ipc::kConnect : ipc::kFail;
            peer.socket->Write(&reply, 1);
            if (connection == nullptr) {
                return false;
            }
            peer.connection.reset(connection);
        } else if (code == ipc::kExecute) {
            const Arrival arrival = Message(in, used, 2, kMaxMessage, length);
            if (arrival == Arrival::TooLong) {
                return false;
            }
            if (arrival == Arrival::Partial) {
                break;
            }
            const auto format = static_cast<wxIPCFormat>(static_cast<unsigned char>(in[used + 1]));
            peer.connection->OnExecute(peer.topic, in.data() + used + 6, length, format);
            used += 6 + length;
        } else {
            return false; // the end (ipc::kDisconnect), or nothing a later instance says
        }
    }
    peer.input.erase(0, used);
    return true;
}

void AppServer::OnTimer(wxTimerEvent&)
{
    const std::int64_t now = wxGetLocalTimeMillis().GetValue();
    std::vector<wxSocketBase*> late;
    for (const std::unique_ptr<Peer>& peer : m_peers) {
        if (peer->deadline <= now) {
            late.push_back(peer->socket);
        }
    }
    for (wxSocketBase* socket : late) {
        Drop(socket);
    }
    if (m_peers.empty()) {
        m_timer.Stop();
    }
}

void AppServer::Drop(wxSocketBase* socket)
{
    auto found =
        std::find_if(m_peers.begin(), m_peers.end(),
                     [socket](const std::unique_ptr<Peer>& p) { return p->socket == socket; });
    if (found != m_peers.end()) {
        socket->Notify(false);
        socket->Destroy();
        m_peers.erase(found);
    }
}
