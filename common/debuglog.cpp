#include "common/debuglog.h"

#include "model/errorreport.h"

#include <cstdio>
#include <memory>

namespace {
class CDebugLog {
public:
    CDebugLog() : m_file(std::fopen("debug.wfx", "a+")) {}
    ~CDebugLog() {
        if (m_file)
            std::fclose(m_file);
    }
    CDebugLog(const CDebugLog&) = delete;
    CDebugLog& operator=(const CDebugLog&) = delete;

    bool IsOpen() const { return m_file != nullptr; }
    void Toggle() { m_enabled = !m_enabled; }
    bool IsEnabled() const { return m_enabled; }

    void Write(const std::string& text) {
        std::fprintf(m_file, "[%d] %s\n", m_nextLine++, text.c_str());
        std::fflush(m_file);
    }

private:
    std::FILE* m_file;
    int m_nextLine = 1;
    bool m_enabled = false;
};

std::unique_ptr<CDebugLog>& TheLog() {
    static std::unique_ptr<CDebugLog> log;
    return log;
}
} // namespace

void ToggleDebugMode() {
    auto& log = TheLog();
    if (!log) {
        log = std::make_unique<CDebugLog>();
        if (!log->IsOpen())
            ShowFatalError("Debug mode on but can't open debug.wfx");
    }
    log->Toggle();
}

bool IsDebugMode() {
    return TheLog() && TheLog()->IsEnabled();
}

void DebugLog(const std::string& text) {
    if (IsDebugMode())
        TheLog()->Write(text);
}
