#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the user-interface thread, so the main
// window can close the way the user would close it (settings and data files written). The
// handler only writes the signal number into a pipe; the notifier reads it in the event loop.
// One instance per process; the handlers stay installed until it is destroyed.
class CSignalCloser : public QObject {
    Q_OBJECT
public:
    explicit CSignalCloser(QObject* parent = nullptr);
    ~CSignalCloser() override;

    // False (and nothing installed) when the pipe cannot be made or another instance exists.
    bool Install();

signals:
    void TerminationRequested(int signalNumber);

private:
    void ReadPipe();

    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};
