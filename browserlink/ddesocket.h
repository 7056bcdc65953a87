#pragma once

#include "browserlink/ddeframe.h"

#include <cstddef>
#include <string>

// One end of a conversation of the local DDE substitute: a non-blocking Unix stream socket
// with an input buffer that yields whole frames and an output buffer that drains as the peer
// reads. Plain POSIX; the owner decides when to read and write (event loop or poll).
class CDdeSocket {
public:
    // Takes ownership of the non-blocking socket descriptor.
    explicit CDdeSocket(int fd);
    ~CDdeSocket();
    CDdeSocket(const CDdeSocket&) = delete;
    CDdeSocket& operator=(const CDdeSocket&) = delete;

    // Connects a new non-blocking socket to `path`. Returns nullptr (errno set) when nobody
    // listens there or the path is too long.
    static CDdeSocket* ConnectTo(const std::string& path);

    int Fd() const { return m_fd; }

    // Reads what the peer has sent, at most about a megabyte per call so that one busy peer
    // cannot starve the others. Returns false when the peer has closed or the socket failed.
    bool ReadAvailable();

    // True when bytes read earlier still wait in the input buffer.
    bool HasBufferedInput() const { return m_inputUsed < m_input.size(); }
    // Takes the next whole frame out of the input buffer.
    DdeFrameStatus NextFrame(DdeFrame& frame);

    // Appends the encoded frame to the output buffer; false when it exceeds the frame limit.
    bool QueueFrame(const DdeFrame& frame);
    // Writes as much of the output buffer as the socket takes now. False on a write error.
    bool Flush();
    size_t PendingOutput() const { return m_output.size() - m_outputSent; }

private:
    int m_fd;
    std::string m_input;
    size_t m_inputUsed = 0;
    std::string m_output;
    size_t m_outputSent = 0;
};
