#pragma once

#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

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

// Starts an asynchronous call and runs the event loop until its result came (a failed
// expectation and T{} when it did not within 10 s).
template <typename T> T Await(const std::function<void(std::function<void(T)>)>& start) {
    std::optional<T> result;
    start([&result](T value) { result = std::move(value); });
    EXPECT_TRUE(WaitUntil([&] { return result.has_value(); }));
    return result.value_or(T{});
}

// Counts the turns of the event loop: a timer that ticks every 20 ms.
class CHeartbeat {
public:
    CHeartbeat() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { ++m_beats; });
        m_timer.start(20);
    }
    int Beats() const { return m_beats; }

private:
    QTimer m_timer;
    int m_beats = 0;
};

// A browser service played by a thread of its own, as another program would: it listens on
// `socketPath` and treats every conversation as its behaviour says. Stops, and removes the
// socket, with the object.
class CMisbehavingPeer {
public:
    enum class EBehaviour {
        kSilent,         // takes connections and never answers anything (a paused program)
        kHangs,          // accepts the conversation, then never answers
        kSlow,           // accepts at once, answers every request and poke after `delayMs`
        kClosesMidFrame, // accepts, then answers a request or poke with half a frame and closes
    };
    CMisbehavingPeer(const std::string& socketPath, EBehaviour behaviour, int delayMs = 3000);
    ~CMisbehavingPeer();
    CMisbehavingPeer(const CMisbehavingPeer&) = delete;
    CMisbehavingPeer& operator=(const CMisbehavingPeer&) = delete;

    // Connections taken so far, and the most that were open at one time.
    int Connections() const { return m_connections; }
    int MostOpenAtOnce() const { return m_mostOpen; }
    // "TOPIC ITEM" of every request and poke, in arrival order.
    std::vector<std::string> Asked() const;

private:
    void Run();

    std::string m_path;
    EBehaviour m_behaviour;
    int m_delayMs;
    int m_listener = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::atomic<int> m_mostOpen{0};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_asked;
    std::thread m_thread;
};

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
