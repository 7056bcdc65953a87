#include "browserlink/ddesocket.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
constexpr size_t kReadChunk = 64 * 1024;
constexpr size_t kReadPerCall = 1024 * 1024;
} // namespace

CDdeSocket::CDdeSocket(int fd) : m_fd(fd) {}

CDdeSocket::~CDdeSocket() {
    if (m_fd >= 0)
        ::close(m_fd);
}

CDdeSocket* CDdeSocket::ConnectTo(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    return new CDdeSocket(fd);
}

bool CDdeSocket::ReadAvailable() {
    if (m_inputUsed > 0 && m_inputUsed * 2 >= m_input.size()) {
        m_input.erase(0, m_inputUsed);
        m_inputUsed = 0;
    }
    size_t total = 0;
    char chunk[kReadChunk];
    while (total < kReadPerCall) {
        const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (got > 0) {
            m_input.append(chunk, static_cast<size_t>(got));
            total += static_cast<size_t>(got);
            continue;
        }
        if (got == 0)
            return false;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    return true;
}

DdeFrameStatus CDdeSocket::NextFrame(DdeFrame& frame) {
    size_t consumed = 0;
    const DdeFrameStatus status =
        DecodeDdeFrame(m_input.data() + m_inputUsed, m_input.size() - m_inputUsed, frame, consumed);
    if (status == DdeFrameStatus::Complete)
        m_inputUsed += consumed;
    return status;
}

bool CDdeSocket::QueueFrame(const DdeFrame& frame) {
    std::string bytes;
    if (!EncodeDdeFrame(frame, bytes))
        return false;
    if (m_outputSent == m_output.size()) {
        m_output.clear();
        m_outputSent = 0;
    }
    m_output += bytes;
    return true;
}

bool CDdeSocket::Flush() {
    while (m_outputSent < m_output.size()) {
        const ssize_t sent = ::send(m_fd, m_output.data() + m_outputSent,
                                    m_output.size() - m_outputSent, MSG_NOSIGNAL);
        if (sent > 0) {
            m_outputSent += static_cast<size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        return sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    m_output.clear();
    m_outputSent = 0;
    return true;
}
