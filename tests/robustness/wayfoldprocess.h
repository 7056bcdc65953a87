#pragma once

#include "tests/support/tempdir.h"

#include <QProcess>

#include <string>

// The real `wayfold` program, started offscreen for a test with everything private: its own
// HOME, XDG folders and settings (Active Mode on, the rankings dialog off, so nothing waits for
// a person), its data files in Data(), and the DDE sockets in the folder given. Stopped by its
// own process id (SIGTERM, then SIGKILL) when the object goes.
class CWayfoldProcess {
public:
    // `ddeDir` is the WAYFOLD_DDE_DIR the program gets.
    explicit CWayfoldProcess(const std::string& ddeDir);
    ~CWayfoldProcess();
    CWayfoldProcess(const CWayfoldProcess&) = delete;
    CWayfoldProcess& operator=(const CWayfoldProcess&) = delete;

    // Starts the program and waits until it serves its four TARN services. False (with the
    // program's output in Output()) when it did not come up within timeoutMs.
    bool Start(int timeoutMs = 30000);
    // SIGTERM, as a session ending would send; true when it ended by itself with exit code 0
    // within graceMs (data files written), false after a SIGKILL.
    bool Stop(int graceMs = 30000);
    bool IsRunning() const;

    qint64 Pid() const;
    std::string Output();
    // The folder holding urls.wfx and the other data files (the program's Home).
    std::string Data() const { return m_root.File("data"); }
    // The environment the program runs with, for other programs of the test (wayfold-browser).
    QProcessEnvironment Environment() const;

    // urls.wfx as the built wayfold-dump prints it (JSON); empty when it cannot be read.
    std::string DumpUrls() const;

    // From /proc: resident memory in KiB, threads, open file descriptors; -1 when unknown.
    long ResidentKb() const;
    int ThreadCount() const;
    int DescriptorCount() const;

private:
    CTempDir m_root;
    std::string m_ddeDir;
    QProcess m_process;
    std::string m_output;
};
