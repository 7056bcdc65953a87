#include "tools/wayfold-bridge/nativemessagechannel.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

CNativeMessageChannel::CNativeMessageChannel(int inputFd, int outputFd, MessageHandler onMessage,
                                             EndHandler onEnd)
    : m_inputFd(inputFd), m_outputFd(outputFd), m_onMessage(std::move(onMessage)),
      m_onEnd(std::move(onEnd)) {}

CNativeMessageChannel::~CNativeMessageChannel() = default;

void CNativeMessageChannel::Start() {
    const int flags = ::fcntl(m_inputFd, F_GETFL);
    if (flags >= 0)
        ::fcntl(m_inputFd, F_SETFL, flags | O_NONBLOCK);
    m_notifier = new QSocketNotifier(m_inputFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { ReadAvailable(); });
    // Bytes may already be waiting.
    ReadAvailable();
}

void CNativeMessageChannel::ReadAvailable() {
    char buffer[65536];
    while (!m_ended) {
        const ssize_t n = ::read(m_inputFd, buffer, sizeof buffer);
        if (n > 0) {
            const int skippedBefore = m_reader.SkippedCount();
            const std::vector<std::string> messages = m_reader.Feed(buffer, static_cast<size_t>(n));
            if (m_reader.SkippedCount() != skippedBefore)
                std::fprintf(stderr,
                             "wayfold-bridge: a message from the browser is longer than %u "
                             "bytes and is skipped\n",
                             kMaxNativeMessageBytes);
            Deliver(messages);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n == 0 && m_reader.InsideMessage())
            std::fprintf(stderr, "wayfold-bridge: the browser's input ended inside a message\n");
        End();
    }
}

void CNativeMessageChannel::Deliver(const std::vector<std::string>& messages) {
    // A handler may wait for DDE replies with the event loop running; input read meanwhile
    // would overtake the messages still to be handled here.
    m_notifier->setEnabled(false);
    for (const std::string& message : messages) {
        if (m_ended)
            return;
        m_onMessage(message);
    }
    if (!m_ended)
        m_notifier->setEnabled(true);
}

bool CNativeMessageChannel::Send(const std::string& json) {
    if (m_ended)
        return false;
    const std::optional<std::string> frame = EncodeNativeMessage(json);
    if (!frame) {
        std::fprintf(stderr,
                     "wayfold-bridge: a message to the browser is too long and is dropped\n");
        return false;
    }
    size_t written = 0;
    while (written < frame->size()) {
        const ssize_t n = ::write(m_outputFd, frame->data() + written, frame->size() - written);
        if (n > 0) {
            written += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd out{m_outputFd, POLLOUT, 0};
            ::poll(&out, 1, 1000);
        } else {
            std::fprintf(stderr, "wayfold-bridge: the browser no longer reads messages\n");
            End();
            return false;
        }
    }
    return true;
}

void CNativeMessageChannel::End() {
    if (m_ended)
        return;
    m_ended = true;
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (m_onEnd)
        m_onEnd();
}
