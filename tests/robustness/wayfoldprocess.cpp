#include "tests/robustness/wayfoldprocess.h"

#include "browserlink/ddedirectory.h"
#include "tests/browserlink/ddetestsupport.h"

#include <QFile>
#include <QSettings>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

CWayfoldProcess::CWayfoldProcess(const std::string& ddeDir) : m_ddeDir(ddeDir) {
    for (const char* folder : {"home", "data", "runtime"})
        fs::create_directories(m_root.File(folder));
    fs::permissions(m_root.File("runtime"), fs::perms::owner_all, fs::perm_options::replace);
    QSettings store(QString::fromStdString(m_root.File("home") + "/.config/Quellon/Wayfold.conf"),
                    QSettings::IniFormat);
    store.setValue("Wayfold/Active Mode", 1);
    store.setValue("Wayfold/Rank Cats", 0);
    store.sync();
    std::ofstream(Data() + "/license.txt") << "Test license\n";
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

CWayfoldProcess::~CWayfoldProcess() {
    Stop(10000);
}

QProcessEnvironment CWayfoldProcess::Environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString home = QString::fromStdString(m_root.File("home"));
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("XDG_CACHE_HOME", home + "/.cache");
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(m_root.File("runtime")));
    env.insert("WAYFOLD_DDE_DIR", QString::fromStdString(m_ddeDir));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    return env;
}

bool CWayfoldProcess::Start(int timeoutMs) {
    m_process.setProcessEnvironment(Environment());
    m_process.setWorkingDirectory(QString::fromStdString(Data()));
    m_process.start(QStringLiteral(WAYFOLD_BINARY_DIR "/app/wayfold"), {});
    if (!m_process.waitForStarted(10000))
        return false;
    return WaitUntil(
               [this] {
                   for (const char* service : {"TARN1", "TARN2", "TARN3", "TARN4"})
                       if (!fs::exists(DdeSocketPath(m_ddeDir, service)))
                           return !IsRunning();
                   return true;
               },
               timeoutMs) &&
           IsRunning();
}

bool CWayfoldProcess::Stop(int graceMs) {
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    m_process.terminate();
    if (WaitUntil([this] { return m_process.state() == QProcess::NotRunning; }, graceMs))
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    m_process.kill();
    m_process.waitForFinished(5000);
    return false;
}

bool CWayfoldProcess::IsRunning() const {
    return m_process.state() != QProcess::NotRunning;
}

qint64 CWayfoldProcess::Pid() const {
    return m_process.processId();
}

std::string CWayfoldProcess::Output() {
    m_output += m_process.readAll().toStdString();
    return m_output;
}

std::string CWayfoldProcess::DumpUrls() const {
    QProcess dump;
    dump.start(QStringLiteral(WAYFOLD_BINARY_DIR "/tools/wayfold-dump"),
               {QString::fromStdString(Data() + "/urls.wfx")});
    if (!dump.waitForFinished(60000) || dump.exitCode() != 0)
        return {};
    return dump.readAllStandardOutput().toStdString();
}

long CWayfoldProcess::ResidentKb() const {
    std::ifstream status("/proc/" + std::to_string(Pid()) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

namespace {
int CountEntries(const std::string& folder) {
    std::error_code error;
    int count = 0;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        ++count;
    return error ? -1 : count;
}
} // namespace

int CWayfoldProcess::ThreadCount() const {
    return CountEntries("/proc/" + std::to_string(Pid()) + "/task");
}

int CWayfoldProcess::DescriptorCount() const {
    return CountEntries("/proc/" + std::to_string(Pid()) + "/fd");
}
