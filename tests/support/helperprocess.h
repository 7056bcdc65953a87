#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// An external server program (a proxy, say) that a test starts on a loopback port and stops
// again. Only the process started here is ever signalled, by its own id.
class CHelperProcess {
public:
    CHelperProcess() = default;
    ~CHelperProcess(); // stops the program if it still runs
    CHelperProcess(const CHelperProcess&) = delete;
    CHelperProcess& operator=(const CHelperProcess&) = delete;

    // True when `program` is found in PATH and is executable.
    static bool IsInstalled(const std::string& program);
    // A TCP port on 127.0.0.1 that was free a moment ago; 0 when none could be had.
    static int FreePort();

    // Runs `program` with `arguments` (no shell), its output going to `logFile`, and waits up
    // to five seconds until 127.0.0.1:`port` accepts connections. False (and the program
    // stopped) when it did not start or never listened.
    bool Start(const std::string& program, const std::vector<std::string>& arguments, int port,
               const std::string& logFile);
    // Ends the program (SIGTERM, then SIGKILL after two seconds) and reaps it. Idempotent.
    void Stop();

    bool IsRunning() const { return m_pid > 0; }
    int Port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};
