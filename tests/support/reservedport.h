#pragma once

#include <string>

// A loopback port that refuses every connection for as long as the object lives: the port is
// bound but never listened on, so nothing else can take it meanwhile. Throws
// std::runtime_error when no port can be bound.
class CReservedPort {
public:
    CReservedPort();
    ~CReservedPort();
    CReservedPort(const CReservedPort&) = delete;
    CReservedPort& operator=(const CReservedPort&) = delete;

    int Port() const { return m_port; }
    // "http://127.0.0.1:port" followed by `path`.
    std::string Url(const std::string& path) const;

private:
    int m_fd = -1;
    int m_port = 0;
};
