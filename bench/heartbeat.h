#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <functional>

// Ticks every millisecond on the window's thread and keeps the longest time between two ticks:
// how long the event loop stood still.
class CHeartbeat {
public:
    CHeartbeat();
    // Forgets the longest stand-still so far.
    void Restart();
    // The longest stand-still since Restart, up to now, in milliseconds.
    double LongestMs() const;
    long Ticks() const { return m_ticks; }

private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    long m_ticks = 0;
};

// Runs the event loop until `done` holds; false when `ms` passed first.
bool RunUntil(const std::function<bool()>& done, int ms = 300000);
// Runs the event loop for `ms`.
void RunFor(int ms);
