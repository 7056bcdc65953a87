#pragma once

#include "browserlink/ddeml.h"

#include <QObject>

#include <deque>
#include <map>
#include <string>
#include <vector>

class QTimer;

// A stand-in for a web browser on the local DDE substitute: it serves one browser service,
// keeps numbered windows that show URLs and echoes the pages it visits to every program that
// registered for URL echoes. Commands come one line at a time (see wayfold-browser --help).
class CStandInBrowser : public QObject {
public:
    // `echo` false: never pokes WWW_URLEcho. Commands wait up to `waitMs` for the first echo
    // registration before they run.
    CStandInBrowser(std::string service, bool echo, int waitMs);
    ~CStandInBrowser() override;

    // Initialises DDE and registers the service. False (with a message on standard error) when
    // that fails.
    bool Start();
    // Ends the DDE instance, which removes the service socket.
    void Stop();

    // Queues one command line; commands run in order once the browser is ready.
    void AddCommand(const std::string& line);
    // The input has ended: quit once the queued commands have run.
    void EndOfInput();

private:
    HDDEDATA OnDde(uint32_t type, HCONV conv, HSZ topic, HSZ item);
    HDDEDATA AnswerRequest(const std::string& topic, const std::string& item);
    uint32_t AnswerPoke(const std::string& topic, const std::string& item);
    void RunPendingCommands();
    void RunCommand(const std::string& line);
    void Visit(const std::string& url, const std::string& mimeType);
    void EchoUrl(const std::string& echoService, const std::string& url,
                 const std::string& mimeType);
    uint32_t OpenWindow();
    HDDEDATA MakeData(const std::string& bytes);

    std::string m_service;
    bool m_echo;
    bool m_ready = false;
    bool m_inputEnded = false;
    bool m_running = false;
    uint32_t m_instance = 0;
    HSZ m_serviceHandle;
    QTimer* m_waitTimer;
    std::deque<std::string> m_commands;
    std::map<uint32_t, std::string> m_windows; // window id -> URL shown
    uint32_t m_currentWindow = 0;
    uint32_t m_nextWindow = 1;
    std::vector<std::string> m_echoServices;
};
