#pragma once

#include "browserlink/ddeitemtext.h"
#include "browserlink/ddeml.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

class QObject;
class CBrowserLink;
class CBrowserLinkOwner;
class CDdeConversation;

// The DDE verbs, by their index in the topic table.
enum EDdeTopic {
    kTopicActivate,
    kTopicAlert,
    kTopicBeginProgress,
    kTopicCancelProgress,
    kTopicEndProgress,
    kTopicExit,
    kTopicGetWindowInfo,
    kTopicListWindows,
    kTopicMakingProgress,
    kTopicOpenURL,
    kTopicParseAnchor,
    kTopicQueryURLFile,
    kTopicQueryViewer,
    kTopicRegisterProtocol,
    kTopicRegisterURLEcho,
    kTopicRegisterViewer,
    kTopicRegisterWindowChange,
    kTopicSetProgressRange,
    kTopicShowFile,
    kTopicUnRegisterProtocol,
    kTopicUnRegisterURLEcho,
    kTopicUnRegisterViewer,
    kTopicUnRegisterWindowChange,
    kTopicURLEcho,
    kTopicVersion,
    kTopicViewDocFile,
    kTopicWindowChange,
    kDdeTopicCount
};

extern const std::array<const char*, kDdeTopicCount> kDdeTopicNames;

// Time-out of the program's own transactions, in milliseconds.
constexpr uint32_t kBrowserLinkTimeoutMs = 60000;

// The process-wide DDE instance (0 when DDE could not be initialised: every DDE call then
// fails quietly).
extern uint32_t g_ddeInstance;

// Initialises DDE with the browser link's callback. False when the instance could not be
// made; the caller shows "DDE could not initialize".
bool InitializeBrowserDde();
// Ends the instance (after the links are gone).
void UninitializeBrowserDde();

// The live links in creation order, and every live conversation record.
std::list<CBrowserLink*>& AllBrowserLinks();
std::list<CDdeConversation*>& AllDdeConversations();

// The text of a DDE error code: empty for no error, "Uknown Error" for a code outside the table.
std::string DdeErrorNameOf(uint32_t error);
// The last DDE error of the instance as a text (empty when there is none); clears it.
std::string DdeErrorName();
// Shows DdeErrorName() through the error report when it is not empty.
void ShowDdeError();

// One browser DDE service ("NSShell", "NETSCAPE", "IEXPLORE" or "OPERA") and the program's own
// service for it, "TARN" + the link instance counter: the client side of every verb sent to
// that browser and the server side that browser talks to.
//
// Verbs sent to the browser never wait: each returns at once and its `done` (which may be
// empty) runs later from the event loop with the result, never from inside the call that asked.
// A link sends one verb at a time, on a conversation of its own: a verb asked while another
// waits for its answer is deferred until that one is over. A browser that let a verb's time run
// out (it accepted the connection, or the conversation, and then said nothing) counts as silent:
// the verbs asked of it fail at once, without connecting, until AskAgain(). Destroying the link
// abandons the verb that waits and those deferred; their `done` never runs.
class CBrowserLink {
public:
    template <typename T> using Done = std::function<void(T)>;

    // Registers the own service name; DDE errors are shown, construction goes on.
    CBrowserLink(const std::string& browserService, CBrowserLinkOwner* owner);
    // Closes the open conversations and unregisters the own service name; sends nothing.
    ~CBrowserLink();
    CBrowserLink(const CBrowserLink&) = delete;
    CBrowserLink& operator=(const CBrowserLink&) = delete;

    std::string OwnServiceName() const { return m_ownServiceName; }
    const std::string& BrowserServiceName() const { return m_browserServiceName; }
    CBrowserLinkOwner* Owner() const { return m_owner; }
    const std::list<CDdeConversation*>& Conversations() const { return m_conversations; }

    // True while a verb is on its way or deferred.
    bool IsBusy() const { return !m_verbs.empty(); }
    bool IsSilent() const { return m_silent; }
    // The next verb connects again (the poll calls it once per round).
    void AskAgain() { m_silent = false; }
    // Time-outs of connecting and of a transaction, in milliseconds (tests shorten them).
    void SetTimeouts(uint32_t connectMs, uint32_t transactionMs);

    // Client plumbing; `done` runs later from the event loop. The conversation is null when
    // the browser did not answer.
    void OpenVerbConversation(int topic, Done<CDdeConversation*> done);
    // Request and poke free the item handle; the data handle (null on failure) belongs to `done`.
    void Request(CDdeConversation* conversation, HSZ item, Done<HDDEDATA> done);
    void Poke(CDdeConversation* conversation, HSZ item, Done<HDDEDATA> done);
    // Ends the conversation, abandoning a transaction that waits on it.
    void Close(CDdeConversation* conversation);
    // Null when the encoded item is empty.
    HSZ BuildItemString(const std::string& format, const std::vector<DdeValue>& values);
    // Decodes the reply (one value per token) and frees the data handle.
    std::vector<DdeValue> ParseReplyData(HDDEDATA data, const std::string& format);

    // Server plumbing. Null when the encoded reply is empty.
    HDDEDATA BuildReplyData(CDdeConversation* conversation, const std::string& format,
                            const std::vector<DdeValue>& values);
    std::vector<DdeValue> ParseItemString(HSZ item, const std::string& format);
    void AdoptConversation(CDdeConversation* conversation);
    void ForgetConversation(CDdeConversation* conversation);

    // Verbs sent to the browser (each opens and closes one conversation).
    // True when the browser answered the connection.
    void Version(Done<bool> done);
    void RegisterUrlEcho(Done<bool> done = {});
    void UnRegisterUrlEcho(Done<bool> done = {});
    // The browser's window ids (the terminating 0 not included); empty when nothing came back.
    void ListWindows(Done<std::vector<uint32_t>> done);
    // The window's URL with every "%20" turned into a space; empty when nothing came back.
    void GetWindowInfo(uint32_t windowId, Done<std::string> done);
    // Empty texts other than the URL are sent as missing fields; the reply is dropped.
    void OpenUrl(const std::string& url, const std::string& file, uint32_t windowId, uint32_t flags,
                 const std::string& formData, const std::string& mimeType,
                 const std::string& progressServer, std::function<void()> done = {});
    void Activate(uint32_t windowId, uint32_t flags, Done<uint32_t> done);
    void CancelProgress(uint32_t transactionId, std::function<void()> done = {});
    void Exit(std::function<void()> done = {});
    void ParseAnchor(const std::string& main, const std::string& relative, Done<std::string> done);
    void QueryUrlFile(const std::string& file, Done<std::string> done);
    void RegisterProtocol(const std::string& server, const std::string& protocol, Done<bool> done);
    void RegisterViewer(const std::string& server, const std::string& mimeType, uint32_t flags,
                        Done<bool> done);
    void RegisterWindowChange(const std::string& server, uint32_t windowId, Done<uint32_t> done);
    void ShowFile(const std::string& file, const std::string& mimeType, uint32_t windowId,
                  const std::string& url, Done<uint32_t> done);
    void UnRegisterProtocol(const std::string& server, const std::string& protocol,
                            Done<bool> done);
    void UnRegisterViewer(const std::string& server, const std::string& mimeType, Done<bool> done);
    void UnRegisterWindowChange(const std::string& server, uint32_t windowId, Done<bool> done);
    // x, y, width and height are sent only when bit 0 of flags is set.
    void WindowChange(uint32_t windowId, uint32_t flags, uint32_t x, uint32_t y, uint32_t width,
                      uint32_t height, std::function<void()> done = {});

private:
    // What a verb brought back: whether the conversation could be opened, and the reply bytes.
    using VerbDone = std::function<void(bool connected, const std::string& reply)>;
    struct CVerb {
        int topic;
        uint32_t type;
        std::string item;
        VerbDone done;
    };

    // One client verb: connects, sends the item, reads the reply bytes, closes.
    void SendVerb(int topic, uint32_t type, const std::string& format,
                  const std::vector<DdeValue>& values, VerbDone done);
    void StartFirstVerb();
    void FinishFirstVerb(bool connected, const std::string& reply);
    void Transact(CDdeConversation* conversation, HSZ item, uint32_t type, Done<HDDEDATA> done);
    // Runs `call` from the event loop unless the link is gone by then.
    void Later(std::function<void()> call);

    CBrowserLinkOwner* m_owner; // not owned
    std::string m_ownServiceName;
    std::string m_browserServiceName;
    HSZ m_ownService;
    HSZ m_browserService;
    std::list<CDdeConversation*> m_conversations;
    std::deque<CVerb> m_verbs; // the first one is on its way
    bool m_silent = false;
    uint32_t m_connectTimeoutMs;
    uint32_t m_timeoutMs;
    std::unique_ptr<QObject> m_laterContext; // posted calls die with the link
};

// Server-side look-ups used by the callback.
CBrowserLink* FindBrowserLinkByServiceName(const std::string& name); // exact text compare
CDdeConversation* FindDdeConversation(HCONV conv);
CBrowserLink* FindBrowserLinkOfConversation(const CDdeConversation* conversation);
int DdeTopicIndex(HSZ topic); // -1 when not one of the topics

// The callback of the program's DDE instance.
HDDEDATA BrowserLinkDdeCallback(uint32_t type, uint32_t format, HCONV conv, HSZ hsz1, HSZ hsz2,
                                HDDEDATA data, uintptr_t data1, uintptr_t data2);
