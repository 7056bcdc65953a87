#pragma once

#include <cstdint>
#include <string>

// What became of a WWW_URLEcho poke.
enum class UrlEchoResult { kNoAnswer, kNotAcknowledged, kAcknowledged };

// Tells the program registered for URL echoes as `service` that a window shows a page, as a
// browser does: a conversation on WWW_URLEcho and a poke of the URL, the MIME type, the window
// id and an empty fourth field, waiting up to `timeoutMs` for the answer. `instance` is the
// caller's initialized DDE instance; every handle made here is freed again. kNoAnswer when
// nobody serves `service`.
UrlEchoResult PokeUrlEcho(uint32_t instance, const std::string& service, const std::string& url,
                          const std::string& mimeType, uint32_t windowId, uint32_t timeoutMs);
