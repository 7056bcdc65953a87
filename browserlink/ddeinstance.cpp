#include "browserlink/ddeinstance.h"

#include "browserlink/ddedirectory.h"
#include "browserlink/ddeframe.h"
#include "browserlink/ddesocket.h"

#include <QSocketNotifier>
#include <QTimerEvent>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

// A peer that leaves this much of our output unread is dropped rather than buffered further.
constexpr size_t kMaxPendingOutput = 2 * static_cast<size_t>(kDdeMaxFrameLength);
constexpr int kMaxAcceptsPerWakeup = 64;

std::set<CDdeInstance*>& LiveInstances() {
    static std::set<CDdeInstance*> instances;
    return instances;
}

uint32_t NextConversationId() {
    static uint32_t next = 0;
    return ++next;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
    if (path.size() >= sizeof address.sun_path)
        return false;
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

enum class ProbeResult { Answers, Stale, Missing, Foreign };

// Looks at an existing socket file: does a live server answer on it?
ProbeResult ProbeSocketFile(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return errno == ENOENT ? ProbeResult::Missing : ProbeResult::Foreign;
    if (!S_ISSOCK(info.st_mode))
        return ProbeResult::Foreign;
    std::unique_ptr<CDdeSocket> probe(CDdeSocket::ConnectTo(path));
    if (probe)
        return ProbeResult::Answers;
    // A full backlog means somebody listens but is busy.
    return errno == EAGAIN ? ProbeResult::Answers : ProbeResult::Stale;
}

} // namespace

struct CDdeInstance::Listener {
    std::string path;
    int fd = -1;
    ino_t inode = 0;
    QSocketNotifier* notifier = nullptr;
};

struct CDdeInstance::Conversation {
    bool server = false;
    bool connected = false;
    bool peerClosed = false;
    std::unique_ptr<CDdeSocket> socket;      // null once a client conversation has ended
    QSocketNotifier* readNotifier = nullptr; // server side; client side while asked asynchronously
    QSocketNotifier* writeNotifier = nullptr;
    HSZ service;
    HSZ topic;
    // An asynchronous client call: what it waits for, its deadline timer and who hears of it.
    Awaiting awaiting = Awaiting::Nothing;
    uint32_t awaitedType = 0;
    HSZ awaitedItem;
    int timerId = 0;
    PFNASYNCDONE done;
};

CDdeInstance::CDdeInstance(uint32_t id, PFNCALLBACK callback, std::string directory)
    : m_id(id), m_callback(std::move(callback)), m_directory(std::move(directory)) {
    LiveInstances().insert(this);
}

CDdeInstance::~CDdeInstance() {
    LiveInstances().erase(this);
    UnregisterService(HSZ{});
    while (!m_conversations.empty())
        EndConversation(m_conversations.begin()->first, false);
}

uint32_t CDdeInstance::TakeLastError() {
    const uint32_t error = m_lastError;
    m_lastError = DMLERR_NO_ERROR;
    return error;
}

bool CDdeInstance::RegisterService(HSZ service) {
    const std::string name = DdeQueryString(m_id, service);
    if (name.empty()) {
        m_lastError = DMLERR_INVALIDPARAMETER;
        return false;
    }
    const std::string key = Lower(name);
    if (m_listeners.count(key) != 0)
        return true;
    const std::string path = DdeSocketPath(m_directory, name);
    sockaddr_un address{};
    if (!FillAddress(path, address)) {
        m_lastError = DMLERR_SYS_ERROR;
        return false;
    }
    switch (ProbeSocketFile(path)) {
    case ProbeResult::Answers:
        m_lastError = DMLERR_DLL_USAGE;
        return false;
    case ProbeResult::Foreign:
        m_lastError = DMLERR_SYS_ERROR;
        return false;
    case ProbeResult::Stale:
        ::unlink(path.c_str());
        break;
    case ProbeResult::Missing:
        break;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_lastError = DMLERR_SYS_ERROR;
        return false;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        // Somebody else bound the name between our probe and our bind.
        m_lastError = errno == EADDRINUSE ? DMLERR_DLL_USAGE : DMLERR_SYS_ERROR;
        ::close(fd);
        return false;
    }
    ::chmod(path.c_str(), 0600);
    auto listener = std::make_unique<Listener>();
    listener->path = path;
    listener->fd = fd;
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0)
        listener->inode = info.st_ino;
    listener->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(listener->notifier, &QSocketNotifier::activated, this,
            [this, fd] { AcceptPending(fd); });
    m_listeners[key] = std::move(listener);
    return true;
}

void CDdeInstance::UnregisterService(HSZ service) {
    for (auto it = m_listeners.begin(); it != m_listeners.end();) {
        const bool matches = !service || it->first == Lower(DdeQueryString(m_id, service));
        if (!matches) {
            ++it;
            continue;
        }
        Listener& listener = *it->second;
        listener.notifier->setEnabled(false);
        listener.notifier->deleteLater();
        // Remove the socket file only while it is still ours.
        struct stat info {};
        if (lstat(listener.path.c_str(), &info) == 0 && info.st_ino == listener.inode)
            ::unlink(listener.path.c_str());
        ::close(listener.fd);
        it = m_listeners.erase(it);
    }
}

void CDdeInstance::AcceptPending(int listenerFd) {
    for (int i = 0; i < kMaxAcceptsPerWakeup; ++i) {
        const int fd = ::accept4(listenerFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        const uint32_t id = NextConversationId();
        auto conversation = std::make_unique<Conversation>();
        conversation->server = true;
        conversation->socket = std::make_unique<CDdeSocket>(fd);
        conversation->readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        conversation->writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
        conversation->writeNotifier->setEnabled(false);
        connect(conversation->readNotifier, &QSocketNotifier::activated, this,
                [this, id] { ServeConversation(id); });
        connect(conversation->writeNotifier, &QSocketNotifier::activated, this,
                [this, id] { FlushServer(id); });
        m_conversations[id] = std::move(conversation);
    }
}

void CDdeInstance::ServeConversation(uint32_t conv) {
    auto it = m_conversations.find(conv);
    if (it == m_conversations.end() || !it->second->server)
        return;
    const bool open = it->second->socket->ReadAvailable();
    for (;;) {
        it = m_conversations.find(conv);
        if (it == m_conversations.end())
            return;
        DdeFrame frame;
        const DdeFrameStatus status = it->second->socket->NextFrame(frame);
        if (status == DdeFrameStatus::Malformed) {
            EndConversation(conv, true);
            return;
        }
        if (status == DdeFrameStatus::NeedMore)
            break;
        HandleServerFrame(conv, frame);
    }
    if (!open) {
        EndConversation(conv, true);
        return;
    }
    FlushServer(conv);
}

void CDdeInstance::HandleServerFrame(uint32_t conv, const DdeFrame& frame) {
    const bool connected = m_conversations.at(conv)->connected;
    if (!connected && frame.kind == DdeFrameKind::Connect)
        AnswerConnect(conv, frame);
    else if (connected && frame.kind == DdeFrameKind::Request)
        AnswerRequest(conv, frame);
    else if (connected && frame.kind == DdeFrameKind::Poke)
        AnswerPoke(conv, frame);
    else
        EndConversation(conv, true); // out of order or a server's frame kind
}

void CDdeInstance::AnswerConnect(uint32_t conv, const DdeFrame& frame) {
    Conversation* conversation = m_conversations.at(conv).get();
    conversation->service = DdeCreateStringHandle(m_id, frame.service, CP_WINANSI);
    conversation->topic = DdeCreateStringHandle(m_id, frame.topic, CP_WINANSI);
    const HSZ service = conversation->service;
    const HSZ topic = conversation->topic;
    const bool accepted = static_cast<bool>(Call(XTYP_CONNECT, 0, 0, topic, service, {}));
    auto it = m_conversations.find(conv);
    if (it == m_conversations.end())
        return;
    DdeFrame answer;
    answer.kind = DdeFrameKind::Connected;
    answer.accepted = accepted;
    it->second->socket->QueueFrame(answer);
    it->second->socket->Flush();
    if (!accepted) {
        EndConversation(conv, false);
        return;
    }
    it->second->connected = true;
    Call(XTYP_CONNECT_CONFIRM, 0, conv, topic, service, {});
}

void CDdeInstance::AnswerRequest(uint32_t conv, const DdeFrame& frame) {
    const HSZ topic = m_conversations.at(conv)->topic;
    const HSZ item = DdeCreateStringHandle(m_id, frame.item, CP_WINANSI);
    const HDDEDATA reply = Call(XTYP_REQUEST, frame.format, conv, topic, item, {});
    DdeFreeStringHandle(m_id, item);
    DdeFrame answer;
    answer.kind = DdeFrameKind::Data;
    if (DdeIsDataHandle(reply)) {
        answer.present = true;
        answer.format = DdeGetDataFormat(reply);
        answer.data = DdeGetDataBytes(reply);
        DdeFreeDataHandle(reply);
    }
    auto it = m_conversations.find(conv);
    if (it == m_conversations.end())
        return;
    if (!it->second->socket->QueueFrame(answer)) {
        DdeFrame absent;
        absent.kind = DdeFrameKind::Data;
        it->second->socket->QueueFrame(absent);
    }
}

void CDdeInstance::AnswerPoke(uint32_t conv, const DdeFrame& frame) {
    const HSZ topic = m_conversations.at(conv)->topic;
    const HSZ item = DdeCreateStringHandle(m_id, frame.item, CP_WINANSI);
    const HDDEDATA data =
        DdeCreateDataHandle(m_id, frame.data.data(), static_cast<uint32_t>(frame.data.size()), 0,
                            item, frame.format, 0);
    const HDDEDATA flags = Call(XTYP_POKE, frame.format, conv, topic, item, data);
    DdeFreeDataHandle(data);
    DdeFreeStringHandle(m_id, item);
    auto it = m_conversations.find(conv);
    if (it == m_conversations.end())
        return;
    DdeFrame answer;
    answer.kind = DdeFrameKind::Ack;
    answer.flags = flags.id & (DDE_FACK | DDE_FBUSY);
    it->second->socket->QueueFrame(answer);
}

void CDdeInstance::FlushServer(uint32_t conv) {
    auto it = m_conversations.find(conv);
    if (it == m_conversations.end() || !it->second->server)
        return;
    Conversation& conversation = *it->second;
    if (!conversation.socket->Flush() || conversation.socket->PendingOutput() > kMaxPendingOutput) {
        EndConversation(conv, true);
        return;
    }
    conversation.writeNotifier->setEnabled(conversation.socket->PendingOutput() > 0);
}

void CDdeInstance::EndConversation(uint32_t conv, bool tellCallback) {
    auto it = m_conversations.find(conv);
    if (it == m_conversations.end())
        return;
    std::unique_ptr<Conversation> conversation = std::move(it->second);
    m_conversations.erase(it);
    for (QSocketNotifier* notifier : {conversation->readNotifier, conversation->writeNotifier}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    if (conversation->timerId != 0)
        killTimer(conversation->timerId);
    conversation->socket.reset();
    if (tellCallback && conversation->server && conversation->connected)
        Call(XTYP_DISCONNECT, 0, conv, {}, {}, {});
    DdeFreeStringHandle(m_id, conversation->service);
    DdeFreeStringHandle(m_id, conversation->topic);
}

HDDEDATA CDdeInstance::Call(uint32_t type, uint32_t format, uint32_t conv, HSZ hsz1, HSZ hsz2,
                            HDDEDATA data) {
    if (!m_callback)
        return {};
    return m_callback(type, format, HCONV{conv}, hsz1, hsz2, data, 0, 0);
}

void CDdeInstance::ServeAllOnce(int waitMs, CDdeSocket* clientSocket, bool& clientReadable) {
    enum class Kind { Client, Listener, Conversation };
    struct Watched {
        CDdeInstance* instance;
        Kind kind;
        uint32_t id;
        int fd;
    };
    std::vector<pollfd> fds;
    std::vector<Watched> watched;
    if (clientSocket) {
        const short events = POLLIN | (clientSocket->PendingOutput() > 0 ? POLLOUT : 0);
        fds.push_back({clientSocket->Fd(), events, 0});
        watched.push_back({nullptr, Kind::Client, 0, clientSocket->Fd()});
    }
    for (CDdeInstance* instance : LiveInstances()) {
        for (const auto& [name, listener] : instance->m_listeners) {
            fds.push_back({listener->fd, POLLIN, 0});
            watched.push_back({instance, Kind::Listener, 0, listener->fd});
        }
        for (const auto& [id, conversation] : instance->m_conversations) {
            if (!conversation->server)
                continue;
            const short events = POLLIN | (conversation->socket->PendingOutput() > 0 ? POLLOUT : 0);
            fds.push_back({conversation->socket->Fd(), events, 0});
            watched.push_back({instance, Kind::Conversation, id, conversation->socket->Fd()});
        }
    }
    clientReadable = false;
    if (::poll(fds.data(), fds.size(), std::max(0, waitMs)) <= 0)
        return;
    for (size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents == 0)
            continue;
        const Watched& w = watched[i];
        if (w.kind == Kind::Client) {
            if (fds[i].revents & POLLOUT)
                clientSocket->Flush();
            clientReadable = (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
            continue;
        }
        // Callbacks run below may end instances or conversations: look everything up again.
        if (LiveInstances().count(w.instance) == 0)
            continue;
        if (w.kind == Kind::Listener) {
            const auto& listeners = w.instance->m_listeners;
            if (std::any_of(listeners.begin(), listeners.end(),
                            [&w](const auto& entry) { return entry.second->fd == w.fd; }))
                w.instance->AcceptPending(w.fd);
        } else if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
            w.instance->ServeConversation(w.id);
        } else {
            w.instance->FlushServer(w.id);
        }
    }
}

CDdeInstance::WaitResult CDdeInstance::WaitForFrame(uint32_t conv,
                                                    std::chrono::steady_clock::time_point deadline,
                                                    DdeFrame& frame) {
    using namespace std::chrono;
    for (;;) {
        auto it = m_conversations.find(conv);
        if (it == m_conversations.end() || !it->second->socket)
            return WaitResult::Closed;
        Conversation& conversation = *it->second;
        const DdeFrameStatus status = conversation.socket->NextFrame(frame);
        if (status == DdeFrameStatus::Complete)
            return WaitResult::Frame;
        if (status == DdeFrameStatus::Malformed || conversation.peerClosed)
            return WaitResult::Closed;
        const auto remaining = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (remaining <= 0)
            return WaitResult::TimedOut;
        bool readable = false;
        CDdeSocket* socket = conversation.socket.get();
        ServeAllOnce(static_cast<int>(std::min<long long>(remaining, 1000)), socket, readable);
        if (!readable)
            continue;
        it = m_conversations.find(conv);
        if (it != m_conversations.end() && it->second->socket == nullptr)
            continue;
        if (it != m_conversations.end() && !it->second->socket->ReadAvailable())
            it->second->peerClosed = true;
    }
}

uint32_t CDdeInstance::StartConnect(HSZ service, HSZ topic) {
    const std::string name = DdeQueryString(m_id, service);
    std::unique_ptr<CDdeSocket> socket;
    if (!name.empty())
        socket.reset(CDdeSocket::ConnectTo(DdeSocketPath(m_directory, name)));
    if (!socket) {
        m_lastError = DMLERR_NO_CONV_ESTABLISHED;
        return 0;
    }
    DdeFrame hello;
    hello.kind = DdeFrameKind::Connect;
    hello.service = name;
    hello.topic = DdeQueryString(m_id, topic);
    socket->QueueFrame(hello);
    socket->Flush();
    const uint32_t id = NextConversationId();
    auto conversation = std::make_unique<Conversation>();
    conversation->socket = std::move(socket);
    m_conversations[id] = std::move(conversation);
    return id;
}

bool CDdeInstance::TakeConnectAnswer(uint32_t conv, WaitResult waited, const DdeFrame& answer) {
    if (waited != WaitResult::Frame || answer.kind != DdeFrameKind::Connected || !answer.accepted) {
        EndConversation(conv, false);
        m_lastError = DMLERR_NO_CONV_ESTABLISHED;
        return false;
    }
    m_conversations.at(conv)->connected = true;
    return true;
}

HCONV CDdeInstance::Connect(HSZ service, HSZ topic) {
    const uint32_t id = StartConnect(service, topic);
    if (id == 0)
        return {};
    DdeFrame answer;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kDdeConnectTimeoutMs);
    const WaitResult waited = WaitForFrame(id, deadline, answer);
    return TakeConnectAnswer(id, waited, answer) ? HCONV{id} : HCONV{};
}

bool CDdeInstance::Disconnect(HCONV conv) {
    if (m_conversations.count(conv.id) == 0)
        return false;
    EndConversation(conv.id, false);
    return true;
}

bool CDdeInstance::SendQuestion(const void* data, uint32_t length, HCONV conv, HSZ item,
                                uint32_t format, uint32_t type) {
    auto it = m_conversations.find(conv.id);
    if (it == m_conversations.end() || it->second->server) {
        m_lastError = DMLERR_INVALIDPARAMETER;
        return false;
    }
    Conversation& conversation = *it->second;
    if (!conversation.socket || !conversation.connected) {
        m_lastError = DMLERR_NO_CONV_ESTABLISHED;
        return false;
    }
    if (conversation.awaiting != Awaiting::Nothing) {
        m_lastError = DMLERR_REENTRANCY;
        return false;
    }
    if (type != XTYP_REQUEST && type != XTYP_POKE) {
        m_lastError = DMLERR_INVALIDPARAMETER;
        return false;
    }
    DdeFrame question;
    question.kind = type == XTYP_REQUEST ? DdeFrameKind::Request : DdeFrameKind::Poke;
    question.format = format;
    question.item = DdeQueryString(m_id, item);
    if (type == XTYP_POKE && data && length > 0)
        question.data.assign(static_cast<const char*>(data), length);
    if (!conversation.socket->QueueFrame(question)) {
        m_lastError = DMLERR_MEMORY_ERROR;
        return false;
    }
    conversation.socket->Flush();
    return true;
}

DdeAsyncResult CDdeInstance::TakeAnswer(uint32_t conv, uint32_t type, HSZ item, WaitResult waited,
                                        const DdeFrame& answer) {
    DdeAsyncResult result;
    const DdeFrameKind expected = type == XTYP_REQUEST ? DdeFrameKind::Data : DdeFrameKind::Ack;
    if (waited != WaitResult::Frame || answer.kind != expected) {
        // The conversation cannot be trusted any more: a late answer would be taken for the
        // answer to the next question.
        auto it = m_conversations.find(conv);
        if (it != m_conversations.end())
            DropClientSocket(*it->second);
        result.timedOut = waited == WaitResult::TimedOut;
        if (result.timedOut)
            result.error = type == XTYP_REQUEST ? DMLERR_DATAACKTIMEOUT : DMLERR_POKEACKTIMEOUT;
        else
            result.error = DMLERR_SERVER_DIED;
    } else if (type == XTYP_POKE) {
        result.flags = answer.flags;
        if (answer.flags & DDE_FACK)
            result.data = HDDEDATA{kDdeTrue};
        else
            result.error = (answer.flags & DDE_FBUSY) ? DMLERR_BUSY : DMLERR_NOTPROCESSED;
    } else if (!answer.present) {
        result.error = DMLERR_NOTPROCESSED;
    } else {
        result.data =
            DdeCreateDataHandle(m_id, answer.data.data(), static_cast<uint32_t>(answer.data.size()),
                                0, item, answer.format, 0);
    }
    if (result.error != DMLERR_NO_ERROR)
        m_lastError = result.error;
    return result;
}

HDDEDATA CDdeInstance::Transaction(const void* data, uint32_t length, HCONV conv, HSZ item,
                                   uint32_t format, uint32_t type, uint32_t timeoutMs,
                                   uint32_t* result) {
    if (result)
        *result = 0;
    if (!SendQuestion(data, length, conv, item, format, type))
        return {};
    DdeFrame answer;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const WaitResult waited = WaitForFrame(conv.id, deadline, answer);
    const DdeAsyncResult outcome = TakeAnswer(conv.id, type, item, waited, answer);
    if (result)
        *result = outcome.flags;
    return outcome.data;
}

HCONV CDdeInstance::ConnectAsync(HSZ service, HSZ topic, uint32_t timeoutMs, PFNASYNCDONE done) {
    const uint32_t id = StartConnect(service, topic);
    if (id == 0)
        return {};
    Await(id, Awaiting::Connected, 0, HSZ{}, timeoutMs, std::move(done));
    return HCONV{id};
}

bool CDdeInstance::TransactionAsync(const void* data, uint32_t length, HCONV conv, HSZ item,
                                    uint32_t format, uint32_t type, uint32_t timeoutMs,
                                    PFNASYNCDONE done) {
    if (!SendQuestion(data, length, conv, item, format, type))
        return false;
    Await(conv.id, Awaiting::Answer, type, item, timeoutMs, std::move(done));
    return true;
}

void CDdeInstance::Await(uint32_t conv, Awaiting what, uint32_t type, HSZ item, uint32_t timeoutMs,
                         PFNASYNCDONE done) {
    Conversation& conversation = *m_conversations.at(conv);
    conversation.awaiting = what;
    conversation.awaitedType = type;
    conversation.awaitedItem = item;
    conversation.done = std::move(done);
    conversation.timerId =
        startTimer(static_cast<int>(std::min<uint32_t>(std::max<uint32_t>(timeoutMs, 1), INT_MAX)));
    if (!conversation.readNotifier) {
        const int fd = conversation.socket->Fd();
        conversation.readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        conversation.writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
        connect(conversation.readNotifier, &QSocketNotifier::activated, this,
                [this, conv] { ReadClient(conv); });
        connect(conversation.writeNotifier, &QSocketNotifier::activated, this,
                [this, conv] { FlushClient(conv); });
    }
    conversation.writeNotifier->setEnabled(conversation.socket->PendingOutput() > 0);
    // An answer read during an earlier wait is already buffered: the socket will not say so.
    if (conversation.socket->HasBufferedInput())
        QMetaObject::invokeMethod(
            this, [this, conv] { ReadClient(conv); }, Qt::QueuedConnection);
}

void CDdeInstance::ReadClient(uint32_t conv) {
    auto it = m_conversations.find(conv);
    if (it == m_conversations.end() || it->second->server || !it->second->socket)
        return;
    Conversation& conversation = *it->second;
    const bool open = conversation.socket->ReadAvailable();
    DdeFrame frame;
    const DdeFrameStatus status = conversation.socket->NextFrame(frame);
    if (conversation.awaiting == Awaiting::Nothing) {
        // Nothing was asked: a frame now is out of order, and a peer that closed is gone.
        if (!open || status != DdeFrameStatus::NeedMore)
            DropClientSocket(conversation);
        return;
    }
    if (status == DdeFrameStatus::NeedMore && open)
        return;
    FinishAwait(conv, status == DdeFrameStatus::Complete ? WaitResult::Frame : WaitResult::Closed,
                frame);
}

void CDdeInstance::FlushClient(uint32_t conv) {
    auto it = m_conversations.find(conv);
    if (it == m_conversations.end() || !it->second->socket)
        return;
    Conversation& conversation = *it->second;
    if (conversation.socket->Flush()) {
        conversation.writeNotifier->setEnabled(conversation.socket->PendingOutput() > 0);
        return;
    }
    if (conversation.awaiting != Awaiting::Nothing)
        FinishAwait(conv, WaitResult::Closed, DdeFrame{});
    else
        DropClientSocket(conversation);
}

void CDdeInstance::FinishAwait(uint32_t conv, WaitResult waited, const DdeFrame& frame) {
    Conversation& conversation = *m_conversations.at(conv);
    const Awaiting what = conversation.awaiting;
    const uint32_t type = conversation.awaitedType;
    const HSZ item = conversation.awaitedItem;
    PFNASYNCDONE done = std::move(conversation.done);
    conversation.done = nullptr;
    conversation.awaiting = Awaiting::Nothing;
    if (conversation.timerId != 0)
        killTimer(conversation.timerId);
    conversation.timerId = 0;
    DdeAsyncResult result;
    if (what == Awaiting::Connected) {
        if (!TakeConnectAnswer(conv, waited, frame)) {
            result.error = DMLERR_NO_CONV_ESTABLISHED;
            result.timedOut = waited == WaitResult::TimedOut;
        }
    } else {
        result = TakeAnswer(conv, type, item, waited, frame);
    }
    // Last: the caller may end the conversation, or the instance.
    if (done)
        done(result);
}

void CDdeInstance::timerEvent(QTimerEvent* event) {
    for (const auto& [id, conversation] : m_conversations) {
        if (conversation->timerId == event->timerId()) {
            FinishAwait(id, WaitResult::TimedOut, DdeFrame{});
            return;
        }
    }
    killTimer(event->timerId());
}

void CDdeInstance::DropClientSocket(Conversation& conversation) {
    for (QSocketNotifier** notifier : {&conversation.readNotifier, &conversation.writeNotifier}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
    conversation.socket.reset();
}
