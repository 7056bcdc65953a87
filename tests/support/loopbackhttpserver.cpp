#include "tests/support/loopbackhttpserver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <stdexcept>

namespace {

constexpr std::size_t kMaxRequestHead = 64 * 1024;

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

const char* ReasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

bool SendAll(int fd, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads up to the blank line that ends the request head; empty when the peer gave up first.
std::string ReadRequestHead(int fd) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxRequestHead) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        head.append(buffer, static_cast<std::size_t>(n));
    }
    return head;
}

std::string PathOfTarget(const std::string& target, bool& absoluteForm) {
    const std::size_t schemeEnd = target.find("://");
    absoluteForm = target.front() != '/' && schemeEnd != std::string::npos;
    if (!absoluteForm)
        return target;
    const std::size_t pathStart = target.find('/', schemeEnd + 3);
    return pathStart == std::string::npos ? "/" : target.substr(pathStart);
}

CRecordedRequest ParseRequestHead(const std::string& head) {
    CRecordedRequest request;
    std::size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const std::size_t firstSpace = requestLine.find(' ');
    const std::size_t secondSpace = requestLine.find(' ', firstSpace + 1);
    if (firstSpace == std::string::npos || secondSpace == std::string::npos)
        return request;
    request.method = requestLine.substr(0, firstSpace);
    request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    if (request.target.empty())
        return request;
    request.path = PathOfTarget(request.target, request.absoluteForm);
    std::size_t pos = lineEnd + 2;
    while ((lineEnd = head.find("\r\n", pos)) != std::string::npos && lineEnd > pos) {
        const std::string line = head.substr(pos, lineEnd - pos);
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos)
            request.headers[Lower(line.substr(0, colon))] = Trim(line.substr(colon + 1));
        pos = lineEnd + 2;
    }
    return request;
}

std::string PeerAddress(int fd) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    char text[INET_ADDRSTRLEN] = {};
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text) == nullptr)
        return {};
    return text;
}

std::string FormatResponse(const CHttpResponse& response) {
    std::string text = "HTTP/1.1 " + std::to_string(response.status) + " " +
                       ReasonPhrase(response.status) + "\r\n";
    bool hasLength = false;
    for (const auto& [name, value] : response.headers) {
        const std::string lower = Lower(name);
        hasLength = hasLength || lower == "content-length" || lower == "transfer-encoding";
        text += name + ": " + value + "\r\n";
    }
    if (!hasLength)
        text += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    text += "Connection: close\r\n\r\n";
    return text;
}

} // namespace

std::string CRecordedRequest::Header(const std::string& lowerName) const {
    const auto found = headers.find(lowerName);
    return found == headers.end() ? std::string() : found->second;
}

CLoopbackHttpServer::CLoopbackHttpServer(const std::string& address) : m_address(address) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = 0;
    if (::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1)
        throw std::runtime_error("not an IPv4 address: " + address);
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    socklen_t length = sizeof local;
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&local), length) != 0 ||
        ::listen(m_listenFd, 64) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        ::pipe2(m_wakePipe, O_CLOEXEC) != 0) {
        if (m_listenFd >= 0)
            ::close(m_listenFd);
        throw std::runtime_error("cannot listen on " + address);
    }
    m_port = ntohs(local.sin_port);
    m_acceptThread = std::thread([this] { AcceptLoop(); });
}

CLoopbackHttpServer::~CLoopbackHttpServer() {
    Stop();
}

std::string CLoopbackHttpServer::Url(const std::string& path) const {
    return "http://" + m_address + ":" + std::to_string(m_port) + path;
}

void CLoopbackHttpServer::Serve(const std::string& path, CHttpResponse response) {
    const std::lock_guard lock(m_mutex);
    m_routes[path] = CRoute{std::move(response), false};
}

void CLoopbackHttpServer::ServeText(const std::string& path, std::string body) {
    Serve(path, CHttpResponse{200, {{"Content-Type", "text/html"}}, std::move(body)});
}

void CLoopbackHttpServer::Redirect(const std::string& path, const std::string& location,
                                   int status) {
    Serve(path, CHttpResponse{status, {{"Location", location}}, "moved"});
}

void CLoopbackHttpServer::NeverAnswer(const std::string& path) {
    const std::lock_guard lock(m_mutex);
    m_routes[path] = CRoute{{}, true};
}

void CLoopbackHttpServer::CloseUnanswered(const std::string& path) {
    const std::lock_guard lock(m_mutex);
    m_routes[path] = CRoute{{}, false, true};
}

void CLoopbackHttpServer::SetSilent(bool silent) {
    const std::lock_guard lock(m_mutex);
    m_silent = silent;
}

std::vector<CRecordedRequest> CLoopbackHttpServer::Requests() const {
    const std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<CRecordedRequest> CLoopbackHttpServer::RequestsFor(const std::string& path) const {
    std::vector<CRecordedRequest> matching;
    for (const CRecordedRequest& request : Requests()) {
        if (request.path == path)
            matching.push_back(request);
    }
    return matching;
}

void CLoopbackHttpServer::Stop() {
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_stopping = true;
        for (int fd : m_openConnections)
            ::shutdown(fd, SHUT_RDWR);
    }
    m_stopped.notify_all();
    const char wake = 'x';
    [[maybe_unused]] const ssize_t written = ::write(m_wakePipe[1], &wake, 1);
    m_acceptThread.join();
    std::vector<std::thread> threads;
    {
        const std::lock_guard lock(m_mutex);
        threads.swap(m_connectionThreads);
    }
    for (std::thread& thread : threads)
        thread.join();
    ::close(m_listenFd);
    ::close(m_wakePipe[0]);
    ::close(m_wakePipe[1]);
}

void CLoopbackHttpServer::AcceptLoop() {
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents != 0)
            return;
        if ((fds[0].revents & POLLIN) == 0)
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const std::lock_guard lock(m_mutex);
        if (m_stopping) {
            ::close(fd);
            return;
        }
        m_openConnections.push_back(fd);
        m_connectionThreads.emplace_back([this, fd] { HandleConnection(fd); });
    }
}

void CLoopbackHttpServer::HandleConnection(int fd) {
    bool silent;
    {
        const std::lock_guard lock(m_mutex);
        silent = m_silent;
    }
    if (silent) {
        HoldUntilStopped();
        ForgetConnection(fd);
        return;
    }
    const std::string head = ReadRequestHead(fd);
    CRecordedRequest request = ParseRequestHead(head);
    if (request.method.empty()) {
        ForgetConnection(fd);
        return;
    }
    request.peerAddress = PeerAddress(fd);
    CRoute route{CHttpResponse{404, {{"Content-Type", "text/plain"}}, "not found"}, false};
    {
        const std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
        const auto found = m_routes.find(request.path);
        if (found != m_routes.end())
            route = found->second;
    }
    if (route.neverAnswer) {
        HoldUntilStopped();
    } else if (route.closeUnanswered) {
        // Nothing is sent; ForgetConnection closes it.
    } else if (SendAll(fd, FormatResponse(route.response))) {
        SendAll(fd, route.response.body);
        ::shutdown(fd, SHUT_WR);
    }
    ForgetConnection(fd);
}

void CLoopbackHttpServer::HoldUntilStopped() {
    std::unique_lock lock(m_mutex);
    m_stopped.wait(lock, [this] { return m_stopping; });
}

void CLoopbackHttpServer::ForgetConnection(int fd) {
    {
        const std::lock_guard lock(m_mutex);
        m_openConnections.erase(std::remove(m_openConnections.begin(), m_openConnections.end(), fd),
                                m_openConnections.end());
    }
    ::close(fd);
}
