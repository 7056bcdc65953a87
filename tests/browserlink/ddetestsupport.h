#pragma once

#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <string>

// Helpers for the browser link tests: a private socket directory per test, waiting with the
// event loop running, and a raw socket peer that speaks bytes instead of frames.

// Makes a private temporary folder (mode 0700) and points WAYFOLD_DDE_DIR at it until the
// object is destroyed.
class CPrivateDdeDir {
public:
    CPrivateDdeDir();
    ~CPrivateDdeDir();
    std::string Path() const;
    std::string SocketPath(const std::string& service) const;

private:
    QTemporaryDir m_dir;
};

// Runs the Qt event loop until `done` is true or `timeoutMs` has passed; returns `done()`.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// A blocking raw Unix-socket client.
class CRawPeer {
public:
    explicit CRawPeer(const std::string& path);
    ~CRawPeer();
    bool IsConnected() const { return m_fd >= 0; }
    bool Send(const std::string& bytes);
    // Reads until `count` bytes came, the peer closed or the time ran out; the Qt event loop
    // runs meanwhile so an in-process server can answer.
    std::string Receive(size_t count, int timeoutMs = 5000);
    // True when the peer has closed the connection (reads end of file) within the time.
    bool WaitForClose(int timeoutMs = 5000);

private:
    int m_fd = -1;
};

std::string Le32(uint32_t value);
// A frame with the given kind byte and body fields, length prefix included.
std::string RawFrame(char kind, const std::string& fields);
std::string RawString(const std::string& text);
