#include "tools/wayfold-bridge/browserbridge.h"

#include "browserlink/browserurlrules.h"
#include "browserlink/ddedirectory.h"
#include "browserlink/ddeitemtext.h"
#include "browserlink/ddesocket.h"
#include "browserlink/pokeurlecho.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>
#include <strings.h>

namespace {

// The browser services a bridge may take, in the order they are tried.
constexpr const char* kBridgeServices[] = {"NETSCAPE", "NSShell", "IEXPLORE"};

constexpr uint32_t kEchoTimeoutMs = 60000;
constexpr uint32_t kCurrentWindow = 0xFFFFFFFF;
// WWW_OpenURL's answer: the browser opens the tab later, so its id is not known yet.
constexpr uint32_t kWindowNotKnownYet = 0xFFFFFFFF;
constexpr int kRegisterRetryMs = 2000;
// How often the bridge looks whether Wayfold is still there, for the browser's status.
constexpr int kStatusCheckMs = 1000;
constexpr size_t kMaxServiceBytes = 255;
// Wayfold keeps texts of up to 8,191 bytes.
constexpr size_t kMaxTextBytes = 8191;

void Say(const std::string& text) {
    std::fprintf(stderr, "wayfold-bridge: %s\n", text.c_str());
    std::fflush(stderr);
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           strncasecmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

// Pages Wayfold can fetch: http, https and local files.
bool IsFollowedUrl(const std::string& url) {
    return url.size() <= kMaxTextBytes &&
           (StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://") ||
            StartsWithNoCase(url, "file:"));
}

// A tab id as a window id: a whole number from 1 to 0xFFFFFFFE (0 ends a window list and
// 0xFFFFFFFF names the current window).
std::optional<uint32_t> TabIdOf(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const double id = value.toDouble();
    if (id != std::floor(id) || id < 1 || id >= static_cast<double>(kCurrentWindow))
        return std::nullopt;
    return static_cast<uint32_t>(id);
}

// At most kMaxTextBytes, cut before a UTF-8 continuation byte so no character is split.
std::string ClippedTitle(const QJsonValue& value) {
    std::string title = value.toString().toStdString();
    if (title.size() > kMaxTextBytes) {
        size_t end = kMaxTextBytes;
        while (end > 0 && (static_cast<unsigned char>(title[end]) & 0xC0) == 0x80)
            --end;
        title.resize(end);
    }
    return title;
}

std::string Json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace

CBrowserBridge::CBrowserBridge(SendToBrowser send, int graceMs)
    : m_send(std::move(send)), m_graceMs(graceMs), m_retryTimer(new QTimer(this)),
      m_statusTimer(new QTimer(this)) {
    m_retryTimer->setInterval(kRegisterRetryMs);
    connect(m_retryTimer, &QTimer::timeout, this, [this] {
        if (RegisterFreeService()) {
            m_retryTimer->stop();
            UpdateStatus();
        }
    });
    m_statusTimer->setInterval(kStatusCheckMs);
    connect(m_statusTimer, &QTimer::timeout, this, &CBrowserBridge::UpdateStatus);
}

CBrowserBridge::~CBrowserBridge() {
    Stop();
}

bool CBrowserBridge::Start() {
    m_sinceStart.start();
    auto callback = [this](uint32_t type, uint32_t, HCONV, HSZ hsz1, HSZ hsz2, HDDEDATA, uintptr_t,
                           uintptr_t) { return OnDde(type, hsz1, hsz2); };
    if (DdeInitialize(&m_instance, callback, 0, 0) != DMLERR_NO_ERROR) {
        Say("the DDE socket directory cannot be used");
        return false;
    }
    if (!RegisterFreeService()) {
        Say("NETSCAPE, NSShell and IEXPLORE are all served by other programs; trying again "
            "every few seconds");
        m_retryTimer->start();
    }
    UpdateStatus();
    m_statusTimer->start();
    return true;
}

void CBrowserBridge::Stop() {
    m_retryTimer->stop();
    m_statusTimer->stop();
    if (!m_instance)
        return;
    if (m_serviceHandle)
        DdeNameService(m_instance, m_serviceHandle, HSZ{}, DNS_UNREGISTER);
    DdeUninitialize(m_instance);
    m_instance = 0;
    m_serviceHandle = HSZ{};
    m_service.clear();
}

bool CBrowserBridge::RegisterFreeService() {
    for (const char* name : kBridgeServices) {
        const HSZ handle = DdeCreateStringHandle(m_instance, name, CP_WINANSI);
        if (DdeNameService(m_instance, handle, HSZ{}, DNS_REGISTER)) {
            m_service = name;
            m_serviceHandle = handle;
            Say("serving as " + m_service);
            return true;
        }
        const uint32_t error = DdeGetLastError(m_instance);
        DdeFreeStringHandle(m_instance, handle);
        if (error != DMLERR_DLL_USAGE)
            Say(std::string("cannot register ") + name);
    }
    return false;
}

// Wayfold registers for echoes under its own service names and never unregisters, so a
// registered name whose socket still takes connections is a Wayfold that is running. A plain
// connect is enough: it never waits for the peer, and the peer drops the empty connection.
bool CBrowserBridge::WayfoldListens() const {
    const std::string dir = DdeSocketDirectory();
    for (const std::string& service : m_echoServices) {
        std::unique_ptr<CDdeSocket> socket(CDdeSocket::ConnectTo(DdeSocketPath(dir, service)));
        if (socket || errno == EAGAIN)
            return true;
    }
    return false;
}

void CBrowserBridge::UpdateStatus() {
    const bool wayfold = !m_service.empty() && WayfoldListens();
    if (m_wayfoldSent == wayfold && m_serviceSent == m_service)
        return;
    m_wayfoldSent = wayfold;
    m_serviceSent = m_service;
    m_send(Json({{"type", "status"},
                 {"service", QString::fromStdString(m_service)},
                 {"wayfold", wayfold}}));
}

HDDEDATA CBrowserBridge::OnDde(uint32_t type, HSZ hsz1, HSZ hsz2) {
    if (type == XTYP_CONNECT)
        return HDDEDATA{
            !m_service.empty() && SameName(DdeQueryString(m_instance, hsz2), m_service) ? 1u : 0u};
    const std::string topic = DdeQueryString(m_instance, hsz1);
    const std::string item = DdeQueryString(m_instance, hsz2);
    if (type == XTYP_REQUEST)
        return AnswerRequest(topic, item);
    if (type == XTYP_POKE)
        return HDDEDATA{AnswerPoke(topic, item)};
    return {};
}

HDDEDATA CBrowserBridge::MakeData(const std::string& bytes) {
    return DdeCreateDataHandle(m_instance, bytes.data(), static_cast<uint32_t>(bytes.size()), 0,
                               HSZ{}, CF_TEXT, 0);
}

uint32_t CBrowserBridge::ResolveTab(uint32_t windowId) const {
    return windowId == kCurrentWindow ? m_currentTab : windowId;
}

HDDEDATA CBrowserBridge::AnswerRequest(const std::string& topic, const std::string& item) {
    if (SameName(topic, "WWW_Version"))
        return MakeData(*BuildDdeReplyBytes("DW", {0x00010000u}));
    if (SameName(topic, "WWW_ListWindows")) {
        std::vector<uint32_t> ids;
        for (const auto& [id, tab] : m_tabs)
            ids.push_back(id);
        return MakeData(EncodeWindowList(ids));
    }
    if (SameName(topic, "WWW_GetWindowInfo")) {
        const auto tab = m_tabs.find(ResolveTab(DdeNumberAt(ParseDdeItemText(item, "DW"), 0)));
        if (tab == m_tabs.end())
            return {};
        return MakeData(*BuildDdeReplyBytes("QCS,QCS", {tab->second.url, tab->second.title}));
    }
    if (SameName(topic, "WWW_OpenURL")) {
        const std::string url = DdeTextAt(ParseDdeItemText(item, "QCS,QCS,DW,DW,QCS,QCS,CS"), 0);
        if (!IsFollowedUrl(url)) {
            Say("not opening \"" + url + "\": only http, https and file URLs are opened");
            return {};
        }
        if (!m_send(Json({{"type", "open"}, {"url", QString::fromStdString(url)}})))
            return {};
        return MakeData(*BuildDdeReplyBytes("DW", {kWindowNotKnownYet}));
    }
    if (SameName(topic, "WWW_Activate")) {
        const uint32_t tabId = ResolveTab(DdeNumberAt(ParseDdeItemText(item, "DW,DW"), 0));
        if (!m_tabs.contains(tabId) ||
            !m_send(Json({{"type", "focus"}, {"tabId", static_cast<double>(tabId)}})))
            return {};
        return MakeData(*BuildDdeReplyBytes("DW", {tabId}));
    }
    return {};
}

uint32_t CBrowserBridge::AnswerPoke(const std::string& topic, const std::string& item) {
    const std::string service = DdeTextAt(ParseDdeItemText(item, "QCS"), 0);
    if (SameName(topic, "WWW_RegisterURLEcho"))
        return AddEchoService(service);
    if (SameName(topic, "WWW_UnRegisterURLEcho")) {
        std::erase_if(m_echoServices, [&](const std::string& s) { return SameName(s, service); });
        return DDE_FACK;
    }
    return DDE_FNOTPROCESSED;
}

uint32_t CBrowserBridge::AddEchoService(const std::string& service) {
    // The name becomes a socket path in the DDE directory: a plain name only.
    if (service.empty() || service.size() > kMaxServiceBytes ||
        service.find('/') != std::string::npos || service == "." || service == "..")
        return DDE_FNOTPROCESSED;
    if (std::none_of(m_echoServices.begin(), m_echoServices.end(),
                     [&](const std::string& s) { return SameName(s, service); }))
        m_echoServices.push_back(service);
    if (!m_everRegistered && m_sinceStart.elapsed() <= m_graceMs) {
        // The echoes wait for replies, which cannot happen inside this callback.
        QTimer::singleShot(0, this, [this, service] { EchoCurrentTabs(service); });
    }
    m_everRegistered = true;
    // Sent from the event loop: the browser learns at once that Wayfold takes the pages.
    QTimer::singleShot(0, this, &CBrowserBridge::UpdateStatus);
    return DDE_FACK;
}

void CBrowserBridge::OnBrowserMessage(const std::string& json) {
    m_inbox.push_back(json);
    ProcessInbox();
}

void CBrowserBridge::ProcessInbox() {
    // An echo waits for Wayfold with the event loop running; a message that arrives meanwhile
    // is handled after the current one.
    if (m_processing)
        return;
    m_processing = true;
    while (!m_inbox.empty()) {
        const std::string json = std::move(m_inbox.front());
        m_inbox.pop_front();
        HandleMessage(json);
    }
    m_processing = false;
}

void CBrowserBridge::HandleMessage(const std::string& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    if (!document.isObject()) {
        Say("a message from the browser is not a JSON object and is ignored");
        return;
    }
    const QJsonObject message = document.object();
    const QString type = message.value("type").toString();
    const std::optional<uint32_t> tabId = TabIdOf(message.value("tabId"));
    if (type == "page" && tabId) {
        ShowPage(*tabId, message.value("url").toString().toStdString(),
                 ClippedTitle(message.value("title")));
    } else if (type == "title" && tabId) {
        const auto tab = m_tabs.find(*tabId);
        if (tab != m_tabs.end())
            tab->second.title = ClippedTitle(message.value("title"));
    } else if (type == "closed" && tabId) {
        m_tabs.erase(*tabId);
        if (m_currentTab == *tabId)
            m_currentTab = 0;
    } else if (type == "tabs" && message.value("tabs").isArray()) {
        std::optional<uint32_t> activeTab;
        for (const QJsonValue& value : message.value("tabs").toArray()) {
            const QJsonObject tab = value.toObject();
            const std::optional<uint32_t> id = TabIdOf(tab.value("tabId"));
            if (!id)
                continue;
            ShowPage(*id, tab.value("url").toString().toStdString(),
                     ClippedTitle(tab.value("title")));
            if (tab.value("active").toBool())
                activeTab = id;
        }
        if (activeTab && m_tabs.contains(*activeTab))
            m_currentTab = *activeTab;
    } else {
        Say("a message from the browser is not understood and is ignored: " + json.substr(0, 200));
    }
}

void CBrowserBridge::ShowPage(uint32_t tabId, const std::string& url, const std::string& title) {
    if (!IsFollowedUrl(url)) {
        Say("tab " + std::to_string(tabId) + " shows a page that is not followed");
        m_tabs.erase(tabId);
        return;
    }
    m_tabs[tabId] = CTab{url, title};
    m_currentTab = tabId;
    EchoToAll(tabId, url);
}

void CBrowserBridge::EchoToAll(uint32_t tabId, const std::string& url) {
    // A registration or unregistration may arrive while an echo waits.
    const std::vector<std::string> services = m_echoServices;
    for (const std::string& service : services)
        EchoUrl(service, url, tabId);
}

void CBrowserBridge::EchoCurrentTabs(const std::string& service) {
    const std::map<uint32_t, CTab> tabs = m_tabs;
    for (const auto& [id, tab] : tabs)
        EchoUrl(service, tab.url, id);
}

bool CBrowserBridge::EchoUrl(const std::string& service, const std::string& url, uint32_t tabId) {
    if (!m_instance)
        return false;
    const bool acknowledged = PokeUrlEcho(m_instance, service, url, "text/html", tabId,
                                          kEchoTimeoutMs) == UrlEchoResult::kAcknowledged;
    // Say only when a receiver starts or stops answering, not for every page.
    const auto last = m_echoAnswered.find(service);
    if (last == m_echoAnswered.end() || last->second != acknowledged)
        Say(acknowledged ? service + " takes the echoes"
                         : "nobody takes the echoes as " + service + " (Wayfold is not running?)");
    m_echoAnswered[service] = acknowledged;
    return acknowledged;
}
