#pragma once

#include "browserlink/ddeml.h"

#include <QElapsedTimer>
#include <QObject>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class QTimer;

// Plays a web browser's DDE service for Wayfold on behalf of a real browser, whose extension
// reports its tabs through native messaging. Each tab is a browser window to Wayfold: the tab
// id is the window id. Pages are echoed with WWW_URLEcho to every program that registered for
// echoes; WWW_OpenURL and WWW_Activate become "open" and "focus" messages to the browser.
// A "status" message tells the browser the service served and whether Wayfold takes the
// pages, so the extension can show it on its toolbar button.
class CBrowserBridge : public QObject {
public:
    using SendToBrowser = std::function<bool(const std::string& json)>;

    // `send` writes one JSON message to the browser. Pages shown in the first `graceMs` after
    // Start() are echoed to the first program that registers for echoes, so the tabs a browser
    // opens as it starts reach a Wayfold that is already running.
    CBrowserBridge(SendToBrowser send, int graceMs);
    ~CBrowserBridge() override;

    // Initialises DDE and registers the first free service of NETSCAPE, NSShell and IEXPLORE
    // (when all three are taken, tries again every two seconds), then sends the first status.
    // False, with a message on standard error, when the DDE socket directory cannot be used.
    bool Start();
    // Unregisters the service and ends the DDE instance. Idempotent.
    void Stop();

    // One JSON message from the browser. Messages are handled in order; one that is not valid
    // is reported on standard error and ignored.
    void OnBrowserMessage(const std::string& json);

    // The service registered, empty while none is.
    const std::string& ServiceName() const { return m_service; }

private:
    struct CTab {
        std::string url;
        std::string title;
    };

    bool RegisterFreeService();
    bool WayfoldListens() const;
    void UpdateStatus();
    HDDEDATA OnDde(uint32_t type, HSZ hsz1, HSZ hsz2);
    HDDEDATA AnswerRequest(const std::string& topic, const std::string& item);
    uint32_t AnswerPoke(const std::string& topic, const std::string& item);
    uint32_t AddEchoService(const std::string& service);
    HDDEDATA MakeData(const std::string& bytes);
    uint32_t ResolveTab(uint32_t windowId) const;

    void ProcessInbox();
    void HandleMessage(const std::string& json);
    void ShowPage(uint32_t tabId, const std::string& url, const std::string& title);
    void EchoToAll(uint32_t tabId, const std::string& url);
    void EchoCurrentTabs(const std::string& service);
    bool EchoUrl(const std::string& service, const std::string& url, uint32_t tabId);

    SendToBrowser m_send;
    int m_graceMs;
    QElapsedTimer m_sinceStart;
    uint32_t m_instance = 0;
    std::string m_service;
    HSZ m_serviceHandle;
    QTimer* m_retryTimer;
    QTimer* m_statusTimer;
    std::optional<bool> m_wayfoldSent; // what the last status message said, none sent yet
    std::string m_serviceSent;
    std::map<uint32_t, CTab> m_tabs;
    uint32_t m_currentTab = 0;
    std::vector<std::string> m_echoServices;
    std::map<std::string, bool> m_echoAnswered; // last outcome per service, to log changes only
    bool m_everRegistered = false;
    std::deque<std::string> m_inbox;
    bool m_processing = false;
};
