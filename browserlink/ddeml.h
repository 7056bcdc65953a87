#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The local DDE substitute: the operations of the DDE management library over Unix-domain
// sockets. A registered service listens on <socket directory>/<service in lower case>; one
// connection is one conversation. Every call belongs on the user-interface thread; server
// conversations are served from the Qt event loop. A client either waits (DdeConnect,
// DdeClientTransaction: server conversations are still served meanwhile, so two programs that
// ask each other at once do not deadlock) or goes on at once and hears of the result from the
// event loop (DdeConnectAsync, DdeClientTransactionAsync), which is what a window must use.

// Handles are process-wide numbers; 0 is the null handle.
struct HSZ {
    uint32_t id = 0;
    explicit operator bool() const { return id != 0; }
    bool operator==(const HSZ&) const = default;
};
struct HCONV {
    uint32_t id = 0;
    explicit operator bool() const { return id != 0; }
    bool operator==(const HCONV&) const = default;
};
// A data handle; as a callback result for XTYP_CONNECT and XTYP_POKE the number itself is the
// answer (non-zero accepts; DDE_FACK / DDE_FBUSY / 0).
struct HDDEDATA {
    uint32_t id = 0;
    explicit operator bool() const { return id != 0; }
    bool operator==(const HDDEDATA&) const = default;
};

constexpr uint32_t CF_TEXT = 1;
constexpr int CP_WINANSI = 1004;

constexpr uint32_t XTYP_CONNECT = 0x1062;
constexpr uint32_t XTYP_CONNECT_CONFIRM = 0x8072;
constexpr uint32_t XTYP_REQUEST = 0x20B0;
constexpr uint32_t XTYP_POKE = 0x4090;
constexpr uint32_t XTYP_DISCONNECT = 0x80C2;

constexpr uint32_t DDE_FACK = 0x8000;
constexpr uint32_t DDE_FBUSY = 0x4000;
constexpr uint32_t DDE_FNOTPROCESSED = 0;

constexpr uint32_t DNS_REGISTER = 0x0001;
constexpr uint32_t DNS_UNREGISTER = 0x0002;

constexpr uint32_t DMLERR_NO_ERROR = 0;
constexpr uint32_t DMLERR_ADVACKTIMEOUT = 0x4000;
constexpr uint32_t DMLERR_BUSY = 0x4001;
constexpr uint32_t DMLERR_DATAACKTIMEOUT = 0x4002;
constexpr uint32_t DMLERR_DLL_NOT_INITIALIZED = 0x4003;
constexpr uint32_t DMLERR_DLL_USAGE = 0x4004;
constexpr uint32_t DMLERR_EXECACKTIMEOUT = 0x4005;
constexpr uint32_t DMLERR_INVALIDPARAMETER = 0x4006;
constexpr uint32_t DMLERR_LOW_MEMORY = 0x4007;
constexpr uint32_t DMLERR_MEMORY_ERROR = 0x4008;
constexpr uint32_t DMLERR_NOTPROCESSED = 0x4009;
constexpr uint32_t DMLERR_NO_CONV_ESTABLISHED = 0x400A;
constexpr uint32_t DMLERR_POKEACKTIMEOUT = 0x400B;
constexpr uint32_t DMLERR_POSTMSG_FAILED = 0x400C;
constexpr uint32_t DMLERR_REENTRANCY = 0x400D;
constexpr uint32_t DMLERR_SERVER_DIED = 0x400E;
constexpr uint32_t DMLERR_SYS_ERROR = 0x400F;
constexpr uint32_t DMLERR_UNADVACKTIMEOUT = 0x4010;
constexpr uint32_t DMLERR_UNFOUND_QUEUE_ID = 0x4011;

// How long DdeConnect waits for the server's answer, in milliseconds.
constexpr uint32_t kDdeConnectTimeoutMs = 10000;

// The callback of an instance: XTYP_CONNECT (hsz1 topic, hsz2 service; non-zero result
// accepts), XTYP_CONNECT_CONFIRM (new conversation), XTYP_REQUEST (hsz1 topic, hsz2 item;
// result: a data handle the library sends and frees, or null), XTYP_POKE (hsz1 topic, hsz2
// item, data: the poked bytes, freed by the library; result: the acknowledgement flags),
// XTYP_DISCONNECT (the client ended the conversation).
using PFNCALLBACK =
    std::function<HDDEDATA(uint32_t type, uint32_t format, HCONV conv, HSZ hsz1, HSZ hsz2,
                           HDDEDATA data, uintptr_t data1, uintptr_t data2)>;

// Starts an instance: prepares the socket directory (see ddedirectory.h). Returns
// DMLERR_NO_ERROR and sets *instance, or DMLERR_SYS_ERROR and sets *instance to 0 when the
// directory is refused (the reason goes to standard error).
uint32_t DdeInitialize(uint32_t* instance, PFNCALLBACK callback, uint32_t commands,
                       uint32_t reserved);
// Ends every conversation (asynchronous calls that wait are abandoned: their `done` never
// runs) and removes the instance's service sockets. False for an unknown id.
bool DdeUninitialize(uint32_t instance);

// String handles are shared by all instances and compare without regard to case: creating a
// text that equals an existing one but for case returns that handle with one more reference.
// Null for an empty text or an unknown instance.
HSZ DdeCreateStringHandle(uint32_t instance, const std::string& text, int codePage);
bool DdeFreeStringHandle(uint32_t instance, HSZ hsz);
// The text of the handle (as first created); empty for the null or an unknown handle.
std::string DdeQueryString(uint32_t instance, HSZ hsz);
// 0 when the handles name the same text ignoring case, else -1 or 1 by that order.
int DdeCmpStringHandles(HSZ hsz1, HSZ hsz2);

// DNS_REGISTER: listens for the service. A socket file nobody answers on is replaced; one that
// answers makes the call fail with DMLERR_DLL_USAGE. DNS_UNREGISTER: stops listening (a null
// handle: every service of the instance). Existing conversations stay open.
bool DdeNameService(uint32_t instance, HSZ service, HSZ reserved, uint32_t command);

// Opens a conversation with the service on the topic. Null with DMLERR_NO_CONV_ESTABLISHED
// when nobody listens, the server refuses or does not answer in kDdeConnectTimeoutMs.
HCONV DdeConnect(uint32_t instance, HSZ service, HSZ topic, const void* context);
// Closes the conversation; the partner's callback sees XTYP_DISCONNECT.
bool DdeDisconnect(HCONV conv);

// What became of an asynchronous connect or transaction. `error` is what DdeGetLastError would
// give (DMLERR_NO_ERROR on success); `timedOut` tells a partner that let the time run out from
// one that refused or broke the conversation. For a transaction, `data` and `flags` are what
// DdeClientTransaction would return and put in *result.
struct DdeAsyncResult {
    uint32_t error = DMLERR_NO_ERROR;
    bool timedOut = false;
    HDDEDATA data;
    uint32_t flags = 0;
};
using PFNASYNCDONE = std::function<void(const DdeAsyncResult& result)>;

// Starts opening a conversation and returns its handle at once; `done` runs later from the
// event loop: DMLERR_NO_ERROR once the server accepted, else DMLERR_NO_CONV_ESTABLISHED (refused,
// closed, or no answer within timeoutMs) and the conversation is gone. Null, without `done`
// ever running, when nobody listens on the service's socket (or the instance is unknown).
// DdeDisconnect before `done` ran abandons the attempt and `done` never runs.
HCONV DdeConnectAsync(uint32_t instance, HSZ service, HSZ topic, uint32_t timeoutMs,
                      PFNASYNCDONE done);
// Starts an XTYP_REQUEST or XTYP_POKE on a conversation and returns true at once; `done` runs
// later from the event loop with the outcome DdeClientTransaction would have had (a time-out
// or a broken answer ends the conversation alike; the reply's data handle belongs to `done`'s
// caller). False, without `done` ever running, when it cannot start: the conversation is
// unknown or over (DMLERR_NO_CONV_ESTABLISHED), still waits for an answer of its own
// (DMLERR_REENTRANCY), or the type is neither. DdeDisconnect abandons a transaction that waits.
bool DdeClientTransactionAsync(const void* data, uint32_t length, HCONV conv, HSZ item,
                               uint32_t format, uint32_t type, uint32_t timeoutMs,
                               PFNASYNCDONE done);

// A synchronous XTYP_REQUEST (data unused; returns the reply's data handle, owned by the
// caller) or XTYP_POKE (sends the data; returns a non-null handle of no data when the server
// acknowledged with DDE_FACK, and the flags in *result). Null on failure: the time-out gives
// DMLERR_DATAACKTIMEOUT (request) or DMLERR_POKEACKTIMEOUT (poke) and ends the conversation;
// DMLERR_REENTRANCY while an asynchronous transaction of the conversation waits.
HDDEDATA DdeClientTransaction(const void* data, uint32_t length, HCONV conv, HSZ item,
                              uint32_t format, uint32_t type, uint32_t timeoutMs, uint32_t* result);

// The non-null result of a successful transaction that brings no data (an acknowledged poke).
constexpr uint32_t kDdeTrue = 1;

// Copies length bytes from `source` (from `offset`) into a new data handle.
HDDEDATA DdeCreateDataHandle(uint32_t instance, const void* source, uint32_t length,
                             uint32_t offset, HSZ item, uint32_t format, uint32_t commands);
// The bytes of a data handle (empty for the null or an unknown handle).
std::string DdeGetDataBytes(HDDEDATA data);
uint32_t DdeGetDataFormat(HDDEDATA data);
bool DdeIsDataHandle(HDDEDATA data);
bool DdeFreeDataHandle(HDDEDATA data);

// The instance's last error, which is cleared; 0 for an unknown instance.
uint32_t DdeGetLastError(uint32_t instance);
