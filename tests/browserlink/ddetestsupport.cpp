#include "tests/browserlink/ddetestsupport.h"

#include "browserlink/ddedirectory.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

CPrivateDdeDir::CPrivateDdeDir() {
    setenv("WAYFOLD_DDE_DIR", m_dir.path().toUtf8().constData(), 1);
}

CPrivateDdeDir::~CPrivateDdeDir() {
    unsetenv("WAYFOLD_DDE_DIR");
}

std::string CPrivateDdeDir::Path() const {
    return m_dir.path().toStdString();
}

std::string CPrivateDdeDir::SocketPath(const std::string& service) const {
    return DdeSocketPath(Path(), service);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

CRawPeer::CRawPeer(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

CRawPeer::~CRawPeer() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CRawPeer::Send(const std::string& bytes) {
    size_t sent = 0;
    QElapsedTimer timer;
    timer.start();
    while (sent < bytes.size() && timer.elapsed() < 10000) {
        const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0)
            sent += static_cast<size_t>(n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        else
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return sent == bytes.size();
}

std::string CRawPeer::Receive(size_t count, int timeoutMs) {
    std::string got;
    WaitUntil(
        [&] {
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, std::min(sizeof buffer, count - got.size()), 0);
            if (n > 0)
                got.append(buffer, static_cast<size_t>(n));
            return got.size() >= count || n == 0;
        },
        timeoutMs);
    return got;
}

bool CRawPeer::WaitForClose(int timeoutMs) {
    return WaitUntil(
        [&] {
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            return n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
        },
        timeoutMs);
}

std::string Le32(uint32_t value) {
    std::string out;
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

std::string RawString(const std::string& text) {
    return Le32(static_cast<uint32_t>(text.size())) + text;
}

std::string RawFrame(char kind, const std::string& fields) {
    return Le32(static_cast<uint32_t>(fields.size() + 1)) + kind + fields;
}
