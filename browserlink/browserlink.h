#pragma once

#include "browserlink/ddeitemtext.h"
#include "browserlink/ddeml.h"

#include <array>
#include <cstdint>
#include <list>
#include <string>
#include <vector>

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
class CBrowserLink {
public:
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

    // Client plumbing. A null result means the browser did not answer.
    CDdeConversation* OpenVerbConversation(int topic);
    // Request and poke free the item handle; the data handle returned belongs to the caller.
    HDDEDATA Request(CDdeConversation* conversation, HSZ item);
    HDDEDATA Poke(CDdeConversation* conversation, HSZ item);
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
    bool Version();
    bool RegisterUrlEcho();
    bool UnRegisterUrlEcho();
    // The browser's window ids (the terminating 0 not included); empty when nothing came back.
    std::vector<uint32_t> ListWindows();
    // The window's URL with every "%20" turned into a space; empty when nothing came back.
    std::string GetWindowInfo(uint32_t windowId);
    // Empty texts other than the URL are sent as missing fields; the reply is dropped.
    void OpenUrl(const std::string& url, const std::string& file, uint32_t windowId, uint32_t flags,
                 const std::string& formData, const std::string& mimeType,
                 const std::string& progressServer);
    uint32_t Activate(uint32_t windowId, uint32_t flags);
    void CancelProgress(uint32_t transactionId);
    void Exit();
    std::string ParseAnchor(const std::string& main, const std::string& relative);
    std::string QueryUrlFile(const std::string& file);
    bool RegisterProtocol(const std::string& server, const std::string& protocol);
    bool RegisterViewer(const std::string& server, const std::string& mimeType, uint32_t flags);
    uint32_t RegisterWindowChange(const std::string& server, uint32_t windowId);
    uint32_t ShowFile(const std::string& file, const std::string& mimeType, uint32_t windowId,
                      const std::string& url);
    bool UnRegisterProtocol(const std::string& server, const std::string& protocol);
    bool UnRegisterViewer(const std::string& server, const std::string& mimeType);
    bool UnRegisterWindowChange(const std::string& server, uint32_t windowId);
    // x, y, width and height are sent only when bit 0 of flags is set.
    void WindowChange(uint32_t windowId, uint32_t flags, uint32_t x, uint32_t y, uint32_t width,
                      uint32_t height);

private:
    // One client verb: connects, sends the item, reads the reply bytes when `reply` is given.
    // Returns false when the conversation could not be opened.
    bool SendVerb(int topic, uint32_t type, const std::string& format,
                  const std::vector<DdeValue>& values, std::string* reply);
    std::vector<DdeValue> RequestValues(int topic, const std::string& format,
                                        const std::vector<DdeValue>& values,
                                        const std::string& replyFormat);

    CBrowserLinkOwner* m_owner; // not owned
    std::string m_ownServiceName;
    std::string m_browserServiceName;
    HSZ m_ownService;
    HSZ m_browserService;
    std::list<CDdeConversation*> m_conversations;
};

// Server-side look-ups used by the callback.
CBrowserLink* FindBrowserLinkByServiceName(const std::string& name); // exact text compare
CDdeConversation* FindDdeConversation(HCONV conv);
CBrowserLink* FindBrowserLinkOfConversation(const CDdeConversation* conversation);
int DdeTopicIndex(HSZ topic); // -1 when not one of the topics

// The callback of the program's DDE instance.
HDDEDATA BrowserLinkDdeCallback(uint32_t type, uint32_t format, HCONV conv, HSZ hsz1, HSZ hsz2,
                                HDDEDATA data, uintptr_t data1, uintptr_t data2);
