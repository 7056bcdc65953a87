#include "common/signalcloser.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
std::atomic<int> g_writeEnd{-1};

extern "C" void OnTerminationSignal(int signalNumber) {
    const int savedErrno = errno;
    const int fd = g_writeEnd.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        [[maybe_unused]] ssize_t written = write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

CSignalCloser::CSignalCloser(QObject* parent) : QObject(parent) {}

CSignalCloser::~CSignalCloser() {
    if (m_pipe[1] < 0)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kSignals)
        sigaction(signalNumber, &action, nullptr);
    g_writeEnd.store(-1);
    close(m_pipe[0]);
    close(m_pipe[1]);
}

bool CSignalCloser::Install() {
    if (g_writeEnd.load() >= 0 || m_pipe[0] >= 0)
        return false;
    if (pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_pipe[0] = m_pipe[1] = -1;
        return false;
    }
    g_writeEnd.store(m_pipe[1]);
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CSignalCloser::ReadPipe);

    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kSignals)
        sigaction(signalNumber, &action, nullptr);
    return true;
}

void CSignalCloser::ReadPipe() {
    unsigned char byte = 0;
    while (read(m_pipe[0], &byte, 1) == 1)
        emit TerminationRequested(byte);
}
