#include "shell/historyreadtask.h"

#include <QMetaObject>

CHistoryReadTask::CHistoryReadTask(QObject* parent) : QObject(parent) {
    m_thread = std::thread([this] { Run(); });
}

CHistoryReadTask::~CHistoryReadTask() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
        m_requests.clear();
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void CHistoryReadTask::Read(std::string file, CHistoryQuery query, Done done) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back({std::move(file), query, std::move(done), m_generation});
    }
    m_wake.notify_all();
}

void CHistoryReadTask::CancelAll() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
    ++m_generation;
    if (m_reading)
        m_stop = true;
}

bool CHistoryReadTask::IsBusy() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reading || !m_requests.empty();
}

void CHistoryReadTask::Run() {
    for (;;) {
        CRequest request;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || !m_requests.empty(); });
            if (m_quit)
                return;
            request = std::move(m_requests.front());
            m_requests.pop_front();
            m_reading = true;
            m_stop = false;
        }
        CHistoryReadResult result = ReadHistory(request.file, request.query, &m_stop);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reading = false;
        if (m_quit || request.generation != m_generation)
            continue;
        // The destructor joins this thread before the object goes, so `this` is alive here;
        // a call still queued when it goes is dropped with it.
        QMetaObject::invokeMethod(
            this,
            [this, generation = request.generation, done = std::move(request.done),
             result = std::move(result)]() mutable {
                bool current;
                {
                    std::lock_guard<std::mutex> guard(m_mutex);
                    current = generation == m_generation;
                }
                if (current && done)
                    done(std::move(result));
            },
            Qt::QueuedConnection);
    }
}
