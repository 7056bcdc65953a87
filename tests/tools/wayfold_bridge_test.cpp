// wayfold-bridge in its own process: native messages on its standard input and output, and
// the DDE side against an in-process peer that plays Wayfold.

#include "browserlink/browserurlrules.h"
#include "browserlink/ddeitemtext.h"
#include "browserlink/ddeml.h"
#include "tools/wayfold-bridge/nativemessagereader.h"

#include "tests/browserlink/ddetestsupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

const QString kBridge = QStringLiteral(WAYFOLD_BINARY_DIR "/tools/wayfold-bridge");
constexpr uint32_t kCurrentWindow = 0xFFFFFFFF;

// One wayfold-bridge process; its standard output is decoded as native messages.
class CBridge {
public:
    explicit CBridge(const QStringList& arguments = {"--wait", "0"},
                     const std::string& expectService = "") {
        m_process.start(kBridge, arguments);
        EXPECT_TRUE(m_process.waitForStarted(10000));
        if (!expectService.empty()) {
            EXPECT_TRUE(WaitUntil([&] { return Serves(expectService); })) << Errors();
        }
    }
    ~CBridge() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    bool Serves(const std::string& service) {
        return Errors().find("serving as " + service + "\n") != std::string::npos;
    }
    void SendRaw(const std::string& bytes) {
        m_process.write(bytes.data(), static_cast<qint64>(bytes.size()));
        m_process.waitForBytesWritten(5000);
    }
    void Send(const std::string& json) { SendRaw(*EncodeNativeMessage(json)); }
    // Every message written so far, each as a JSON object.
    std::vector<QJsonObject> Messages() {
        const QByteArray bytes = m_process.readAllStandardOutput();
        for (std::string& json : m_reader.Feed(bytes.constData(), bytes.size()))
            m_messages.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(json)).object());
        return m_messages;
    }
    // The messages of one type, in order.
    std::vector<QJsonObject> Messages(const QString& type) {
        std::vector<QJsonObject> found;
        for (const QJsonObject& message : Messages())
            if (message.value("type") == type)
                found.push_back(message);
        return found;
    }
    // True when everything written to standard output so far was whole messages.
    bool OutputIsWholeMessages() {
        Messages();
        return !m_reader.InsideMessage() && m_reader.SkippedCount() == 0;
    }
    void CloseInput() { m_process.closeWriteChannel(); }
    bool Exited() {
        return WaitUntil([this] { return m_process.state() == QProcess::NotRunning; });
    }
    int ExitCode() const { return m_process.exitCode(); }
    std::string Errors() {
        m_errors += m_process.readAllStandardError().toStdString();
        return m_errors;
    }

private:
    QProcess m_process;
    CNativeMessageReader m_reader;
    std::vector<QJsonObject> m_messages;
    std::string m_errors;
};

// Plays Wayfold's side: receives URL echoes on its own service and sends verbs to the bridge.
class CWayfoldPeer {
public:
    explicit CWayfoldPeer(std::string ownService = "TARN2") : m_ownService(std::move(ownService)) {
        EXPECT_EQ(DdeInitialize(
                      &m_id,
                      [this](uint32_t type, uint32_t, HCONV, HSZ hsz1, HSZ hsz2, HDDEDATA,
                             uintptr_t, uintptr_t) {
                          if (type == XTYP_CONNECT)
                              return HDDEDATA{1};
                          if (type == XTYP_POKE && DdeQueryString(m_id, hsz1) == "WWW_URLEcho") {
                              echoes.push_back(DdeQueryString(m_id, hsz2));
                              return HDDEDATA{DDE_FACK};
                          }
                          return HDDEDATA{};
                      },
                      0, 0),
                  DMLERR_NO_ERROR);
        EXPECT_TRUE(Register(m_ownService));
    }
    ~CWayfoldPeer() { DdeUninitialize(m_id); }

    bool Register(const std::string& service) {
        return DdeNameService(m_id, Str(service), HSZ{}, DNS_REGISTER);
    }
    bool Unregister(const std::string& service) {
        return DdeNameService(m_id, Str(service), HSZ{}, DNS_UNREGISTER);
    }
    // The reply bytes of a request, std::nullopt when no data (or no conversation) came.
    std::optional<std::string> Request(const std::string& service, const std::string& topic,
                                       const std::string& item) {
        const HCONV conv = DdeConnect(m_id, Str(service), Str(topic), nullptr);
        if (!conv)
            return std::nullopt;
        const HDDEDATA data =
            DdeClientTransaction(nullptr, 0, conv, Str(item), CF_TEXT, XTYP_REQUEST, 5000, nullptr);
        DdeDisconnect(conv);
        if (!data)
            return std::nullopt;
        std::string bytes = DdeGetDataBytes(data);
        DdeFreeDataHandle(data);
        return bytes;
    }
    bool Poke(const std::string& service, const std::string& topic, const std::string& item) {
        const HCONV conv = DdeConnect(m_id, Str(service), Str(topic), nullptr);
        if (!conv)
            return false;
        const bool acknowledged = static_cast<bool>(
            DdeClientTransaction(nullptr, 0, conv, Str(item), CF_TEXT, XTYP_POKE, 5000, nullptr));
        DdeDisconnect(conv);
        return acknowledged;
    }
    bool RegisterEcho(const std::string& service) {
        return Poke(service, "WWW_RegisterURLEcho", QuoteDdeText(m_ownService));
    }
    bool UnRegisterEcho(const std::string& service) {
        return Poke(service, "WWW_UnRegisterURLEcho", QuoteDdeText(m_ownService));
    }
    std::vector<uint32_t> ListWindows(const std::string& service) {
        return DecodeWindowList(
            Request(service, "WWW_ListWindows", "WWW_ListWindows").value_or(""));
    }
    // URL and title of a window, or std::nullopt when the bridge gives no data.
    std::optional<std::pair<std::string, std::string>> WindowInfo(const std::string& service,
                                                                  uint32_t id) {
        const auto bytes = Request(service, "WWW_GetWindowInfo", std::to_string(id));
        if (!bytes)
            return std::nullopt;
        const std::vector<DdeValue> values = ParseDdeReplyBytes(*bytes, "QCS,QCS");
        return std::pair{std::get<std::string>(values[0]), std::get<std::string>(values[1])};
    }

    std::vector<std::string> echoes;

private:
    HSZ Str(const std::string& text) { return DdeCreateStringHandle(m_id, text, CP_WINANSI); }

    uint32_t m_id = 0;
    std::string m_ownService;
};

std::string PageMessage(uint32_t tabId, const std::string& url, const std::string& title = "") {
    QJsonObject page{{"type", "page"},
                     {"tabId", static_cast<double>(tabId)},
                     {"url", QString::fromStdString(url)},
                     {"title", QString::fromStdString(title)}};
    return QJsonDocument(page).toJson(QJsonDocument::Compact).toStdString();
}

// The item text of WWW_URLEcho for a page of a tab.
std::string Echo(const std::string& url, uint32_t tabId) {
    return "\"" + url + "\",\"text/html\"," + std::to_string(tabId) + ",";
}

class BridgeTest : public ::testing::Test {
protected:
    CPrivateDdeDir dir;
};

TEST_F(BridgeTest, TakesTheFirstFreeOfNetscapeNSShellAndIExplore) {
    CWayfoldPeer other;
    ASSERT_TRUE(other.Register("NETSCAPE"));
    CBridge first(QStringList{}, "NSShell");
    CBridge second(QStringList{}, "IEXPLORE");
    CBridge third(QStringList{});
    EXPECT_TRUE(WaitUntil([&] { return third.Errors().find("all served") != std::string::npos; }))
        << third.Errors();
    // A name that comes free is taken by the next retry, and the browser learns which.
    ASSERT_TRUE(other.Unregister("NETSCAPE"));
    EXPECT_TRUE(WaitUntil([&] { return third.Serves("NETSCAPE"); }, 8000)) << third.Errors();
    EXPECT_TRUE(other.Request("NETSCAPE", "WWW_Version", "WWW_Version").has_value());
    ASSERT_TRUE(WaitUntil([&] { return third.Messages("status").size() == 2; }));
    EXPECT_EQ(third.Messages("status")[0].value("service"), "");
    EXPECT_EQ(third.Messages("status")[1].value("service"), "NETSCAPE");
}

TEST_F(BridgeTest, TellsTheBrowserWhetherWayfoldTakesThePages) {
    CBridge bridge({"--wait", "0"}, "NETSCAPE");
    const auto wayfoldSaid = [&] {
        std::vector<bool> said;
        for (const QJsonObject& status : bridge.Messages("status"))
            said.push_back(status.value("wayfold").toBool());
        return said;
    };
    ASSERT_TRUE(WaitUntil([&] { return wayfoldSaid() == std::vector<bool>{false}; }));
    auto wayfold = std::make_unique<CWayfoldPeer>();
    ASSERT_TRUE(wayfold->RegisterEcho("NETSCAPE"));
    ASSERT_TRUE(WaitUntil([&] { return wayfoldSaid() == std::vector<bool>{false, true}; }));
    wayfold.reset(); // Wayfold quits without unregistering, as it does
    ASSERT_TRUE(WaitUntil([&] {
        return wayfoldSaid() == std::vector<bool>{false, true, false};
    })) << bridge.Errors();
    EXPECT_EQ(bridge.Messages("status")[0],
              (QJsonObject{{"type", "status"}, {"service", "NETSCAPE"}, {"wayfold", false}}));
}

TEST_F(BridgeTest, EchoesPagesOnlyWhileAnEchoIsRegistered) {
    CWayfoldPeer wayfold;
    CBridge bridge({"--wait", "0"}, "NETSCAPE");
    bridge.Send(PageMessage(7, "http://127.0.0.1:9/before.html"));
    ASSERT_EQ(wayfold.ListWindows("NETSCAPE"), std::vector<uint32_t>{7});
    ASSERT_TRUE(wayfold.Request("NETSCAPE", "WWW_Version", "WWW_Version").has_value());
    ASSERT_TRUE(wayfold.RegisterEcho("NETSCAPE"));
    bridge.Send(PageMessage(7, "http://127.0.0.1:9/during.html"));
    ASSERT_TRUE(WaitUntil([&] { return wayfold.echoes.size() == 1; })) << bridge.Errors();
    ASSERT_TRUE(wayfold.UnRegisterEcho("NETSCAPE"));
    bridge.Send(PageMessage(8, "http://127.0.0.1:9/after.html"));
    ASSERT_TRUE(wayfold.RegisterEcho("NETSCAPE"));
    bridge.Send(PageMessage(8, "https://127.0.0.1:9/again.html"));
    ASSERT_TRUE(WaitUntil([&] { return wayfold.echoes.size() == 2; })) << bridge.Errors();
    EXPECT_EQ(wayfold.echoes, (std::vector<std::string>{
                                  Echo("http://127.0.0.1:9/during.html", 7),
                                  Echo("https://127.0.0.1:9/again.html", 8),
                              }));
}

TEST_F(BridgeTest, TabsShownBeforeAnEarlyFirstRegistrationAreEchoedThen) {
    CWayfoldPeer wayfold;
    CBridge bridge({"--wait", "30"}, "NETSCAPE");
    bridge.Send(R"({"type":"tabs","tabs":[)"
                R"({"tabId":11,"url":"http://127.0.0.1:9/one.html","title":"One","active":true},)"
                R"({"tabId":12,"url":"file:///tmp/two.html","title":"Two","active":false}]})");
    ASSERT_EQ(wayfold.ListWindows("NETSCAPE"), (std::vector<uint32_t>{11, 12}));
    // The tab the browser called active is the current window.
    EXPECT_EQ(wayfold.WindowInfo("NETSCAPE", kCurrentWindow)->first, "http://127.0.0.1:9/one.html");
    ASSERT_TRUE(wayfold.RegisterEcho("NETSCAPE"));
    ASSERT_TRUE(WaitUntil([&] { return wayfold.echoes.size() == 2; })) << bridge.Errors();
    EXPECT_EQ(wayfold.echoes, (std::vector<std::string>{Echo("http://127.0.0.1:9/one.html", 11),
                                                        Echo("file:///tmp/two.html", 12)}));
}

TEST_F(BridgeTest, ListsOpenTabsAndTellsEachOnesPageAndTitle) {
    CWayfoldPeer wayfold;
    CBridge bridge({"--wait", "0"}, "NETSCAPE");
    bridge.Send(PageMessage(3, "http://127.0.0.1:9/a.html", "A"));
    bridge.Send(PageMessage(5, "http://127.0.0.1:9/b.html", "B"));
    bridge.Send(PageMessage(9, "http://127.0.0.1:9/c%20d.html", "Say \"hi\", ok"));
    bridge.Send(R"({"type":"closed","tabId":5})");
    bridge.Send(R"({"type":"title","tabId":3,"title":"A, renamed"})");
    // A tab that leaves the web is no window of pages any more.
    bridge.Send(PageMessage(4, "http://127.0.0.1:9/e.html"));
    bridge.Send(PageMessage(4, "chrome://settings/"));

    ASSERT_TRUE(WaitUntil([&] { return wayfold.ListWindows("NETSCAPE").size() == 2; }));
    EXPECT_EQ(*wayfold.Request("NETSCAPE", "WWW_ListWindows", "WWW_ListWindows"),
              EncodeWindowList({3, 9}));
    EXPECT_EQ(wayfold.WindowInfo("NETSCAPE", 3),
              (std::pair<std::string, std::string>{"http://127.0.0.1:9/a.html", "A, renamed"}));
    EXPECT_EQ(
        wayfold.WindowInfo("NETSCAPE", 9),
        (std::pair<std::string, std::string>{"http://127.0.0.1:9/c%20d.html", "Say \"hi\", ok"}));
    EXPECT_EQ(wayfold.WindowInfo("NETSCAPE", 5), std::nullopt);
    EXPECT_EQ(wayfold.WindowInfo("NETSCAPE", 4), std::nullopt);
}

TEST_F(BridgeTest, OpenUrlAndActivateBecomeMessagesToTheBrowser) {
    CWayfoldPeer wayfold;
    CBridge bridge({"--wait", "0"}, "NETSCAPE");
    bridge.Send(PageMessage(3, "http://127.0.0.1:9/a.html"));
    ASSERT_EQ(wayfold.ListWindows("NETSCAPE").size(), 1u);

    // The item Wayfold sends for "Open Site" over its NETSCAPE link.
    const auto reply = wayfold.Request("NETSCAPE", "WWW_OpenURL",
                                       "\"http://127.0.0.1:9/x.html\",,4294967295,0,,,TARN2");
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(*reply, std::string("\xFF\xFF\xFF\xFF", 4));
    EXPECT_EQ(wayfold.Request("NETSCAPE", "WWW_OpenURL", "\"javascript:alert(1)\",,0,0,,,TARN2"),
              std::nullopt);
    EXPECT_EQ(*wayfold.Request("NETSCAPE", "WWW_Activate", "3,0"), Le32(3));
    EXPECT_EQ(wayfold.Request("NETSCAPE", "WWW_Activate", "99,0"), std::nullopt);

    ASSERT_TRUE(WaitUntil([&] {
        return bridge.Messages("open").size() == 1 && bridge.Messages("focus").size() == 1;
    }));
    EXPECT_EQ(bridge.Messages("open")[0],
              (QJsonObject{{"type", "open"}, {"url", "http://127.0.0.1:9/x.html"}}));
    EXPECT_EQ(bridge.Messages("focus")[0], (QJsonObject{{"type", "focus"}, {"tabId", 3}}));
    EXPECT_EQ(bridge.Messages().size(), bridge.Messages("status").size() + 2);
    EXPECT_TRUE(bridge.OutputIsWholeMessages());
}

TEST_F(BridgeTest, BadAndOversizedMessagesAreIgnoredAndTheNextOneIsTaken) {
    CWayfoldPeer wayfold;
    CBridge bridge({"--wait", "0"}, "NETSCAPE");
    bridge.Send("this is not JSON");
    bridge.Send("[1,2]");
    bridge.Send(R"({"type":"page","tabId":-1,"url":"http://127.0.0.1:9/neg.html"})");
    bridge.Send(R"({"type":"page","tabId":1.5,"url":"http://127.0.0.1:9/half.html"})");
    bridge.Send(R"({"type":"page","tabId":"2","url":"http://127.0.0.1:9/text.html"})");
    bridge.Send(R"({"type":"page","tabId":4294967295,"url":"http://127.0.0.1:9/max.html"})");
    bridge.Send(R"j({"type":"page","tabId":2,"url":"javascript:alert(1)"})j");
    bridge.Send(R"({"type":"page","tabId":2,"url":"http://127.0.0.1:9/)" + std::string(9000, 'l') +
                "\"}");
    const std::string oversized =
        R"({"type":"page","tabId":6,"url":"http://127.0.0.1:9/big.html","title":")" +
        std::string(kMaxNativeMessageBytes, 't') + "\"}";
    uint32_t length = static_cast<uint32_t>(oversized.size());
    bridge.SendRaw(std::string(reinterpret_cast<const char*>(&length), 4) + oversized);
    bridge.Send(PageMessage(7, "http://127.0.0.1:9/good.html"));

    ASSERT_TRUE(WaitUntil([&] { return !wayfold.ListWindows("NETSCAPE").empty(); }));
    EXPECT_EQ(wayfold.ListWindows("NETSCAPE"), std::vector<uint32_t>{7});
    // An echo service is a socket name: no path.
    for (const char* service : {"../tarn2", "..", ""})
        EXPECT_FALSE(wayfold.Poke("NETSCAPE", "WWW_RegisterURLEcho", QuoteDdeText(service)));
    EXPECT_NE(bridge.Errors().find("longer than"), std::string::npos) << bridge.Errors();
    EXPECT_NE(bridge.Errors().find("not a JSON object"), std::string::npos) << bridge.Errors();
}

TEST_F(BridgeTest, EndOfInputGivesUpTheServiceAndExits) {
    CWayfoldPeer wayfold;
    CBridge bridge({"--wait", "0"}, "NETSCAPE");
    // The browser dies in the middle of a message.
    bridge.SendRaw(EncodeNativeMessage(PageMessage(1, "http://127.0.0.1:9/a.html"))->substr(0, 9));
    bridge.CloseInput();
    ASSERT_TRUE(bridge.Exited());
    EXPECT_EQ(bridge.ExitCode(), 0);
    EXPECT_EQ(wayfold.Request("NETSCAPE", "WWW_Version", "WWW_Version"), std::nullopt);
    // The name is free for the next browser.
    EXPECT_TRUE(wayfold.Register("NETSCAPE"));
    EXPECT_TRUE(bridge.OutputIsWholeMessages());
}

TEST_F(BridgeTest, EchoesGoNowhereWhileWayfoldIsAwayAndResumeWhenItIsBack) {
    auto wayfold = std::make_unique<CWayfoldPeer>();
    CBridge bridge({"--wait", "0"}, "NETSCAPE");
    ASSERT_TRUE(wayfold->RegisterEcho("NETSCAPE"));
    wayfold.reset(); // Wayfold quits without unregistering, as it does
    bridge.Send(PageMessage(2, "http://127.0.0.1:9/unseen.html"));
    ASSERT_TRUE(WaitUntil([&] {
        return bridge.Errors().find("nobody takes the echoes") != std::string::npos;
    })) << bridge.Errors();

    wayfold = std::make_unique<CWayfoldPeer>();
    ASSERT_TRUE(wayfold->RegisterEcho("NETSCAPE"));
    bridge.Send(PageMessage(2, "http://127.0.0.1:9/seen.html"));
    ASSERT_TRUE(WaitUntil([&] { return !wayfold->echoes.empty(); })) << bridge.Errors();
    EXPECT_EQ(wayfold->echoes, std::vector<std::string>{Echo("http://127.0.0.1:9/seen.html", 2)});
}

} // namespace
