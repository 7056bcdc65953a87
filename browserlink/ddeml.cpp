#include "browserlink/ddeml.h"

#include "browserlink/ddedirectory.h"
#include "browserlink/ddeinstance.h"

#include <cstdio>
#include <map>
#include <memory>
#include <strings.h>

namespace {

struct StringEntry {
    std::string text;
    int references = 0;
};

struct DataEntry {
    std::string bytes;
    uint32_t format = 0;
    HSZ item;
};

std::map<uint32_t, std::unique_ptr<CDdeInstance>>& Instances() {
    static std::map<uint32_t, std::unique_ptr<CDdeInstance>> instances;
    return instances;
}

std::map<uint32_t, StringEntry>& Strings() {
    static std::map<uint32_t, StringEntry> strings;
    return strings;
}

std::map<uint32_t, DataEntry>& DataHandles() {
    static std::map<uint32_t, DataEntry> data;
    return data;
}

CDdeInstance* FindInstance(uint32_t id) {
    auto it = Instances().find(id);
    return it == Instances().end() ? nullptr : it->second.get();
}

CDdeInstance* InstanceOf(HCONV conv) {
    for (auto& [id, instance] : Instances())
        if (instance->OwnsConversation(conv))
            return instance.get();
    return nullptr;
}

} // namespace

uint32_t DdeInitialize(uint32_t* instance, PFNCALLBACK callback, uint32_t, uint32_t) {
    static uint32_t nextId = 0;
    if (!instance)
        return DMLERR_INVALIDPARAMETER;
    *instance = 0;
    const std::string directory = DdeSocketDirectory();
    std::string why;
    if (!PrepareDdeDirectory(directory, why)) {
        std::fprintf(stderr, "wayfold: DDE socket directory refused: %s\n", why.c_str());
        return DMLERR_SYS_ERROR;
    }
    const uint32_t id = ++nextId;
    Instances()[id] = std::make_unique<CDdeInstance>(id, std::move(callback), directory);
    *instance = id;
    return DMLERR_NO_ERROR;
}

bool DdeUninitialize(uint32_t instance) {
    return Instances().erase(instance) != 0;
}

HSZ DdeCreateStringHandle(uint32_t instance, const std::string& text, int) {
    static uint32_t nextId = 0;
    if (!FindInstance(instance) || text.empty())
        return {};
    for (auto& [id, entry] : Strings()) {
        if (strcasecmp(entry.text.c_str(), text.c_str()) == 0 && entry.text.size() == text.size()) {
            ++entry.references;
            return HSZ{id};
        }
    }
    const uint32_t id = ++nextId;
    Strings()[id] = StringEntry{text, 1};
    return HSZ{id};
}

bool DdeFreeStringHandle(uint32_t instance, HSZ hsz) {
    auto it = Strings().find(hsz.id);
    if (!FindInstance(instance) || it == Strings().end())
        return false;
    if (--it->second.references <= 0)
        Strings().erase(it);
    return true;
}

std::string DdeQueryString(uint32_t, HSZ hsz) {
    auto it = Strings().find(hsz.id);
    return it == Strings().end() ? std::string() : it->second.text;
}

int DdeCmpStringHandles(HSZ hsz1, HSZ hsz2) {
    if (hsz1 == hsz2)
        return 0;
    const int order = strcasecmp(DdeQueryString(0, hsz1).c_str(), DdeQueryString(0, hsz2).c_str());
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

bool DdeNameService(uint32_t instance, HSZ service, HSZ, uint32_t command) {
    CDdeInstance* owner = FindInstance(instance);
    if (!owner)
        return false;
    if (command & DNS_REGISTER)
        return owner->RegisterService(service);
    if (command & DNS_UNREGISTER) {
        owner->UnregisterService(service);
        return true;
    }
    owner->SetLastError(DMLERR_INVALIDPARAMETER);
    return false;
}

HCONV DdeConnect(uint32_t instance, HSZ service, HSZ topic, const void*) {
    CDdeInstance* owner = FindInstance(instance);
    return owner ? owner->Connect(service, topic) : HCONV{};
}

bool DdeDisconnect(HCONV conv) {
    CDdeInstance* owner = InstanceOf(conv);
    return owner && owner->Disconnect(conv);
}

HDDEDATA DdeClientTransaction(const void* data, uint32_t length, HCONV conv, HSZ item,
                              uint32_t format, uint32_t type, uint32_t timeoutMs,
                              uint32_t* result) {
    CDdeInstance* owner = InstanceOf(conv);
    if (!owner) {
        if (result)
            *result = 0;
        return {};
    }
    return owner->Transaction(data, length, conv, item, format, type, timeoutMs, result);
}

HCONV DdeConnectAsync(uint32_t instance, HSZ service, HSZ topic, uint32_t timeoutMs,
                      PFNASYNCDONE done) {
    CDdeInstance* owner = FindInstance(instance);
    return owner ? owner->ConnectAsync(service, topic, timeoutMs, std::move(done)) : HCONV{};
}

bool DdeClientTransactionAsync(const void* data, uint32_t length, HCONV conv, HSZ item,
                               uint32_t format, uint32_t type, uint32_t timeoutMs,
                               PFNASYNCDONE done) {
    CDdeInstance* owner = InstanceOf(conv);
    return owner && owner->TransactionAsync(data, length, conv, item, format, type, timeoutMs,
                                            std::move(done));
}

HDDEDATA DdeCreateDataHandle(uint32_t instance, const void* source, uint32_t length,
                             uint32_t offset, HSZ item, uint32_t format, uint32_t) {
    // Ids below this never name data, so that kDdeTrue and small acknowledgement flags
    // returned by a callback cannot be taken for a data handle.
    static uint32_t nextId = 0x10000;
    if (!FindInstance(instance))
        return {};
    DataEntry entry;
    if (source && length > 0)
        entry.bytes.assign(static_cast<const char*>(source) + offset, length);
    entry.format = format;
    entry.item = item;
    const uint32_t id = ++nextId;
    DataHandles()[id] = std::move(entry);
    return HDDEDATA{id};
}

std::string DdeGetDataBytes(HDDEDATA data) {
    auto it = DataHandles().find(data.id);
    return it == DataHandles().end() ? std::string() : it->second.bytes;
}

uint32_t DdeGetDataFormat(HDDEDATA data) {
    auto it = DataHandles().find(data.id);
    return it == DataHandles().end() ? 0 : it->second.format;
}

bool DdeIsDataHandle(HDDEDATA data) {
    return DataHandles().count(data.id) != 0;
}

bool DdeFreeDataHandle(HDDEDATA data) {
    return DataHandles().erase(data.id) != 0;
}

uint32_t DdeGetLastError(uint32_t instance) {
    CDdeInstance* owner = FindInstance(instance);
    return owner ? owner->TakeLastError() : DMLERR_NO_ERROR;
}
