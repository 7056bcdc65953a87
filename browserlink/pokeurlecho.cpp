#include "browserlink/pokeurlecho.h"

#include "browserlink/ddeitemtext.h"
#include "browserlink/ddeml.h"

UrlEchoResult PokeUrlEcho(uint32_t instance, const std::string& service, const std::string& url,
                          const std::string& mimeType, uint32_t windowId, uint32_t timeoutMs) {
    const HSZ serviceHandle = DdeCreateStringHandle(instance, service, CP_WINANSI);
    const HSZ topic = DdeCreateStringHandle(instance, "WWW_URLEcho", CP_WINANSI);
    const HCONV conv = DdeConnect(instance, serviceHandle, topic, nullptr);
    UrlEchoResult result = UrlEchoResult::kNoAnswer;
    if (conv) {
        const std::string text =
            BuildDdeItemText("QCS,QCS,DW,QCS", {url, mimeType, windowId, DdeValue{}});
        const HSZ item = DdeCreateStringHandle(instance, text, CP_WINANSI);
        result =
            DdeClientTransaction(nullptr, 0, conv, item, CF_TEXT, XTYP_POKE, timeoutMs, nullptr)
                ? UrlEchoResult::kAcknowledged
                : UrlEchoResult::kNotAcknowledged;
        DdeFreeStringHandle(instance, item);
        DdeDisconnect(conv);
    }
    DdeFreeStringHandle(instance, topic);
    DdeFreeStringHandle(instance, serviceHandle);
    return result;
}
