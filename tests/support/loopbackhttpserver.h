#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// What the server sends for one path.
struct CHttpResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers; // sent as given, in order
    std::string body; // Content-Length is added unless a header sets it or Transfer-Encoding
};

// One request as it arrived.
struct CRecordedRequest {
    std::string method;
    std::string target;        // as written in the request line
    std::string path;          // the target without scheme and authority, query kept
    bool absoluteForm = false; // "GET http://host/path": sent to this server as to a proxy
    std::map<std::string, std::string> headers; // names in lower case
    std::string peerAddress;                    // the client's IP address, e.g. "127.0.0.1"

    std::string Header(const std::string& lowerName) const;
};

// A small HTTP/1.1 server on a loopback address and a free port, for tests. Every connection
// gets its own thread and one response (then the connection is closed). Unregistered paths
// get 404. Thread-safe; the destructor stops the server and joins every thread.
class CLoopbackHttpServer {
public:
    // Listens on `address` (any 127.x.y.z) at a port the system picks. Throws
    // std::runtime_error when it cannot listen.
    explicit CLoopbackHttpServer(const std::string& address = "127.0.0.1");
    ~CLoopbackHttpServer();
    CLoopbackHttpServer(const CLoopbackHttpServer&) = delete;
    CLoopbackHttpServer& operator=(const CLoopbackHttpServer&) = delete;

    int Port() const { return m_port; }
    // "http://address:port" followed by `path`.
    std::string Url(const std::string& path) const;

    void Serve(const std::string& path, CHttpResponse response);
    void ServeText(const std::string& path, std::string body); // 200, text/html
    void Redirect(const std::string& path, const std::string& location, int status = 302);
    // Reads the request for `path`, records it, and never answers it.
    void NeverAnswer(const std::string& path);
    // Reads the request for `path`, records it, and closes the connection without an answer,
    // so a browser shows its error page.
    void CloseUnanswered(const std::string& path);
    // From now on accepts connections but never reads from or writes to them.
    void SetSilent(bool silent);

    std::vector<CRecordedRequest> Requests() const;
    std::vector<CRecordedRequest> RequestsFor(const std::string& path) const;

    // Stops accepting, releases held connections and joins every thread. Idempotent.
    void Stop();

private:
    struct CRoute {
        CHttpResponse response;
        bool neverAnswer = false;
        bool closeUnanswered = false;
    };

    void AcceptLoop();
    void HandleConnection(int fd);
    void HoldUntilStopped();
    void ForgetConnection(int fd);

    std::string m_address;
    int m_port = 0;
    int m_listenFd = -1;
    int m_wakePipe[2] = {-1, -1};
    std::thread m_acceptThread;

    mutable std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stopping = false;
    bool m_silent = false;
    std::map<std::string, CRoute> m_routes;
    std::vector<CRecordedRequest> m_requests;
    std::vector<int> m_openConnections;
    std::vector<std::thread> m_connectionThreads;
};
