#pragma once

#include "fetch/connectionsettings.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

// Downloads pages for the add-URL pipeline, one worker thread per URL (no queue, no limit).
// "http:", "https:" and "ftp:" URLs are fetched with libcurl; "file:" URLs and URLs without a
// scheme are read from the local disk; a URL that fails over the network is never read from
// the disk. Before a network fetch the bytes a URL may not hold (blanks, control bytes, bytes
// above 0x7F) are escaped as "%XX". The page text has every line followed by "\r\n" (see
// CPageText); a body that yields no text at all gives no page, never an empty one, and so does
// an HTTP answer with a status of 400 or above (a 404, say): its body is an error page.

// Limits of one fetch. The defaults are what the program uses; tests may shorten the waits.
struct CFetchLimits {
    long connectTimeoutSeconds = 30; // connecting (including proxy and TLS handshakes)
    long stallSeconds = 60;          // a transfer that delivers nothing this long is abandoned
    std::size_t maxPageBytes = std::size_t{32} * 1024 * 1024; // longer pages are cut here
    int maxRedirects = 10; // redirects followed; one more gives no page
};

// Initialises libcurl for the whole process, once (later calls return the first result), and
// makes the process ignore SIGPIPE so a peer that hangs up cannot end it. Returns false when
// libcurl cannot be initialised; the program then reports "Windows sockets initialization
// failed.". The library is never shut down: workers may still run while the process exits.
bool InitFetchLibrary();

// Fetches one page on the calling thread and returns its text, or no page when nothing could be
// read. A page cut by the limit or by an error part-way is delivered with what was read.
// Initialises the library if needed; gives no page when that fails.
std::optional<std::string> FetchPage(const std::string& url, const CConnectionSettings& settings,
                                     const CFetchLimits& limits = CFetchLimits{});

// Called exactly once per worker, ON THE WORKER THREAD, with the URL as given and the page (or
// none). The receiver owns both. The main frame must not touch widgets here: it turns the call
// into an event posted to the user-interface thread, which handles them in order of arrival.
// The callback may run after the starter has gone away, so it must only reach objects that
// outlive every worker (or check that they still exist). It must not throw.
using FetchCompletion = std::function<void(std::string url, std::optional<std::string> page)>;

// Starts a detached worker thread that fetches `url` with its own copy of `settings` and then
// calls `done`. Returns at once. If no thread can be created, `done` is called on the calling
// thread before returning, with no page.
void StartFetchWorker(std::string url, CConnectionSettings settings, FetchCompletion done);
