#pragma once

#include "history/historyreader.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// Reads browser histories (copy and query, which take time that grows with the history) on a
// thread of its own, one request after the other, and hands each result back on the
// user-interface thread.
class CHistoryReadTask : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(CHistoryReadResult result)>;

    explicit CHistoryReadTask(QObject* parent = nullptr);
    // Stops the read under way, drops the others and waits for the thread: no `done` is called
    // afterwards.
    ~CHistoryReadTask() override;

    // Queues a read of `file`; `done` is called on this object's thread with the result.
    void Read(std::string file, CHistoryQuery query, Done done);
    // Drops the queued reads and stops the one under way; their `done` is not called.
    void CancelAll();
    bool IsBusy() const;

private:
    struct CRequest {
        std::string file;
        CHistoryQuery query;
        Done done;
        unsigned generation = 0;
    };

    void Run();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<CRequest> m_requests;
    bool m_reading = false;
    bool m_quit = false;
    unsigned m_generation = 0; // raised by CancelAll: results of older requests are dropped
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
