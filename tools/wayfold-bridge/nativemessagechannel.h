#pragma once

#include "tools/wayfold-bridge/nativemessagereader.h"

#include <QObject>

#include <functional>
#include <string>
#include <vector>

class QSocketNotifier;

// The native-messaging connection to the browser over two file descriptors (standard input
// and output for a real host). Incoming messages are read from the Qt event loop.
class CNativeMessageChannel : public QObject {
public:
    using MessageHandler = std::function<void(const std::string& json)>;
    using EndHandler = std::function<void()>;

    // Neither descriptor is closed by the channel. `onMessage` gets each complete message;
    // `onEnd` is called once, when the input ends or fails, or output can no longer be written.
    CNativeMessageChannel(int inputFd, int outputFd, MessageHandler onMessage, EndHandler onEnd);
    ~CNativeMessageChannel() override;

    // Starts reading (makes the input non-blocking).
    void Start();
    // Writes one message, blocking until it is written. False (and the end reported) when the
    // output is closed; false alone when the message is longer than the limit.
    bool Send(const std::string& json);

private:
    void ReadAvailable();
    void Deliver(const std::vector<std::string>& messages);
    void End();

    int m_inputFd;
    int m_outputFd;
    MessageHandler m_onMessage;
    EndHandler m_onEnd;
    CNativeMessageReader m_reader;
    QSocketNotifier* m_notifier = nullptr;
    bool m_ended = false;
};
