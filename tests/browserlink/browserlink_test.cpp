#include "browserlink/browserlink.h"
#include "browserlink/browserlinkowner.h"
#include "browserlink/browserlinkset.h"
#include "browserlink/browserurlrules.h"
#include "model/errorreport.h"

#include "tests/browserlink/ddetestsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace {

class CFakeOwner : public CBrowserLinkOwner {
public:
    bool IsActiveMode() const override { return active; }
    bool IsNewUrl(const std::string& url) override {
        return known.count(url) == 0 &&
               std::find(started.begin(), started.end(), url) == started.end();
    }
    void StartAddUrl(const std::string& url) override { started.push_back(url); }

    bool active = true;
    std::set<std::string> known;
    std::vector<std::string> started;
};

// Plays one or more browser services in this process and records what it is asked.
class CFakeBrowser {
public:
    explicit CFakeBrowser(const std::vector<std::string>& services) {
        DdeInitialize(
            &m_id,
            [this](uint32_t type, uint32_t, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA, uintptr_t,
                   uintptr_t) { return OnDde(type, conv, hsz1, hsz2); },
            0, 0);
        for (const std::string& service : services)
            EXPECT_TRUE(DdeNameService(m_id, DdeCreateStringHandle(m_id, service, CP_WINANSI),
                                       HSZ{}, DNS_REGISTER))
                << service;
    }
    ~CFakeBrowser() { DdeUninitialize(m_id); }

    // "SERVICE TOPIC ITEM" for every request and poke, in arrival order.
    std::vector<std::string> calls;
    std::map<std::string, std::map<uint32_t, std::string>> windows; // service -> id -> URL
    std::set<std::string> listless; // services that do not answer WWW_ListWindows

private:
    HDDEDATA Data(const std::string& bytes) {
        return DdeCreateDataHandle(m_id, bytes.data(), static_cast<uint32_t>(bytes.size()), 0,
                                   HSZ{}, CF_TEXT, 0);
    }

    HDDEDATA OnDde(uint32_t type, HCONV conv, HSZ hsz1, HSZ hsz2) {
        if (type == XTYP_CONNECT)
            return HDDEDATA{1};
        if (type == XTYP_CONNECT_CONFIRM) {
            m_serviceOf[conv.id] = DdeQueryString(m_id, hsz2);
            return {};
        }
        if (type != XTYP_REQUEST && type != XTYP_POKE)
            return {};
        const std::string service = m_serviceOf[conv.id];
        const std::string topic = DdeQueryString(m_id, hsz1);
        const std::string item = DdeQueryString(m_id, hsz2);
        calls.push_back(service + " " + topic + " " + item);
        if (type == XTYP_POKE)
            return HDDEDATA{DDE_FACK};
        if (topic == "WWW_Version")
            return Data(std::string("\1\0\0\0", 4));
        if (topic == "WWW_ListWindows" && listless.count(service) == 0) {
            std::vector<uint32_t> ids;
            for (const auto& [id, url] : windows[service])
                ids.push_back(id);
            return Data(EncodeWindowList(ids));
        }
        if (topic == "WWW_GetWindowInfo") {
            const auto values = ParseDdeItemText(item, "DW");
            auto& list = windows[service];
            auto window = list.find(std::get<uint32_t>(values[0]));
            if (window == list.end())
                return {};
            return Data(*BuildDdeReplyBytes("QCS,QCS", {window->second, std::string("title")}));
        }
        if (topic == "WWW_OpenURL")
            return Data(*BuildDdeReplyBytes("DW", {1u}));
        return {};
    }

    uint32_t m_id = 0;
    std::map<uint32_t, std::string> m_serviceOf;
};

class BrowserLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(InitializeBrowserDde());
        m_previous =
            SetErrorHandler([this](const std::string& text, bool) { errors.push_back(text); });
    }
    void TearDown() override {
        SetErrorHandler(m_previous);
        UninitializeBrowserDde();
    }

    // A client of the program's own services, as a browser would be.
    std::string Ask(const std::string& service, const std::string& topic, const std::string& item,
                    uint32_t type, uint32_t* flags = nullptr, bool* answered = nullptr) {
        uint32_t id = 0;
        DdeInitialize(&id, nullptr, 0, 0);
        std::string bytes = "<no conversation>";
        const HCONV conv = DdeConnect(id, DdeCreateStringHandle(id, service, CP_WINANSI),
                                      DdeCreateStringHandle(id, topic, CP_WINANSI), nullptr);
        if (conv) {
            const HDDEDATA data =
                DdeClientTransaction(nullptr, 0, conv, DdeCreateStringHandle(id, item, CP_WINANSI),
                                     CF_TEXT, type, 5000, flags);
            if (answered)
                *answered = static_cast<bool>(data);
            bytes = DdeGetDataBytes(data);
            DdeDisconnect(conv);
        }
        DdeUninitialize(id);
        return bytes;
    }

    std::string Echo(const std::string& service, const std::string& url, const std::string& mime) {
        uint32_t flags = 0;
        Ask(service, "WWW_URLEcho", BuildDdeItemText("QCS,QCS,DW,QCS", {url, mime, 1u, DdeValue{}}),
            XTYP_POKE, &flags);
        return flags == DDE_FACK ? "ack" : "no ack";
    }

    CPrivateDdeDir dir;
    CFakeOwner owner;
    std::vector<std::string> errors;

private:
    ErrorHandler m_previous;
};

// One poll, waited for to its end.
void PollAndWait(CBrowserLinkSet& links) {
    links.PollBrowsers();
    EXPECT_TRUE(WaitUntil([&] {
        for (int i = 0; i < kBrowserLinkCount; ++i)
            if (links.IsPolling(static_cast<EBrowserLinkIndex>(i)))
                return false;
        return true;
    }));
}

uint32_t NumberOf(const std::string& name) {
    return static_cast<uint32_t>(std::stoul(name.substr(4)));
}

TEST_F(BrowserLinkTest, OwnServiceNamesCountUpAndListen) {
    CBrowserLink first("NSShell", &owner);
    CBrowserLink second("NETSCAPE", &owner);
    EXPECT_EQ(first.OwnServiceName().substr(0, 4), "TARN");
    EXPECT_EQ(NumberOf(second.OwnServiceName()), NumberOf(first.OwnServiceName()) + 1);
    EXPECT_TRUE(CRawPeer(dir.SocketPath(second.OwnServiceName())).IsConnected());
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(AllBrowserLinks().size(), 2u);
}

TEST_F(BrowserLinkTest, ConnectIsAcceptedForOwnNameOnAnyTopicAndRefusedForOthers) {
    CBrowserLink link("NETSCAPE", &owner);
    const std::string own = link.OwnServiceName();
    CRawPeer accepted(dir.SocketPath(own));
    accepted.Send(RawFrame('\x01', RawString(own) + RawString("Any topic at all")));
    EXPECT_EQ(accepted.Receive(6), Le32(2) + "\x81\x01");

    CRawPeer refused(dir.SocketPath(own));
    refused.Send(RawFrame('\x01', RawString("NETSCAPE") + RawString("WWW_URLEcho")));
    EXPECT_EQ(refused.Receive(6), Le32(2) + std::string("\x81\x00", 2));
    EXPECT_TRUE(refused.WaitForClose());
}

TEST_F(BrowserLinkTest, UrlEchoFollowsTypeExtensionModeAndNewness) {
    CBrowserLink link("NETSCAPE", &owner);
    const std::string own = link.OwnServiceName();
    owner.known.insert("http://stored.example/");
    struct Case {
        std::string url;
        std::string mime;
        bool active;
        bool taken;
    };
    const Case cases[] = {
        {"http://a.example/", "text/html", true, true},
        {"http://b.example/", "TEXT/HTML", true, false},
        {"http://c.example/", "internal/parser", true, true},
        {"http://d.example/x.GIF", "text/html", true, false},
        {"http://d.example/x.Jpg", "text/html", true, false},
        {"http://d.example/x.gifs", "text/html", true, true},
        {"http://e.example/", "text/html", false, false},
        {"http://stored.example/", "text/html", true, false},
        {"http://a.example/", "text/html", true, false}, // already being added
        {"http://f.example/", "image/png", true, false},
    };
    for (const Case& c : cases) {
        owner.active = c.active;
        const size_t before = owner.started.size();
        EXPECT_EQ(Echo(own, c.url, c.mime), "ack") << c.url;
        EXPECT_EQ(owner.started.size() - before, c.taken ? 1u : 0u) << c.url << " " << c.mime;
    }
    const std::vector<std::string> expected = {"http://a.example/", "http://c.example/",
                                               "http://d.example/x.gifs"};
    EXPECT_EQ(owner.started, expected);
}

TEST_F(BrowserLinkTest, ServedRequestsAnswerWithTimeFalseZeroAndATempName) {
    CPrivateDdeDir tempFolder; // a second private folder serves as the system's temp folder
    setenv("WAYFOLD_DDE_DIR", dir.Path().c_str(), 1);
    setenv("TMPDIR", tempFolder.Path().c_str(), 1);
    CBrowserLink link("NETSCAPE", &owner);
    const std::string own = link.OwnServiceName();
    const uint32_t before = static_cast<uint32_t>(std::time(nullptr));
    for (const char* topic : {"WWW_BeginProgress", "WWW_OpenURL"}) {
        const std::string reply = Ask(own, topic, "1,\"msg\"", XTYP_REQUEST);
        ASSERT_EQ(reply.size(), 4u) << topic;
        const uint32_t when = std::get<uint32_t>(ParseDdeReplyBytes(reply, "DW")[0]);
        EXPECT_GE(when, before);
        EXPECT_LE(when, static_cast<uint32_t>(std::time(nullptr)));
    }
    EXPECT_EQ(Ask(own, "WWW_MakingProgress", "1,\"m\",50", XTYP_REQUEST), std::string(2, '\0'));
    EXPECT_EQ(Ask(own, "WWW_Alert", "\"careful\",1,1", XTYP_REQUEST), std::string(4, '\0'));
    const std::string viewer = Ask(own, "WWW_QueryViewer", "\"http://x/\",\"a/b\"", XTYP_REQUEST);
    const std::string prefix = "\"" + tempFolder.Path() + "/nstest";
    EXPECT_EQ(viewer.substr(0, prefix.size()), prefix);
    EXPECT_EQ(viewer.substr(viewer.size() - 2), std::string("\"\0", 2));
    unsetenv("TMPDIR");

    bool answered = true;
    Ask(own, "WWW_Exit", "WWW_Exit", XTYP_REQUEST, nullptr, &answered);
    EXPECT_FALSE(answered);
    uint32_t flags = 99;
    Ask(own, "WWW_Version", "x", XTYP_POKE, &flags);
    EXPECT_EQ(flags, 0u);
    for (const char* topic :
         {"WWW_EndProgress", "WWW_SetProgressRange", "WWW_ViewDocFile", "WWW_WindowChange"}) {
        flags = 0;
        Ask(own, topic, "1", XTYP_POKE, &flags);
        EXPECT_EQ(flags, DDE_FACK) << topic;
    }
}

TEST_F(BrowserLinkTest, SentVerbsCarryTheirItemsAndReadTheirReplies) {
    CBrowserLink nsshell("NSShell", &owner);
    CBrowserLink link("NETSCAPE", &owner);
    const auto version = [&](auto done) { link.Version(done); };
    const auto listWindows = [&](auto done) { link.ListWindows(done); };
    EXPECT_FALSE(Await<bool>(version)); // nobody serves NETSCAPE yet
    EXPECT_TRUE(Await<std::vector<uint32_t>>(listWindows).empty());
    EXPECT_EQ(Await<std::string>([&](auto done) { link.GetWindowInfo(1, done); }), "");

    CFakeBrowser browser({"NETSCAPE"});
    browser.windows["NETSCAPE"] = {{3, "http://x.example/a%20b%20c.html"}, {9, "http://y/"}};
    EXPECT_TRUE(Await<bool>(version));
    EXPECT_TRUE(Await<bool>([&](auto done) { link.RegisterUrlEcho(done); }));
    EXPECT_EQ(Await<std::vector<uint32_t>>(listWindows), (std::vector<uint32_t>{3, 9}));
    EXPECT_EQ(Await<std::string>([&](auto done) { link.GetWindowInfo(3, done); }),
              "http://x.example/a b c.html");
    link.OpenUrl("http://site.example/", "", 0xFFFFFFFF, 0, "", "", link.OwnServiceName());
    ASSERT_TRUE(WaitUntil([&] { return !link.IsBusy(); }));

    const std::string own = link.OwnServiceName();
    const std::vector<std::string> expected = {
        "NETSCAPE WWW_Version WWW_Version",
        "NETSCAPE WWW_RegisterURLEcho \"" + own + "\"",
        "NETSCAPE WWW_ListWindows WWW_ListWindows",
        "NETSCAPE WWW_GetWindowInfo 3",
        "NETSCAPE WWW_OpenURL \"http://site.example/\",,4294967295,0,,," + own,
    };
    EXPECT_EQ(browser.calls, expected);
    EXPECT_EQ(NumberOf(own), NumberOf(nsshell.OwnServiceName()) + 1); // TARN2 after TARN1
    EXPECT_TRUE(link.Conversations().empty());
}

TEST_F(BrowserLinkTest, LastLinkFreesTheTopicTable) {
    uint32_t id = 0;
    DdeInitialize(&id, nullptr, 0, 0);
    const HSZ echo = DdeCreateStringHandle(id, "www_urlecho", CP_WINANSI);
    auto first = std::make_unique<CBrowserLink>("NSShell", &owner);
    auto second = std::make_unique<CBrowserLink>("NETSCAPE", &owner);
    EXPECT_EQ(DdeTopicIndex(echo), kTopicURLEcho);
    first.reset();
    EXPECT_EQ(DdeTopicIndex(echo), kTopicURLEcho);
    second.reset();
    EXPECT_EQ(DdeTopicIndex(echo), -1);
    DdeUninitialize(id);
}

TEST(DdeErrorNames, TableKeepsItsOwnSpelling) {
    EXPECT_EQ(DdeErrorNameOf(0), "");
    EXPECT_EQ(DdeErrorNameOf(0x4000), "ADVACKTIMEOUT");
    EXPECT_EQ(DdeErrorNameOf(0x4002), "DATAACKTIMEOUT");
    EXPECT_EQ(DdeErrorNameOf(0x4004), "DLL_USAGE");
    EXPECT_EQ(DdeErrorNameOf(0x4008), "DMLERR_MEMORY_ERROR");
    EXPECT_EQ(DdeErrorNameOf(0x4009), "DMLERR_NOTPROCESSED");
    EXPECT_EQ(DdeErrorNameOf(0x400B), "POKEACKTIMEOUT");
    EXPECT_EQ(DdeErrorNameOf(0x4011), "UNFOUND_QUEUE_ID");
    EXPECT_EQ(DdeErrorNameOf(0x4012), "Uknown Error");
    EXPECT_EQ(DdeErrorNameOf(1), "Uknown Error");
}

TEST_F(BrowserLinkTest, TakenOwnNameIsReportedAndConstructionGoesOn) {
    CBrowserLink first("NSShell", &owner);
    CFakeBrowser squatter({"TARN" + std::to_string(NumberOf(first.OwnServiceName()) + 1)});
    CBrowserLink second("NETSCAPE", &owner);
    EXPECT_EQ(errors, std::vector<std::string>{"DLL_USAGE"});
    EXPECT_EQ(AllBrowserLinks().size(), 2u);
}

TEST_F(BrowserLinkTest, PollVisitsBrowsersInOrderAndRegistersThoseThatAnswer) {
    CBrowserLinkSet links(&owner);
    PollAndWait(links); // nobody answers: nothing registered, nothing shown
    for (int i = 0; i < kBrowserLinkCount; ++i)
        EXPECT_FALSE(links.IsRegistered(static_cast<EBrowserLinkIndex>(i)));
    EXPECT_TRUE(errors.empty());

    auto browsers = std::make_unique<CFakeBrowser>(
        std::vector<std::string>{"NSShell", "NETSCAPE", "IEXPLORE", "OPERA"});
    PollAndWait(links);
    // The browsers answer each on their own, so only each link's own order is fixed.
    std::multiset<std::string> asked(browsers->calls.begin(), browsers->calls.end());
    for (const char* browser : {"NETSCAPE", "OPERA", "NSShell", "IEXPLORE"})
        EXPECT_EQ(asked.count(std::string(browser) + " WWW_Version WWW_Version"), 1u) << browser;
    for (int i = 0; i < kBrowserLinkCount; ++i)
        EXPECT_TRUE(links.IsRegistered(static_cast<EBrowserLinkIndex>(i)));
    const std::string netscapeEcho =
        "NETSCAPE WWW_RegisterURLEcho \"" + links.Link(kLinkNetscape).OwnServiceName() + "\"";
    const auto& calls = browsers->calls;
    EXPECT_LT(std::find(calls.begin(), calls.end(), "NETSCAPE WWW_Version WWW_Version"),
              std::find(calls.begin(), calls.end(), netscapeEcho));

    // Registered browsers are only asked for their version again.
    browsers->calls.clear();
    PollAndWait(links);
    EXPECT_EQ(browsers->calls.size(), 4u + 1u); // + OPERA's window list in Active Mode

    browsers.reset(); // all browsers quit
    PollAndWait(links);
    EXPECT_FALSE(links.IsRegistered(kLinkNetscape));
    EXPECT_FALSE(links.IsRegistered(kLinkOpera));

    browsers = std::make_unique<CFakeBrowser>(std::vector<std::string>{"NETSCAPE"});
    PollAndWait(links);
    EXPECT_TRUE(links.IsRegistered(kLinkNetscape));
    EXPECT_FALSE(links.IsRegistered(kLinkOpera));
    EXPECT_TRUE(errors.empty());
}

TEST_F(BrowserLinkTest, OperaWindowScanTakesNewPagesOnlyInActiveMode) {
    CBrowserLinkSet links(&owner);
    CFakeBrowser opera({"OPERA"});
    owner.known.insert("http://known/");
    opera.windows["OPERA"] = {{1, "http://one/"},
                              {2, ""},
                              {3, "http://pic.JPG"},
                              {4, "http://known/"},
                              {5, "http://two%20words/"}};
    PollAndWait(links); // registers; no scan before registration
    EXPECT_TRUE(owner.started.empty());
    owner.active = false;
    PollAndWait(links);
    EXPECT_TRUE(owner.started.empty());
    owner.active = true;
    PollAndWait(links);
    EXPECT_EQ(owner.started, (std::vector<std::string>{"http://one/", "http://two words/"}));
}

TEST_F(BrowserLinkTest, CaptureAsksFirstLinkByNumberAndOthersByTheirLists) {
    CBrowserLinkSet links(&owner);
    CFakeBrowser browsers({"NSShell", "IEXPLORE"});
    browsers.listless.insert("NSShell");
    browsers.windows["NSShell"] = {{0, "http://zero/"}, {29, "http://last/"}, {30, "http://not/"}};
    browsers.windows["IEXPLORE"] = {{7, "http://ie/"}, {8, "http://zero/"}, {9, "http://a.gif"}};
    owner.active = false;
    std::multiset<std::string> taken;
    std::optional<int> count;
    const auto take = [&](const std::string& url) {
        taken.insert(url);
        owner.StartAddUrl(url);
    };
    ASSERT_TRUE(links.CaptureCurrentPages(take, [&](int n) { count = n; }));
    EXPECT_FALSE(links.CaptureCurrentPages(take)); // one capture at a time
    ASSERT_TRUE(WaitUntil([&] { return count.has_value(); }));
    EXPECT_EQ(*count, 3);
    EXPECT_EQ(taken, (std::multiset<std::string>{"http://zero/", "http://last/", "http://ie/"}));
    size_t nsshellAsks = 0;
    for (const std::string& call : browsers.calls)
        nsshellAsks += call.rfind("NSShell WWW_GetWindowInfo", 0) == 0;
    EXPECT_EQ(nsshellAsks, 30u);
}

using EBehaviour = CMisbehavingPeer::EBehaviour;

// Verbs asked while one waits for a slow browser follow it, one conversation at a time, and the
// event loop turns meanwhile.
TEST_F(BrowserLinkTest, VerbsAskedWhileOneWaitsFollowItOneConversationAtATime) {
    CMisbehavingPeer browser(dir.SocketPath("NETSCAPE"), EBehaviour::kSlow, 200);
    CBrowserLink link("NETSCAPE", &owner);
    CHeartbeat heartbeat;
    std::vector<std::string> finished;
    link.Version([&](bool answered) { finished.push_back(answered ? "version" : "none"); });
    link.OpenUrl("http://a.example/", "", 1, 0, "", "", "", [&] { finished.push_back("open"); });
    link.ListWindows([&](const std::vector<uint32_t>& ids) {
        finished.push_back("list of " + std::to_string(ids.size()));
    });
    EXPECT_TRUE(finished.empty());
    ASSERT_TRUE(WaitUntil([&] { return finished.size() == 3; }));
    EXPECT_EQ(finished, (std::vector<std::string>{"version", "open", "list of 1"}));
    EXPECT_EQ(browser.Asked(),
              (std::vector<std::string>{"WWW_Version WWW_Version",
                                        "WWW_OpenURL \"http://a.example/\",,1,0,,,",
                                        "WWW_ListWindows WWW_ListWindows"}));
    EXPECT_EQ(browser.MostOpenAtOnce(), 1);
    EXPECT_GE(heartbeat.Beats(), 15); // three answers 200 ms late
    EXPECT_TRUE(link.Conversations().empty());
}

// A browser that lets the time run out costs one time-out per poll, not one per verb asked of
// it, and the next poll asks it again.
TEST_F(BrowserLinkTest, SilentBrowserCostsOneTimeOutPerPollAndIsAskedAgain) {
    for (EBehaviour behaviour : {EBehaviour::kSilent, EBehaviour::kHangs}) {
        SCOPED_TRACE(static_cast<int>(behaviour));
        CMisbehavingPeer browser(dir.SocketPath("NSShell"), behaviour);
        CBrowserLinkSet links(&owner);
        links.Link(kLinkNSShell).SetTimeouts(300, 300);
        std::optional<int> taken;
        ASSERT_TRUE(
            links.CaptureCurrentPages([](const std::string&) {}, [&](int n) { taken = n; }));
        ASSERT_TRUE(WaitUntil([&] { return taken.has_value(); }));
        EXPECT_EQ(*taken, 0);
        EXPECT_EQ(browser.Connections(), 1); // of the 30 windows asked
        EXPECT_TRUE(links.Link(kLinkNSShell).IsSilent());
        PollAndWait(links);
        EXPECT_EQ(browser.Connections(), 2);
    }
}

TEST(BrowserUrlRules, ImageExtensionsAndPercent20) {
    EXPECT_TRUE(IsImageUrl(".gif"));
    EXPECT_TRUE(IsImageUrl("http://x/a.GiF"));
    EXPECT_FALSE(IsImageUrl("http://x/a.gifs"));
    EXPECT_FALSE(IsImageUrl("gif"));
    EXPECT_FALSE(IsImageUrl("http://x/a.jpeg"));
    EXPECT_EQ(ReplacePercent20("a%20b%20c"), "a b c");
    EXPECT_EQ(ReplacePercent20("%2%20%200"), "%2  0");
    EXPECT_EQ(DecodeWindowList(EncodeWindowList({5, 6})), (std::vector<uint32_t>{5, 6}));
    EXPECT_EQ(DecodeWindowList(std::string("\5\0\0\0\6\0", 6)), (std::vector<uint32_t>{5}));
}

} // namespace
