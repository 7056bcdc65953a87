#include "bench/heartbeat.h"

#include <QEventLoop>

#include <algorithm>

CHeartbeat::CHeartbeat() {
    m_clock.start();
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(1);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
        ++m_ticks;
    });
    m_timer.start();
}

void CHeartbeat::Restart() {
    m_last = m_clock.nsecsElapsed();
    m_longest = 0;
}

double CHeartbeat::LongestMs() const {
    return std::max(m_longest, m_clock.nsecsElapsed() - m_last) / 1e6;
}

bool RunUntil(const std::function<bool()>& done, int ms) {
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer elapsed;
    elapsed.start();
    bool result = done();
    QObject::connect(&poll, &QTimer::timeout, [&] {
        result = done();
        if (result || elapsed.elapsed() > ms)
            loop.quit();
    });
    poll.start(1);
    if (!result)
        loop.exec();
    return result;
}

void RunFor(int ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    RunUntil([&] { return elapsed.elapsed() >= ms; });
}
