#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Small rules the browser verbs apply to what the browsers report.

// True when the last four characters are ".gif" or ".jpg", compared without regard to case.
bool IsImageUrl(const std::string& url);
// True for exactly "text/html" or "internal/parser" (case matters).
bool IsEchoedPageType(const std::string& mimeType);
// Every "%20" replaced by one space, scanning left to right.
std::string ReplacePercent20(const std::string& url);
// 32-bit little-endian window ids up to the first 0 (or the end of the bytes; a partial id at
// the end is ignored).
std::vector<uint32_t> DecodeWindowList(const std::string& bytes);
// The inverse: the ids followed by a 0.
std::string EncodeWindowList(const std::vector<uint32_t>& ids);
