#include "tools/wayfold-browser/standinbrowser.h"

#include "browserlink/browserurlrules.h"
#include "browserlink/ddeitemtext.h"
#include "browserlink/pokeurlecho.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <strings.h>

namespace {

constexpr uint32_t kEchoTimeoutMs = 60000;
constexpr uint32_t kCurrentWindow = 0xFFFFFFFF;

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

void Say(const std::string& text) {
    std::fprintf(stderr, "wayfold-browser: %s\n", text.c_str());
    std::fflush(stderr);
}

} // namespace

CStandInBrowser::CStandInBrowser(std::string service, bool echo, int waitMs)
    : m_service(std::move(service)), m_echo(echo), m_waitTimer(new QTimer(this)) {
    m_waitTimer->setSingleShot(true);
    m_waitTimer->setInterval(std::max(0, waitMs));
    connect(m_waitTimer, &QTimer::timeout, this, [this] {
        m_ready = true;
        RunPendingCommands();
    });
    m_currentWindow = OpenWindow();
}

CStandInBrowser::~CStandInBrowser() {
    Stop();
}

void CStandInBrowser::Stop() {
    if (m_instance)
        DdeUninitialize(m_instance);
    m_instance = 0;
}

bool CStandInBrowser::Start() {
    auto callback = [this](uint32_t type, uint32_t, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA,
                           uintptr_t, uintptr_t) {
        if (type == XTYP_CONNECT)
            return HDDEDATA{SameName(DdeQueryString(m_instance, hsz2), m_service) ? 1u : 0u};
        return OnDde(type, conv, hsz1, hsz2);
    };
    if (DdeInitialize(&m_instance, callback, 0, 0) != DMLERR_NO_ERROR) {
        Say("the DDE socket directory cannot be used");
        return false;
    }
    m_serviceHandle = DdeCreateStringHandle(m_instance, m_service, CP_WINANSI);
    if (!DdeNameService(m_instance, m_serviceHandle, HSZ{}, DNS_REGISTER)) {
        const uint32_t error = DdeGetLastError(m_instance);
        Say(error == DMLERR_DLL_USAGE ? m_service + " is already served by another program"
                                      : "cannot register " + m_service);
        return false;
    }
    Say(m_service + " is ready");
    if (m_echo)
        m_waitTimer->start();
    else
        m_ready = true;
    return true;
}

void CStandInBrowser::AddCommand(const std::string& line) {
    m_commands.push_back(line);
    RunPendingCommands();
}

void CStandInBrowser::EndOfInput() {
    m_inputEnded = true;
    RunPendingCommands();
}

HDDEDATA CStandInBrowser::OnDde(uint32_t type, HCONV, HSZ topic, HSZ item) {
    const std::string topicName = DdeQueryString(m_instance, topic);
    const std::string itemText = DdeQueryString(m_instance, item);
    if (type == XTYP_REQUEST)
        return AnswerRequest(topicName, itemText);
    if (type == XTYP_POKE)
        return HDDEDATA{AnswerPoke(topicName, itemText)};
    return {};
}

HDDEDATA CStandInBrowser::MakeData(const std::string& bytes) {
    return DdeCreateDataHandle(m_instance, bytes.data(), static_cast<uint32_t>(bytes.size()), 0,
                               HSZ{}, CF_TEXT, 0);
}

HDDEDATA CStandInBrowser::AnswerRequest(const std::string& topic, const std::string& item) {
    if (SameName(topic, "WWW_Version"))
        return MakeData(*BuildDdeReplyBytes("DW", {0x00010000u}));
    if (SameName(topic, "WWW_ListWindows")) {
        std::vector<uint32_t> ids;
        for (const auto& [id, url] : m_windows)
            ids.push_back(id);
        return MakeData(EncodeWindowList(ids));
    }
    if (SameName(topic, "WWW_GetWindowInfo")) {
        uint32_t id = DdeNumberAt(ParseDdeItemText(item, "DW"), 0);
        if (id == kCurrentWindow)
            id = m_currentWindow;
        auto window = m_windows.find(id);
        if (window == m_windows.end())
            return {};
        return MakeData(*BuildDdeReplyBytes("QCS,QCS", {window->second, std::string()}));
    }
    if (SameName(topic, "WWW_OpenURL")) {
        const std::string url = DdeTextAt(ParseDdeItemText(item, "QCS,QCS,DW,DW,QCS,QCS,CS"), 0);
        const uint32_t id = OpenWindow();
        m_windows[id] = url;
        m_currentWindow = id;
        std::printf("%s\n", url.c_str());
        std::fflush(stdout);
        return MakeData(*BuildDdeReplyBytes("DW", {id}));
    }
    return {};
}

uint32_t CStandInBrowser::AnswerPoke(const std::string& topic, const std::string& item) {
    const std::string service = DdeTextAt(ParseDdeItemText(item, "QCS"), 0);
    if (SameName(topic, "WWW_RegisterURLEcho")) {
        if (service.empty())
            return DDE_FNOTPROCESSED;
        auto known = std::find_if(m_echoServices.begin(), m_echoServices.end(),
                                  [&](const std::string& s) { return SameName(s, service); });
        if (known == m_echoServices.end()) {
            m_echoServices.push_back(service);
            Say("URL echo registered for " + service);
        }
        if (!m_ready) {
            // Wayfold is listening now: the queued commands may run.
            m_waitTimer->stop();
            m_ready = true;
            QTimer::singleShot(0, this, [this] { RunPendingCommands(); });
        }
        return DDE_FACK;
    }
    if (SameName(topic, "WWW_UnRegisterURLEcho")) {
        Say("URL echo unregistered for " + service);
        m_echoServices.erase(
            std::remove_if(m_echoServices.begin(), m_echoServices.end(),
                           [&](const std::string& s) { return SameName(s, service); }),
            m_echoServices.end());
        return DDE_FACK;
    }
    return DDE_FNOTPROCESSED;
}

void CStandInBrowser::RunPendingCommands() {
    // Echo pokes wait for replies and serve other conversations meanwhile; a command that
    // arrives during that wait must not run inside the running one.
    if (m_running || !m_ready)
        return;
    m_running = true;
    while (!m_commands.empty()) {
        const std::string line = m_commands.front();
        m_commands.pop_front();
        RunCommand(line);
    }
    m_running = false;
    if (m_inputEnded)
        QCoreApplication::quit();
}

void CStandInBrowser::RunCommand(const std::string& line) {
    std::istringstream words(line);
    std::string command;
    if (!(words >> command))
        return;
    if (command == "visit") {
        std::string url;
        std::string mimeType = "text/html";
        words >> url >> mimeType;
        if (url.empty()) {
            Say("visit needs a URL");
            return;
        }
        Visit(url, mimeType);
    } else if (command == "window") {
        m_currentWindow = OpenWindow();
    } else if (command == "quit") {
        m_commands.clear();
        m_inputEnded = true;
    } else {
        Say("unknown command: " + command + " (visit URL [MIME-TYPE], window, quit)");
    }
}

void CStandInBrowser::Visit(const std::string& url, const std::string& mimeType) {
    m_windows[m_currentWindow] = url;
    if (!m_echo)
        return;
    const std::vector<std::string> services = m_echoServices;
    for (const std::string& service : services)
        EchoUrl(service, url, mimeType);
}

void CStandInBrowser::EchoUrl(const std::string& echoService, const std::string& url,
                              const std::string& mimeType) {
    switch (PokeUrlEcho(m_instance, echoService, url, mimeType, m_currentWindow, kEchoTimeoutMs)) {
    case UrlEchoResult::kNoAnswer:
        Say("nobody answers as " + echoService);
        break;
    case UrlEchoResult::kNotAcknowledged:
        Say("the echo of " + url + " to " + echoService + " was not acknowledged");
        break;
    case UrlEchoResult::kAcknowledged:
        break;
    }
}

uint32_t CStandInBrowser::OpenWindow() {
    const uint32_t id = m_nextWindow++;
    m_windows[id] = std::string();
    return id;
}
