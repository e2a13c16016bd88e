#include "app/AppClient.h"

#include "app/IpcService.h"

#include <wx/ipcbase.h>

#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void AppendLength(std::string& out, std::uint32_t length)
{
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>(length >> (8 * i) & 0xFF);
    }
}

bool SendAll(int fd, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// The running instance's answer to the topic, or 0 when none came in time.
unsigned char Answer(int fd)
{
    pollfd wait = {fd, POLLIN, 0};
    unsigned char answer = 0;
    if (::poll(&wait, 1, AppClient::kAnswerMs) != 1 || ::recv(fd, &answer, 1, 0) != 1) {
        return 0;
    }
    return answer;
}

} // namespace

bool AppClient::SendActivation(const wxString& topic, wxString service)
{
    if (service.empty()) {
        service = ipc::ServicePath();
    }
    if (service.empty()) {
        return false; // no safe place to look for the first instance
    }
    const int fd = ipc::Connect(service);
    if (fd < 0) {
        return false;
    }
    bool accepted = false;
    const wxScopedCharBuffer name = topic.utf8_str();
    std::string connect(1, static_cast<char>(ipc::kConnect));
    AppendLength(connect, static_cast<std::uint32_t>(name.length()));
    connect.append(name.data(), name.length());
    if (SendAll(fd, connect) && Answer(fd) == ipc::kConnect) {
        accepted = true;
        // The empty text, NUL-terminated UTF-16, then the end.
        std::string execute(1, static_cast<char>(ipc::kExecute));
        execute += static_cast<char>(wxIPC_UTF16TEXT);
        AppendLength(execute, 2);
        execute.append(2, '\0');
        execute += static_cast<char>(ipc::kDisconnect);
        SendAll(fd, execute);
    }
    ::close(fd);
    return accepted;
}
