#pragma once

#include "browserlink/ddeml.h"

#include <QObject>

#include <chrono>
#include <map>
#include <memory>
#include <string>

class CDdeSocket;
class QSocketNotifier;
class QTimerEvent;
struct DdeFrame;

// The engine behind one instance of the local DDE substitute (see ddeml.h for the calls that
// reach it): the listening sockets of its services, its conversations on both sides and its
// last error. Server sockets are watched by the Qt event loop; a client that waits for a reply
// polls its own socket together with every server socket of the process, and an asynchronous
// client is watched by the event loop too, its time-out a timer of the instance.
class CDdeInstance : public QObject {
public:
    CDdeInstance(uint32_t id, PFNCALLBACK callback, std::string directory);
    ~CDdeInstance() override;

    uint32_t Id() const { return m_id; }
    bool OwnsConversation(HCONV conv) const { return m_conversations.count(conv.id) != 0; }

    bool RegisterService(HSZ service);
    void UnregisterService(HSZ service); // null: every service
    HCONV Connect(HSZ service, HSZ topic);
    bool Disconnect(HCONV conv);
    HDDEDATA Transaction(const void* data, uint32_t length, HCONV conv, HSZ item, uint32_t format,
                         uint32_t type, uint32_t timeoutMs, uint32_t* result);
    HCONV ConnectAsync(HSZ service, HSZ topic, uint32_t timeoutMs, PFNASYNCDONE done);
    bool TransactionAsync(const void* data, uint32_t length, HCONV conv, HSZ item, uint32_t format,
                          uint32_t type, uint32_t timeoutMs, PFNASYNCDONE done);

    void SetLastError(uint32_t error) { m_lastError = error; }
    uint32_t TakeLastError();

    // Serves every pending server-side event of all instances without blocking (used while a
    // client waits for its reply).
    static void ServeAllOnce(int waitMs, CDdeSocket* clientSocket, bool& clientReadable);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    struct Listener;
    struct Conversation;
    enum class WaitResult { Frame, TimedOut, Closed };
    enum class Awaiting { Nothing, Connected, Answer };

    void AcceptPending(int listenerFd);
    void ServeConversation(uint32_t conv);
    void HandleServerFrame(uint32_t conv, const DdeFrame& frame);
    void AnswerConnect(uint32_t conv, const DdeFrame& frame);
    void AnswerRequest(uint32_t conv, const DdeFrame& frame);
    void AnswerPoke(uint32_t conv, const DdeFrame& frame);
    void FlushServer(uint32_t conv);
    void EndConversation(uint32_t conv, bool tellCallback);
    WaitResult WaitForFrame(uint32_t conv, std::chrono::steady_clock::time_point deadline,
                            DdeFrame& frame);
    // Client side, shared by waiting and asynchronous calls.
    uint32_t StartConnect(HSZ service, HSZ topic); // the new conversation; 0 when nobody listens
    bool TakeConnectAnswer(uint32_t conv, WaitResult waited, const DdeFrame& answer);
    bool SendQuestion(const void* data, uint32_t length, HCONV conv, HSZ item, uint32_t format,
                      uint32_t type);
    DdeAsyncResult TakeAnswer(uint32_t conv, uint32_t type, HSZ item, WaitResult waited,
                              const DdeFrame& answer);
    // Asynchronous client side.
    void Await(uint32_t conv, Awaiting what, uint32_t type, HSZ item, uint32_t timeoutMs,
               PFNASYNCDONE done);
    void ReadClient(uint32_t conv);
    void FlushClient(uint32_t conv);
    void FinishAwait(uint32_t conv, WaitResult waited, const DdeFrame& frame);
    void DropClientSocket(Conversation& conversation);
    HDDEDATA Call(uint32_t type, uint32_t format, uint32_t conv, HSZ hsz1, HSZ hsz2, HDDEDATA data);

    uint32_t m_id;
    PFNCALLBACK m_callback;
    std::string m_directory;
    uint32_t m_lastError = DMLERR_NO_ERROR;
    std::map<std::string, std::unique_ptr<Listener>> m_listeners;      // by lower-case service
    std::map<uint32_t, std::unique_ptr<Conversation>> m_conversations; // by HCONV
};
