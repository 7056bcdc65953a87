#include "browserlink/ddeml.h"

#include "tests/browserlink/ddetestsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// One instance with a scripted server callback, ended with the test.
class CTestInstance {
public:
    CTestInstance() {
        EXPECT_EQ(DdeInitialize(
                      &m_id,
                      [this](uint32_t type, uint32_t format, HCONV conv, HSZ hsz1, HSZ hsz2,
                             HDDEDATA data, uintptr_t, uintptr_t) {
                          return OnCallback(type, format, conv, hsz1, hsz2, data);
                      },
                      0, 0),
                  DMLERR_NO_ERROR);
    }
    ~CTestInstance() { DdeUninitialize(m_id); }

    uint32_t Id() const { return m_id; }
    HSZ Str(const std::string& text) { return DdeCreateStringHandle(m_id, text, CP_WINANSI); }
    bool Register(const std::string& service) {
        return DdeNameService(m_id, Str(service), HSZ{}, DNS_REGISTER);
    }

    bool acceptConnect = true;
    std::vector<std::string> events;
    std::string lastPokeData;

private:
    HDDEDATA OnCallback(uint32_t type, uint32_t, HCONV, HSZ hsz1, HSZ hsz2, HDDEDATA data) {
        const std::string topic = DdeQueryString(m_id, hsz1);
        const std::string second = DdeQueryString(m_id, hsz2);
        switch (type) {
        case XTYP_CONNECT:
            events.push_back("connect " + second + " " + topic);
            return HDDEDATA{acceptConnect ? 1u : 0u};
        case XTYP_CONNECT_CONFIRM:
            events.push_back("confirm");
            return {};
        case XTYP_REQUEST: {
            events.push_back("request " + topic + " " + second);
            if (second == "none")
                return {};
            const std::string reply = "reply to " + second;
            return DdeCreateDataHandle(m_id, reply.c_str(), static_cast<uint32_t>(reply.size() + 1),
                                       0, hsz2, CF_TEXT, 0);
        }
        case XTYP_POKE:
            events.push_back("poke " + topic + " " + second);
            lastPokeData = DdeGetDataBytes(data);
            return HDDEDATA{second == "refuse" ? 0u : DDE_FACK};
        case XTYP_DISCONNECT:
            events.push_back("disconnect");
            return {};
        }
        return {};
    }

    uint32_t m_id = 0;
};

bool Contains(const std::vector<std::string>& events, const std::string& event) {
    return std::find(events.begin(), events.end(), event) != events.end();
}

std::string Request(CTestInstance& client, HCONV conv, const std::string& item,
                    uint32_t timeoutMs = 5000) {
    const HDDEDATA data = DdeClientTransaction(nullptr, 0, conv, client.Str(item), CF_TEXT,
                                               XTYP_REQUEST, timeoutMs, nullptr);
    if (!data)
        return "<null>";
    const std::string bytes = DdeGetDataBytes(data);
    DdeFreeDataHandle(data);
    return bytes.substr(0, bytes.find('\0'));
}

// Leaves a socket file that nobody listens on, as a crashed program would.
void MakeStaleSocket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

TEST(DdeSubstitute, CreatesMissingDirectoryPrivateAndRefusesOneOthersMayEnter) {
    CPrivateDdeDir base;
    const std::string nested = base.Path() + "/made";
    setenv("WAYFOLD_DDE_DIR", nested.c_str(), 1);
    uint32_t id = 0;
    ASSERT_EQ(DdeInitialize(&id, nullptr, 0, 0), DMLERR_NO_ERROR);
    EXPECT_NE(id, 0u);
    DdeUninitialize(id);
    struct stat info {};
    ASSERT_EQ(stat(nested.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    for (mode_t mode : {0750, 0705, 0777}) {
        ASSERT_EQ(chmod(nested.c_str(), mode), 0);
        id = 42;
        EXPECT_EQ(DdeInitialize(&id, nullptr, 0, 0), DMLERR_SYS_ERROR) << std::oct << mode;
        EXPECT_EQ(id, 0u);
    }
    ASSERT_EQ(chmod(nested.c_str(), 0700), 0);
    if (geteuid() == 0) {
        // Only root can hand the directory to somebody else.
        ASSERT_EQ(chown(nested.c_str(), 65534, 65534), 0);
        EXPECT_EQ(DdeInitialize(&id, nullptr, 0, 0), DMLERR_SYS_ERROR);
    }
}

TEST(DdeSubstitute, RegisteredServiceListensOnLowerCaseSocket) {
    CPrivateDdeDir dir;
    CTestInstance server;
    ASSERT_TRUE(server.Register("NETSCAPE"));
    struct stat info {};
    ASSERT_EQ(lstat(dir.SocketPath("netscape").c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    DdeNameService(server.Id(), server.Str("netscape"), HSZ{}, DNS_UNREGISTER);
    EXPECT_NE(lstat(dir.SocketPath("netscape").c_str(), &info), 0);
}

TEST(DdeSubstitute, StaleSocketIsReplacedButLiveOneRefusesRegistration) {
    CPrivateDdeDir dir;
    MakeStaleSocket(dir.Path() + "/opera");
    CTestInstance first;
    ASSERT_TRUE(first.Register("OPERA"));
    CTestInstance second;
    EXPECT_FALSE(second.Register("Opera"));
    EXPECT_EQ(DdeGetLastError(second.Id()), DMLERR_DLL_USAGE);
    EXPECT_EQ(DdeGetLastError(second.Id()), DMLERR_NO_ERROR); // reading clears it

    // The first one still answers.
    CTestInstance client;
    const HCONV conv = DdeConnect(client.Id(), client.Str("opera"), client.Str("T"), nullptr);
    ASSERT_TRUE(conv);
    EXPECT_EQ(Request(client, conv, "x"), "reply to x");
    DdeDisconnect(conv);
}

TEST(DdeSubstitute, ConversationCarriesRequestsPokesAndDisconnect) {
    CPrivateDdeDir dir;
    CTestInstance server;
    ASSERT_TRUE(server.Register("TARN2"));
    CTestInstance client;
    const HCONV conv =
        DdeConnect(client.Id(), client.Str("tarn2"), client.Str("WWW_Version"), nullptr);
    ASSERT_TRUE(conv);
    EXPECT_TRUE(Contains(server.events, "connect tarn2 WWW_Version") ||
                Contains(server.events, "connect TARN2 WWW_Version"));
    EXPECT_TRUE(Contains(server.events, "confirm"));

    EXPECT_EQ(Request(client, conv, "item one"), "reply to item one");
    EXPECT_EQ(Request(client, conv, "none"), "<null>");
    EXPECT_EQ(DdeGetLastError(client.Id()), DMLERR_NOTPROCESSED);

    uint32_t flags = 0;
    const std::string data = "poked bytes";
    EXPECT_TRUE(DdeClientTransaction(data.data(), static_cast<uint32_t>(data.size()), conv,
                                     client.Str("it"), CF_TEXT, XTYP_POKE, 5000, &flags));
    EXPECT_EQ(flags, DDE_FACK);
    EXPECT_EQ(server.lastPokeData, data);
    EXPECT_FALSE(DdeClientTransaction(nullptr, 0, conv, client.Str("refuse"), CF_TEXT, XTYP_POKE,
                                      5000, &flags));
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(DdeGetLastError(client.Id()), DMLERR_NOTPROCESSED);

    EXPECT_TRUE(DdeDisconnect(conv));
    EXPECT_TRUE(WaitUntil([&] { return Contains(server.events, "disconnect"); }));
    EXPECT_FALSE(
        DdeClientTransaction(nullptr, 0, conv, HSZ{}, CF_TEXT, XTYP_REQUEST, 100, nullptr));
}

TEST(DdeSubstitute, ConnectFailsQuietlyWithoutServerOrWhenRefused) {
    CPrivateDdeDir dir;
    CTestInstance client;
    EXPECT_FALSE(
        DdeConnect(client.Id(), client.Str("IEXPLORE"), client.Str("WWW_Version"), nullptr));
    EXPECT_EQ(DdeGetLastError(client.Id()), DMLERR_NO_CONV_ESTABLISHED);

    CTestInstance server;
    server.acceptConnect = false;
    ASSERT_TRUE(server.Register("IEXPLORE"));
    EXPECT_FALSE(
        DdeConnect(client.Id(), client.Str("IEXPLORE"), client.Str("WWW_Version"), nullptr));
    EXPECT_EQ(DdeGetLastError(client.Id()), DMLERR_NO_CONV_ESTABLISHED);
    EXPECT_FALSE(Contains(server.events, "confirm"));
}

TEST(DdeSubstitute, StringHandlesCompareWithoutCase) {
    CPrivateDdeDir dir;
    CTestInstance instance;
    const HSZ a = instance.Str("WWW_URLEcho");
    const HSZ b = instance.Str("www_urlecho");
    EXPECT_EQ(DdeCmpStringHandles(a, b), 0);
    EXPECT_EQ(DdeQueryString(instance.Id(), b), "WWW_URLEcho");
    EXPECT_NE(DdeCmpStringHandles(a, instance.Str("WWW_Version")), 0);
    EXPECT_FALSE(instance.Str(""));
    EXPECT_FALSE(DdeCreateStringHandle(0, "x", CP_WINANSI)); // no instance: fails quietly
}

// Bad peers end their own conversation; the server goes on answering the next client.
TEST(DdeSubstitute, MalformedAndSilentPeersDoNotStopTheServer) {
    CPrivateDdeDir dir;
    CTestInstance server;
    ASSERT_TRUE(server.Register("TARN1"));
    const std::string path = dir.SocketPath("TARN1");
    const std::string connect = RawFrame('\x01', RawString("TARN1") + RawString("T"));

    CRawPeer silent(path); // connects and says nothing
    ASSERT_TRUE(silent.IsConnected());
    CRawPeer halfFrame(path);
    ASSERT_TRUE(halfFrame.Send(connect.substr(0, 7)));

    const std::vector<std::string> badStreams = {
        RawFrame('\x7f', ""),                                        // unknown kind
        Le32(0xFFFFFFF0),                                            // oversized length
        Le32(0),                                                     // empty frame
        RawFrame('\x01', RawString("TARN1") + Le32(1000) + "short"), // field past its frame
        connect + RawFrame('\x82', "\x01"),                          // a server's kind
        connect + RawFrame('\x02', Le32(1)),                         // request without item
        connect + connect,                                           // second CONNECT
    };
    for (const std::string& bytes : badStreams) {
        CRawPeer peer(path);
        ASSERT_TRUE(peer.IsConnected());
        ASSERT_TRUE(peer.Send(bytes));
        EXPECT_TRUE(peer.WaitForClose()) << "stream of " << bytes.size() << " bytes";
    }

    CTestInstance client;
    const HCONV conv = DdeConnect(client.Id(), client.Str("TARN1"), client.Str("T"), nullptr);
    ASSERT_TRUE(conv);
    EXPECT_EQ(Request(client, conv, "still here"), "reply to still here");
    DdeDisconnect(conv);

    // A raw peer that speaks correctly gets the exact wire answers.
    CRawPeer good(path);
    ASSERT_TRUE(good.Send(connect));
    EXPECT_EQ(good.Receive(6), Le32(2) + "\x81\x01");
    ASSERT_TRUE(good.Send(RawFrame('\x02', Le32(1) + RawString("q"))));
    const std::string reply = "reply to q";
    EXPECT_EQ(good.Receive(4 + 1 + 1 + 4 + 4 + reply.size() + 1),
              RawFrame('\x82',
                       std::string("\x01", 1) + Le32(1) + RawString(reply + std::string(1, '\0'))));
    ASSERT_TRUE(good.Send(RawFrame('\x03', Le32(1) + RawString("p") + RawString("d"))));
    EXPECT_EQ(good.Receive(9), RawFrame('\x83', Le32(DDE_FACK)));
}

TEST(DdeSubstitute, SilentServerGivesTheMatchingTimeOutError) {
    CPrivateDdeDir dir;
    // A server that accepts the conversation and then never answers.
    const std::string path = dir.SocketPath("NSShell");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    std::atomic<bool> stop{false};
    std::thread mute([&] {
        const int fd = ::accept(listener, nullptr, nullptr);
        const std::string yes = Le32(2) + "\x81\x01";
        [[maybe_unused]] ssize_t n = ::send(fd, yes.data(), yes.size(), MSG_NOSIGNAL);
        while (!stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ::close(fd);
    });

    CTestInstance client;
    const HCONV conv = DdeConnect(client.Id(), client.Str("NSShell"), client.Str("T"), nullptr);
    ASSERT_TRUE(conv);
    EXPECT_FALSE(DdeClientTransaction(nullptr, 0, conv, client.Str("i"), CF_TEXT, XTYP_REQUEST, 200,
                                      nullptr));
    EXPECT_EQ(DdeGetLastError(client.Id()), DMLERR_DATAACKTIMEOUT);
    // The conversation is over after a time-out.
    EXPECT_FALSE(
        DdeClientTransaction(nullptr, 0, conv, client.Str("i"), CF_TEXT, XTYP_POKE, 200, nullptr));
    EXPECT_EQ(DdeGetLastError(client.Id()), DMLERR_NO_CONV_ESTABLISHED);
    stop = true;
    mute.join();
    ::close(listener);
}

TEST(DdeSubstitute, SilentServerPokeTimesOutWithPokeError) {
    CPrivateDdeDir dir;
    const std::string path = dir.SocketPath("NSShell");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    std::thread mute([&] {
        const int fd = ::accept(listener, nullptr, nullptr);
        const std::string yes = Le32(2) + "\x81\x01";
        [[maybe_unused]] ssize_t n = ::send(fd, yes.data(), yes.size(), MSG_NOSIGNAL);
        char buffer[256];
        // Reads the poke, answers nothing, waits for the client to give up.
        while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
        ::close(fd);
    });
    CTestInstance client;
    const HCONV conv = DdeConnect(client.Id(), client.Str("NSShell"), client.Str("T"), nullptr);
    ASSERT_TRUE(conv);
    EXPECT_FALSE(
        DdeClientTransaction(nullptr, 0, conv, client.Str("i"), CF_TEXT, XTYP_POKE, 200, nullptr));
    EXPECT_EQ(DdeGetLastError(client.Id()), DMLERR_POKEACKTIMEOUT);
    DdeDisconnect(conv);
    mute.join();
    ::close(listener);
}

} // namespace

namespace {

using EBehaviour = CMisbehavingPeer::EBehaviour;

// Connects and asks one question without waiting; the outcome of whichever step ended it.
// Well above the slow peer's 250 ms, so that a loaded machine does not turn a late answer into
// a time-out.
constexpr int kAsyncTimeoutMs = 1000;

struct CAsyncCall {
    CAsyncCall(CTestInstance& client, uint32_t type) {
        conv = DdeConnectAsync(
            client.Id(), client.Str("NSShell"), client.Str("T"), kAsyncTimeoutMs,
            [this, &client, type](const DdeAsyncResult& connected) {
                if (connected.error != DMLERR_NO_ERROR) {
                    outcome = connected;
                    return;
                }
                ++steps;
                EXPECT_TRUE(DdeClientTransactionAsync(
                    nullptr, 0, conv, client.Str("i"), CF_TEXT, type, kAsyncTimeoutMs,
                    [this](const DdeAsyncResult& answered) { outcome = answered; }));
            });
    }
    HCONV conv;
    int steps = 0;
    std::optional<DdeAsyncResult> outcome;
};

} // namespace

// Asynchronous calls return at once; the event loop turns while they wait, and each ends the
// way its partner makes it end.
TEST(DdeSubstitute, AsyncCallsLetTheLoopTurnAndEndAsTheirPeerMakesThem) {
    CPrivateDdeDir dir;
    CTestInstance client;
    EXPECT_FALSE(DdeConnectAsync(client.Id(), client.Str("NSShell"), client.Str("T"), 400,
                                 [](const DdeAsyncResult&) { ADD_FAILURE() << "nobody listens"; }));
    EXPECT_EQ(DdeGetLastError(client.Id()), DMLERR_NO_CONV_ESTABLISHED);
    struct Case {
        EBehaviour behaviour;
        uint32_t type;
        int steps; // 1 when the conversation was opened
        uint32_t error;
        bool timedOut;
    };
    const Case cases[] = {
        {EBehaviour::kSilent, XTYP_REQUEST, 0, DMLERR_NO_CONV_ESTABLISHED, true},
        {EBehaviour::kHangs, XTYP_REQUEST, 1, DMLERR_DATAACKTIMEOUT, true},
        {EBehaviour::kHangs, XTYP_POKE, 1, DMLERR_POKEACKTIMEOUT, true},
        {EBehaviour::kSlow, XTYP_REQUEST, 1, DMLERR_NO_ERROR, false},
        {EBehaviour::kSlow, XTYP_POKE, 1, DMLERR_NO_ERROR, false},
        {EBehaviour::kClosesMidFrame, XTYP_REQUEST, 1, DMLERR_SERVER_DIED, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.behaviour) * 100 + (c.type == XTYP_POKE));
        CMisbehavingPeer peer(dir.SocketPath("NSShell"), c.behaviour, 250);
        CHeartbeat heartbeat;
        CAsyncCall call(client, c.type);
        ASSERT_TRUE(call.conv);
        ASSERT_TRUE(WaitUntil([&] { return call.outcome.has_value(); }));
        if (c.behaviour != EBehaviour::kClosesMidFrame) { // the others wait 250 ms or more
            EXPECT_GE(heartbeat.Beats(), 5);
        }
        EXPECT_EQ(call.steps, c.steps);
        EXPECT_EQ(call.outcome->error, c.error);
        EXPECT_EQ(call.outcome->timedOut, c.timedOut);
        EXPECT_EQ(static_cast<bool>(call.outcome->data), c.error == DMLERR_NO_ERROR);
        if (c.error == DMLERR_NO_ERROR && c.type == XTYP_REQUEST) {
            EXPECT_EQ(DdeGetDataBytes(call.outcome->data), std::string("\1\0\0\0", 4));
        }
        DdeFreeDataHandle(call.outcome->data);
        DdeDisconnect(call.conv);
    }
}

// A question on a conversation that still waits for its answer is refused, and a call
// abandoned by disconnecting never reports.
TEST(DdeSubstitute, OverlappingAndAbandonedAsyncCalls) {
    CPrivateDdeDir dir;
    CMisbehavingPeer peer(dir.SocketPath("NSShell"), EBehaviour::kSlow, 200);
    CTestInstance client;
    const HCONV conv = DdeConnect(client.Id(), client.Str("NSShell"), client.Str("T"), nullptr);
    ASSERT_TRUE(conv);
    int reports = 0;
    const auto count = [&reports](const DdeAsyncResult&) { ++reports; };
    ASSERT_TRUE(DdeClientTransactionAsync(nullptr, 0, conv, client.Str("a"), CF_TEXT, XTYP_REQUEST,
                                          5000, count));
    EXPECT_FALSE(DdeClientTransactionAsync(nullptr, 0, conv, client.Str("b"), CF_TEXT, XTYP_REQUEST,
                                           5000, count));
    EXPECT_EQ(DdeGetLastError(client.Id()), DMLERR_REENTRANCY);
    EXPECT_FALSE(DdeClientTransaction(nullptr, 0, conv, client.Str("c"), CF_TEXT, XTYP_REQUEST,
                                      5000, nullptr));
    EXPECT_EQ(DdeGetLastError(client.Id()), DMLERR_REENTRANCY);
    ASSERT_TRUE(WaitUntil([&] { return reports == 1; }));

    ASSERT_TRUE(DdeClientTransactionAsync(nullptr, 0, conv, client.Str("d"), CF_TEXT, XTYP_POKE,
                                          5000, count));
    EXPECT_TRUE(DdeDisconnect(conv));
    const HCONV connecting =
        DdeConnectAsync(client.Id(), client.Str("NSShell"), client.Str("T"), 5000, count);
    ASSERT_TRUE(connecting);
    EXPECT_TRUE(DdeDisconnect(connecting));
    WaitUntil([] { return false; }, 500);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(peer.Asked(), (std::vector<std::string>{"T a", "T d"}));
}
