#include "tests/browserlink/ddetestsupport.h"

#include "browserlink/ddedirectory.h"
#include "browserlink/ddeframe.h"
#include "browserlink/ddeml.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
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

CMisbehavingPeer::CMisbehavingPeer(const std::string& socketPath, EBehaviour behaviour, int delayMs)
    : m_path(socketPath), m_behaviour(behaviour), m_delayMs(delayMs) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0)
        << socketPath;
    EXPECT_EQ(::listen(m_listener, 64), 0);
    m_thread = std::thread([this] { Run(); });
}

CMisbehavingPeer::~CMisbehavingPeer() {
    m_stop = true;
    m_thread.join();
    ::close(m_listener);
    ::unlink(m_path.c_str());
}

std::vector<std::string> CMisbehavingPeer::Asked() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_asked;
}

void CMisbehavingPeer::Run() {
    using Clock = std::chrono::steady_clock;
    struct Conversation {
        int fd;
        std::string input;
        std::string topic;
    };
    struct Answer {
        Clock::time_point due;
        int fd;
        std::string bytes;
    };
    std::vector<Conversation> open;
    std::vector<Answer> answers;
    const auto encoded = [](const DdeFrame& frame) {
        std::string bytes;
        EncodeDdeFrame(frame, bytes);
        return bytes;
    };
    const auto send = [](int fd, const std::string& bytes) {
        [[maybe_unused]] ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    };
    while (!m_stop) {
        std::vector<pollfd> fds = {{m_listener, POLLIN, 0}};
        for (const Conversation& conversation : open)
            fds.push_back({conversation.fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), 10);
        std::vector<int> closing;
        for (size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents == 0)
                continue;
            Conversation& conversation = open[i - 1];
            char buffer[4096];
            const ssize_t got = ::recv(conversation.fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                closing.push_back(conversation.fd);
                continue;
            }
            if (m_behaviour == EBehaviour::kSilent)
                continue;
            conversation.input.append(buffer, static_cast<size_t>(got));
            DdeFrame frame;
            size_t used = 0;
            while (DecodeDdeFrame(conversation.input.data(), conversation.input.size(), frame,
                                  used) == DdeFrameStatus::Complete) {
                conversation.input.erase(0, used);
                if (frame.kind == DdeFrameKind::Connect) {
                    conversation.topic = frame.topic;
                    DdeFrame yes;
                    yes.kind = DdeFrameKind::Connected;
                    yes.accepted = true;
                    send(conversation.fd, encoded(yes));
                    continue;
                }
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_asked.push_back(conversation.topic + " " + frame.item);
                }
                DdeFrame answer;
                answer.kind =
                    frame.kind == DdeFrameKind::Poke ? DdeFrameKind::Ack : DdeFrameKind::Data;
                answer.flags = DDE_FACK;
                answer.present = true;
                answer.format = CF_TEXT;
                answer.data = std::string("\1\0\0\0", 4);
                const std::string bytes = encoded(answer);
                if (m_behaviour == EBehaviour::kSlow) {
                    answers.push_back({Clock::now() + std::chrono::milliseconds(m_delayMs),
                                       conversation.fd, bytes});
                } else if (m_behaviour == EBehaviour::kClosesMidFrame) {
                    send(conversation.fd, bytes.substr(0, bytes.size() / 2));
                    closing.push_back(conversation.fd);
                    break;
                }
            }
        }
        for (auto it = answers.begin(); it != answers.end();) {
            if (Clock::now() < it->due) {
                ++it;
                continue;
            }
            if (std::find(closing.begin(), closing.end(), it->fd) == closing.end())
                send(it->fd, it->bytes);
            it = answers.erase(it);
        }
        for (int fd : closing) {
            ::close(fd);
            open.erase(std::remove_if(open.begin(), open.end(),
                                      [fd](const Conversation& c) { return c.fd == fd; }),
                       open.end());
            answers.erase(std::remove_if(answers.begin(), answers.end(),
                                         [fd](const Answer& a) { return a.fd == fd; }),
                          answers.end());
        }
        // Accepted after the closes, so a client that closes one conversation and opens the next
        // is never counted with two open.
        if (fds[0].revents & POLLIN) {
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                open.push_back({fd, {}, {}});
                ++m_connections;
                m_mostOpen = std::max<int>(m_mostOpen, static_cast<int>(open.size()));
            }
        }
    }
    for (const Conversation& conversation : open)
        ::close(conversation.fd);
}
