#include "browserlink/browserlink.h"

#include "browserlink/browserurlrules.h"
#include "browserlink/ddeconversation.h"
#include "browserlink/servedverbs.h"
#include "model/errorreport.h"

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
    : m_owner(owner), m_browserServiceName(browserService) {
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
    while (!m_conversations.empty())
        Close(m_conversations.front());
    AllBrowserLinks().remove(this);
    DdeNameService(g_ddeInstance, m_ownService, HSZ{}, DNS_UNREGISTER);
    DdeFreeStringHandle(g_ddeInstance, m_ownService);
    DdeFreeStringHandle(g_ddeInstance, m_browserService);
    if (AllBrowserLinks().empty())
        FreeTopicHandles();
}

CDdeConversation* CBrowserLink::OpenVerbConversation(int topic) {
    if (topic < 0 || topic >= kDdeTopicCount)
        return nullptr;
    const HCONV conv = DdeConnect(g_ddeInstance, m_browserService, g_topicHandles[topic], nullptr);
    if (!conv)
        return nullptr;
    auto* conversation = new CDdeConversation(m_owner, conv);
    m_conversations.push_back(conversation);
    return conversation;
}

HDDEDATA CBrowserLink::Request(CDdeConversation* conversation, HSZ item) {
    const HDDEDATA data =
        DdeClientTransaction(nullptr, 0, conversation->Conversation(), item, CF_TEXT, XTYP_REQUEST,
                             kBrowserLinkTimeoutMs, nullptr);
    DdeFreeStringHandle(g_ddeInstance, item);
    return data;
}

HDDEDATA CBrowserLink::Poke(CDdeConversation* conversation, HSZ item) {
    const HDDEDATA data = DdeClientTransaction(nullptr, 0, conversation->Conversation(), item,
                                               CF_TEXT, XTYP_POKE, kBrowserLinkTimeoutMs, nullptr);
    DdeFreeStringHandle(g_ddeInstance, item);
    return data;
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

bool CBrowserLink::SendVerb(int topic, uint32_t type, const std::string& format,
                            const std::vector<DdeValue>& values, std::string* reply) {
    CDdeConversation* conversation = OpenVerbConversation(topic);
    if (!conversation)
        return false;
    const HSZ item = BuildItemString(format, values);
    const HDDEDATA data =
        type == XTYP_REQUEST ? Request(conversation, item) : Poke(conversation, item);
    if (reply)
        *reply = DdeGetDataBytes(data);
    if (DdeIsDataHandle(data))
        DdeFreeDataHandle(data);
    Close(conversation);
    return true;
}

std::vector<DdeValue> CBrowserLink::RequestValues(int topic, const std::string& format,
                                                  const std::vector<DdeValue>& values,
                                                  const std::string& replyFormat) {
    std::string reply;
    SendVerb(topic, XTYP_REQUEST, format, values, &reply);
    return ParseDdeReplyBytes(reply, replyFormat);
}

bool CBrowserLink::Version() {
    return SendVerb(kTopicVersion, XTYP_REQUEST, "CS", {std::string("WWW_Version")}, nullptr);
}

bool CBrowserLink::RegisterUrlEcho() {
    return SendVerb(kTopicRegisterURLEcho, XTYP_POKE, "QCS", {m_ownServiceName}, nullptr);
}

bool CBrowserLink::UnRegisterUrlEcho() {
    return SendVerb(kTopicUnRegisterURLEcho, XTYP_POKE, "QCS", {m_ownServiceName}, nullptr);
}

std::vector<uint32_t> CBrowserLink::ListWindows() {
    std::string reply;
    SendVerb(kTopicListWindows, XTYP_REQUEST, "CS", {std::string("WWW_ListWindows")}, &reply);
    return DecodeWindowList(reply);
}

std::string CBrowserLink::GetWindowInfo(uint32_t windowId) {
    const auto values = RequestValues(kTopicGetWindowInfo, "DW", {windowId}, "QCS,QCS");
    return ReplacePercent20(ValueOr<std::string>(values, 0, {}));
}

void CBrowserLink::OpenUrl(const std::string& url, const std::string& file, uint32_t windowId,
                           uint32_t flags, const std::string& formData, const std::string& mimeType,
                           const std::string& progressServer) {
    std::string reply;
    SendVerb(kTopicOpenURL, XTYP_REQUEST, "QCS,QCS,DW,DW,QCS,QCS,CS",
             {url, TextOrMissing(file), windowId, flags, TextOrMissing(formData),
              TextOrMissing(mimeType), TextOrMissing(progressServer)},
             &reply);
}

uint32_t CBrowserLink::Activate(uint32_t windowId, uint32_t flags) {
    return ValueOr<uint32_t>(RequestValues(kTopicActivate, "DW,DW", {windowId, flags}, "DW"), 0, 0);
}

void CBrowserLink::CancelProgress(uint32_t transactionId) {
    SendVerb(kTopicCancelProgress, XTYP_POKE, "DW", {transactionId}, nullptr);
}

void CBrowserLink::Exit() {
    SendVerb(kTopicExit, XTYP_POKE, "CS", {std::string("WWW_Exit")}, nullptr);
}

std::string CBrowserLink::ParseAnchor(const std::string& main, const std::string& relative) {
    return ValueOr<std::string>(
        RequestValues(kTopicParseAnchor, "QCS,QCS", {main, relative}, "QCS"), 0, {});
}

std::string CBrowserLink::QueryUrlFile(const std::string& file) {
    return ValueOr<std::string>(RequestValues(kTopicQueryURLFile, "QCS", {file}, "QCS"), 0, {});
}

bool CBrowserLink::RegisterProtocol(const std::string& server, const std::string& protocol) {
    return ValueOr<bool>(RequestValues(kTopicRegisterProtocol, "QCS,QCS", {server, protocol}, "BL"),
                         0, false);
}

bool CBrowserLink::RegisterViewer(const std::string& server, const std::string& mimeType,
                                  uint32_t flags) {
    return ValueOr<bool>(
        RequestValues(kTopicRegisterViewer, "QCS,QCS,DW", {server, mimeType, flags}, "BL"), 0,
        false);
}

uint32_t CBrowserLink::RegisterWindowChange(const std::string& server, uint32_t windowId) {
    return ValueOr<uint32_t>(
        RequestValues(kTopicRegisterWindowChange, "QCS,DW", {server, windowId}, "DW"), 0, 0);
}

uint32_t CBrowserLink::ShowFile(const std::string& file, const std::string& mimeType,
                                uint32_t windowId, const std::string& url) {
    return ValueOr<uint32_t>(
        RequestValues(kTopicShowFile, "QCS,QCS,DW,QCS", {file, mimeType, windowId, url}, "DW"), 0,
        0);
}

bool CBrowserLink::UnRegisterProtocol(const std::string& server, const std::string& protocol) {
    return ValueOr<bool>(
        RequestValues(kTopicUnRegisterProtocol, "QCS,QCS", {server, protocol}, "BL"), 0, false);
}

bool CBrowserLink::UnRegisterViewer(const std::string& server, const std::string& mimeType) {
    return ValueOr<bool>(RequestValues(kTopicUnRegisterViewer, "QCS,QCS", {server, mimeType}, "BL"),
                         0, false);
}

bool CBrowserLink::UnRegisterWindowChange(const std::string& server, uint32_t windowId) {
    return ValueOr<bool>(
        RequestValues(kTopicUnRegisterWindowChange, "QCS,DW", {server, windowId}, "BL"), 0, false);
}

void CBrowserLink::WindowChange(uint32_t windowId, uint32_t flags, uint32_t x, uint32_t y,
                                uint32_t width, uint32_t height) {
    std::vector<DdeValue> values = {windowId,   flags,      DdeValue{},
                                    DdeValue{}, DdeValue{}, DdeValue{}};
    if (flags & 1)
        values = {windowId, flags, x, y, width, height};
    SendVerb(kTopicWindowChange, XTYP_POKE, "DW,DW,DW,DW,DW,DW", values, nullptr);
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
