#include "browserlink/browserlink.h"

#include "browserlink/browserurlrules.h"
#include "browserlink/ddeconversation.h"
#include "browserlink/servedverbs.h"
#include "model/errorreport.h"

#include <QObject>

#include <algorithm>

const std::array<const char*, kDdeTopicCount> kDdeTopicNames = {
    "WWW_Activate",
    "WWW_Alert",
    "WWW_BeginProgress",
    "WWW_CancelProgress",
    "WWW_EndProgress",
    "WWW_Exit",
    "WWW_GetWindowInfo",
    "WWW_ListWindows",
    "WWW_MakingProgress",
    "WWW_OpenURL",
    "WWW_ParseAnchor",
    "WWW_QueryURLFile",
    "WWW_QueryViewer",
    "WWW_RegisterProtocol",
    "WWW_RegisterURLEcho",
    "WWW_RegisterViewer",
    "WWW_RegisterWindowChange",
    "WWW_SetProgressRange",
    "WWW_ShowFile",
    "WWW_UnRegisterProtocol",
    "WWW_UnRegisterURLEcho",
    "WWW_UnRegisterViewer",
    "WWW_UnRegisterWindowChange",
    "WWW_URLEcho",
    "WWW_Version",
    "WWW_ViewDocFile",
    "WWW_WindowChange",
};

uint32_t g_ddeInstance = 0;

namespace {

int g_linkInstanceCounter = 0;
std::array<HSZ, kDdeTopicCount> g_topicHandles{};

// The shared topic table is made once while links exist and freed with the last link.
void CreateTopicHandles() {
    if (g_topicHandles[0])
        return;
    for (int i = 0; i < kDdeTopicCount; ++i)
        g_topicHandles[i] = DdeCreateStringHandle(g_ddeInstance, kDdeTopicNames[i], CP_WINANSI);
}

void FreeTopicHandles() {
    for (HSZ& topic : g_topicHandles) {
        DdeFreeStringHandle(g_ddeInstance, topic);
        topic = HSZ{};
    }
}

const char* const kErrorNames[] = {
    "ADVACKTIMEOUT",       "BUSY",
    "DATAACKTIMEOUT",      "DLL_NOT_INITIALIZED",
    "DLL_USAGE",           "EXECACKTIMEOUT",
    "INVALIDPARAMETER",    "LOW_MEMORY",
    "DMLERR_MEMORY_ERROR", "DMLERR_NOTPROCESSED",
    "NO_CONV_ESTABLISHED", "POKEACKTIMEOUT",
    "POSTMSG_FAILED",      "REENTRANCY",
    "SERVER_DIED",         "SYS_ERROR",
    "UNADVACKTIMEOUT",     "UNFOUND_QUEUE_ID",
};

template <typename T> T ValueOr(const std::vector<DdeValue>& values, size_t i, T fallback) {
    if (i < values.size())
        if (const T* value = std::get_if<T>(&values[i]))
            return *value;
    return fallback;
}

DdeValue TextOrMissing(const std::string& text) {
    return text.empty() ? DdeValue{} : DdeValue{text};
}

using VerbDone = std::function<void(bool connected, const std::string& reply)>;

// Adapters from what a verb brought back to what its caller wants to hear.
VerbDone ReportConnected(std::function<void(bool)> done) {
    return [done = std::move(done)](bool connected, const std::string&) {
        if (done)
            done(connected);
    };
}

VerbDone ReportNothing(std::function<void()> done) {
    return [done = std::move(done)](bool, const std::string&) {
        if (done)
            done();
    };
}

// The first value of the reply decoded with `replyFormat` (its default when nothing came).
template <typename T> VerbDone ReportFirst(std::string replyFormat, std::function<void(T)> done) {
    return [replyFormat = std::move(replyFormat),
            done = std::move(done)](bool, const std::string& reply) {
        if (done)
            done(ValueOr<T>(ParseDdeReplyBytes(reply, replyFormat), 0, T{}));
    };
}

} // namespace

bool InitializeBrowserDde() {
    return DdeInitialize(&g_ddeInstance, BrowserLinkDdeCallback, 0, 0) == DMLERR_NO_ERROR;
}

void UninitializeBrowserDde() {
    if (g_ddeInstance)
        DdeUninitialize(g_ddeInstance);
    g_ddeInstance = 0;
}

std::list<CBrowserLink*>& AllBrowserLinks() {
    static std::list<CBrowserLink*> links;
    return links;
}

std::list<CDdeConversation*>& AllDdeConversations() {
    static std::list<CDdeConversation*> conversations;
    return conversations;
}

std::string DdeErrorName() {
    return DdeErrorNameOf(DdeGetLastError(g_ddeInstance));
}

std::string DdeErrorNameOf(uint32_t error) {
    if (error == DMLERR_NO_ERROR)
        return {};
    if (error >= DMLERR_ADVACKTIMEOUT && error <= DMLERR_UNFOUND_QUEUE_ID)
        return kErrorNames[error - DMLERR_ADVACKTIMEOUT];
    return "Uknown Error";
}

void ShowDdeError() {
    const std::string name = DdeErrorName();
    if (!name.empty())
        ShowError(name);
}

CBrowserLink::CBrowserLink(const std::string& browserService, CBrowserLinkOwner* owner)
    : m_owner(owner), m_browserServiceName(browserService),
      m_connectTimeoutMs(kDdeConnectTimeoutMs), m_timeoutMs(kBrowserLinkTimeoutMs),
      m_laterContext(std::make_unique<QObject>()) {
    m_ownServiceName = "TARN" + std::to_string(++g_linkInstanceCounter);
    AllBrowserLinks().push_back(this);
    CreateTopicHandles();
    m_browserService = DdeCreateStringHandle(g_ddeInstance, browserService, CP_WINANSI);
    ShowDdeError();
    m_ownService = DdeCreateStringHandle(g_ddeInstance, m_ownServiceName, CP_WINANSI);
    DdeNameService(g_ddeInstance, m_ownService, HSZ{}, DNS_REGISTER);
    ShowDdeError();
}

CBrowserLink::~CBrowserLink() {
    m_laterContext.reset();
    m_verbs.clear();
    while (!m_conversations.empty())
        Close(m_conversations.front());
    AllBrowserLinks().remove(this);
    DdeNameService(g_ddeInstance, m_ownService, HSZ{}, DNS_UNREGISTER);
    DdeFreeStringHandle(g_ddeInstance, m_ownService);
    DdeFreeStringHandle(g_ddeInstance, m_browserService);
    if (AllBrowserLinks().empty())
        FreeTopicHandles();
}

void CBrowserLink::SetTimeouts(uint32_t connectMs, uint32_t transactionMs) {
    m_connectTimeoutMs = connectMs;
    m_timeoutMs = transactionMs;
}

void CBrowserLink::Later(std::function<void()> call) {
    QMetaObject::invokeMethod(m_laterContext.get(), std::move(call), Qt::QueuedConnection);
}

void CBrowserLink::OpenVerbConversation(int topic, Done<CDdeConversation*> done) {
    if (topic < 0 || topic >= kDdeTopicCount) {
        Later([done] { done(nullptr); });
        return;
    }
    auto opened = std::make_shared<HCONV>();
    *opened =
        DdeConnectAsync(g_ddeInstance, m_browserService, g_topicHandles[topic], m_connectTimeoutMs,
                        [this, opened, done](const DdeAsyncResult& result) {
                            CDdeConversation* conversation = FindDdeConversation(*opened);
                            if (result.error == DMLERR_NO_ERROR) {
                                done(conversation);
                                return;
                            }
                            m_silent = m_silent || result.timedOut;
                            if (conversation)
                                Close(conversation);
                            done(nullptr);
                        });
    if (!*opened) {
        Later([done] { done(nullptr); });
        return;
    }
    auto* conversation = new CDdeConversation(m_owner, *opened);
    m_conversations.push_back(conversation);
}

void CBrowserLink::Transact(CDdeConversation* conversation, HSZ item, uint32_t type,
                            Done<HDDEDATA> done) {
    const bool started =
        conversation &&
        DdeClientTransactionAsync(nullptr, 0, conversation->Conversation(), item, CF_TEXT, type,
                                  m_timeoutMs, [this, done](const DdeAsyncResult& result) {
                                      m_silent = m_silent || result.timedOut;
                                      done(result.data);
                                  });
    DdeFreeStringHandle(g_ddeInstance, item);
    if (!started)
        Later([done] { done(HDDEDATA{}); });
}

void CBrowserLink::Request(CDdeConversation* conversation, HSZ item, Done<HDDEDATA> done) {
    Transact(conversation, item, XTYP_REQUEST, std::move(done));
}

void CBrowserLink::Poke(CDdeConversation* conversation, HSZ item, Done<HDDEDATA> done) {
    Transact(conversation, item, XTYP_POKE, std::move(done));
}

void CBrowserLink::Close(CDdeConversation* conversation) {
    DdeDisconnect(conversation->Conversation());
    ForgetConversation(conversation);
    delete conversation;
}

HSZ CBrowserLink::BuildItemString(const std::string& format, const std::vector<DdeValue>& values) {
    const std::string text = BuildDdeItemText(format, values);
    if (text.empty())
        return {};
    return DdeCreateStringHandle(g_ddeInstance, text, CP_WINANSI);
}

std::vector<DdeValue> CBrowserLink::ParseReplyData(HDDEDATA data, const std::string& format) {
    const std::string bytes = DdeGetDataBytes(data);
    DdeFreeDataHandle(data);
    return ParseDdeReplyBytes(bytes, format);
}

HDDEDATA CBrowserLink::BuildReplyData(CDdeConversation*, const std::string& format,
                                      const std::vector<DdeValue>& values) {
    const std::optional<std::string> bytes = BuildDdeReplyBytes(format, values);
    if (!bytes)
        return {};
    return DdeCreateDataHandle(g_ddeInstance, bytes->data(), static_cast<uint32_t>(bytes->size()),
                               0, m_ownService, CF_TEXT, 0);
}

std::vector<DdeValue> CBrowserLink::ParseItemString(HSZ item, const std::string& format) {
    return ParseDdeItemText(DdeQueryString(g_ddeInstance, item), format);
}

void CBrowserLink::AdoptConversation(CDdeConversation* conversation) {
    m_conversations.push_back(conversation);
}

void CBrowserLink::ForgetConversation(CDdeConversation* conversation) {
    m_conversations.remove(conversation);
}

void CBrowserLink::SendVerb(int topic, uint32_t type, const std::string& format,
                            const std::vector<DdeValue>& values, VerbDone done) {
    m_verbs.push_back({topic, type, BuildDdeItemText(format, values), std::move(done)});
    if (m_verbs.size() == 1)
        StartFirstVerb();
}

void CBrowserLink::StartFirstVerb() {
    if (m_silent) {
        Later([this] { FinishFirstVerb(false, {}); });
        return;
    }
    OpenVerbConversation(m_verbs.front().topic, [this](CDdeConversation* conversation) {
        if (!conversation) {
            FinishFirstVerb(false, {});
            return;
        }
        const CVerb& verb = m_verbs.front();
        const HSZ item =
            verb.item.empty() ? HSZ{} : DdeCreateStringHandle(g_ddeInstance, verb.item, CP_WINANSI);
        Transact(conversation, item, verb.type, [this, conversation](HDDEDATA data) {
            const std::string reply = DdeGetDataBytes(data);
            if (DdeIsDataHandle(data))
                DdeFreeDataHandle(data);
            Close(conversation);
            FinishFirstVerb(true, reply);
        });
    });
}

void CBrowserLink::FinishFirstVerb(bool connected, const std::string& reply) {
    const VerbDone done = std::move(m_verbs.front().done);
    m_verbs.pop_front();
    if (!m_verbs.empty())
        StartFirstVerb();
    // Last: the caller may destroy the link.
    if (done)
        done(connected, reply);
}

void CBrowserLink::Version(Done<bool> done) {
    SendVerb(kTopicVersion, XTYP_REQUEST, "CS", {std::string("WWW_Version")},
             ReportConnected(std::move(done)));
}

void CBrowserLink::RegisterUrlEcho(Done<bool> done) {
    SendVerb(kTopicRegisterURLEcho, XTYP_POKE, "QCS", {m_ownServiceName},
             ReportConnected(std::move(done)));
}

void CBrowserLink::UnRegisterUrlEcho(Done<bool> done) {
    SendVerb(kTopicUnRegisterURLEcho, XTYP_POKE, "QCS", {m_ownServiceName},
             ReportConnected(std::move(done)));
}

void CBrowserLink::ListWindows(Done<std::vector<uint32_t>> done) {
    SendVerb(kTopicListWindows, XTYP_REQUEST, "CS", {std::string("WWW_ListWindows")},
             [done](bool, const std::string& reply) {
                 if (done)
                     done(DecodeWindowList(reply));
             });
}

void CBrowserLink::GetWindowInfo(uint32_t windowId, Done<std::string> done) {
    SendVerb(kTopicGetWindowInfo, XTYP_REQUEST, "DW", {windowId},
             ReportFirst<std::string>("QCS,QCS", [done](const std::string& url) {
                 if (done)
                     done(ReplacePercent20(url));
             }));
}

void CBrowserLink::OpenUrl(const std::string& url, const std::string& file, uint32_t windowId,
                           uint32_t flags, const std::string& formData, const std::string& mimeType,
                           const std::string& progressServer, std::function<void()> done) {
    SendVerb(kTopicOpenURL, XTYP_REQUEST, "QCS,QCS,DW,DW,QCS,QCS,CS",
             {url, TextOrMissing(file), windowId, flags, TextOrMissing(formData),
              TextOrMissing(mimeType), TextOrMissing(progressServer)},
             ReportNothing(std::move(done)));
}

void CBrowserLink::Activate(uint32_t windowId, uint32_t flags, Done<uint32_t> done) {
    SendVerb(kTopicActivate, XTYP_REQUEST, "DW,DW", {windowId, flags},
             ReportFirst<uint32_t>("DW", std::move(done)));
}

void CBrowserLink::CancelProgress(uint32_t transactionId, std::function<void()> done) {
    SendVerb(kTopicCancelProgress, XTYP_POKE, "DW", {transactionId},
             ReportNothing(std::move(done)));
}

void CBrowserLink::Exit(std::function<void()> done) {
    SendVerb(kTopicExit, XTYP_POKE, "CS", {std::string("WWW_Exit")},
             ReportNothing(std::move(done)));
}

void CBrowserLink::ParseAnchor(const std::string& main, const std::string& relative,
                               Done<std::string> done) {
    SendVerb(kTopicParseAnchor, XTYP_REQUEST, "QCS,QCS", {main, relative},
             ReportFirst<std::string>("QCS", std::move(done)));
}

void CBrowserLink::QueryUrlFile(const std::string& file, Done<std::string> done) {
    SendVerb(kTopicQueryURLFile, XTYP_REQUEST, "QCS", {file},
             ReportFirst<std::string>("QCS", std::move(done)));
}

void CBrowserLink::RegisterProtocol(const std::string& server, const std::string& protocol,
                                    Done<bool> done) {
    SendVerb(kTopicRegisterProtocol, XTYP_REQUEST, "QCS,QCS", {server, protocol},
             ReportFirst<bool>("BL", std::move(done)));
}

void CBrowserLink::RegisterViewer(const std::string& server, const std::string& mimeType,
                                  uint32_t flags, Done<bool> done) {
    SendVerb(kTopicRegisterViewer, XTYP_REQUEST, "QCS,QCS,DW", {server, mimeType, flags},
             ReportFirst<bool>("BL", std::move(done)));
}

void CBrowserLink::RegisterWindowChange(const std::string& server, uint32_t windowId,
                                        Done<uint32_t> done) {
    SendVerb(kTopicRegisterWindowChange, XTYP_REQUEST, "QCS,DW", {server, windowId},
             ReportFirst<uint32_t>("DW", std::move(done)));
}

void CBrowserLink::ShowFile(const std::string& file, const std::string& mimeType, uint32_t windowId,
                            const std::string& url, Done<uint32_t> done) {
    SendVerb(kTopicShowFile, XTYP_REQUEST, "QCS,QCS,DW,QCS", {file, mimeType, windowId, url},
             ReportFirst<uint32_t>("DW", std::move(done)));
}

void CBrowserLink::UnRegisterProtocol(const std::string& server, const std::string& protocol,
                                      Done<bool> done) {
    SendVerb(kTopicUnRegisterProtocol, XTYP_REQUEST, "QCS,QCS", {server, protocol},
             ReportFirst<bool>("BL", std::move(done)));
}

void CBrowserLink::UnRegisterViewer(const std::string& server, const std::string& mimeType,
                                    Done<bool> done) {
    SendVerb(kTopicUnRegisterViewer, XTYP_REQUEST, "QCS,QCS", {server, mimeType},
             ReportFirst<bool>("BL", std::move(done)));
}

void CBrowserLink::UnRegisterWindowChange(const std::string& server, uint32_t windowId,
                                          Done<bool> done) {
    SendVerb(kTopicUnRegisterWindowChange, XTYP_REQUEST, "QCS,DW", {server, windowId},
             ReportFirst<bool>("BL", std::move(done)));
}

void CBrowserLink::WindowChange(uint32_t windowId, uint32_t flags, uint32_t x, uint32_t y,
                                uint32_t width, uint32_t height, std::function<void()> done) {
    std::vector<DdeValue> values = {windowId,   flags,      DdeValue{},
                                    DdeValue{}, DdeValue{}, DdeValue{}};
    if (flags & 1)
        values = {windowId, flags, x, y, width, height};
    SendVerb(kTopicWindowChange, XTYP_POKE, "DW,DW,DW,DW,DW,DW", values,
             ReportNothing(std::move(done)));
}

CBrowserLink* FindBrowserLinkByServiceName(const std::string& name) {
    for (CBrowserLink* link : AllBrowserLinks())
        if (link->OwnServiceName() == name)
            return link;
    return nullptr;
}

CDdeConversation* FindDdeConversation(HCONV conv) {
    for (CDdeConversation* conversation : AllDdeConversations())
        if (conversation->Conversation() == conv)
            return conversation;
    return nullptr;
}

CBrowserLink* FindBrowserLinkOfConversation(const CDdeConversation* conversation) {
    for (CBrowserLink* link : AllBrowserLinks()) {
        const auto& list = link->Conversations();
        if (std::find(list.begin(), list.end(), conversation) != list.end())
            return link;
    }
    return nullptr;
}

int DdeTopicIndex(HSZ topic) {
    if (!topic)
        return -1;
    for (int i = 0; i < kDdeTopicCount; ++i)
        if (g_topicHandles[i] && DdeCmpStringHandles(g_topicHandles[i], topic) == 0)
            return i;
    return -1;
}

HDDEDATA BrowserLinkDdeCallback(uint32_t type, uint32_t, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA,
                                uintptr_t, uintptr_t) {
    switch (type) {
    case XTYP_CONNECT:
        return HDDEDATA{FindBrowserLinkByServiceName(DdeQueryString(g_ddeInstance, hsz2)) ? 1u
                                                                                          : 0u};
    case XTYP_CONNECT_CONFIRM:
        if (CBrowserLink* link = FindBrowserLinkByServiceName(DdeQueryString(g_ddeInstance, hsz2)))
            link->AdoptConversation(new CDdeConversation(link->Owner(), conv));
        return {};
    case XTYP_REQUEST: {
        CDdeConversation* conversation = FindDdeConversation(conv);
        CBrowserLink* link = FindBrowserLinkOfConversation(conversation);
        if (!conversation || !link)
            return {};
        return ServeBrowserRequest(*link, *conversation, DdeTopicIndex(hsz1), hsz2);
    }
    case XTYP_POKE: {
        CDdeConversation* conversation = FindDdeConversation(conv);
        CBrowserLink* link = FindBrowserLinkOfConversation(conversation);
        if (!conversation || !link)
            return HDDEDATA{DDE_FNOTPROCESSED};
        return HDDEDATA{ServeBrowserPoke(*link, *conversation, DdeTopicIndex(hsz1), hsz2)};
    }
    case XTYP_DISCONNECT:
        if (CDdeConversation* conversation = FindDdeConversation(conv)) {
            if (CBrowserLink* link = FindBrowserLinkOfConversation(conversation))
                link->ForgetConversation(conversation);
            delete conversation;
        }
        return {};
    default:
        return {};
    }
}
