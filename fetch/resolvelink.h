#pragma once

#include <string>
#include <string_view>

// The longest URL the store keeps (its texts hold at most 8,191 bytes); longer results are cut.
inline constexpr size_t kMaxResolvedLinkLength = 8191;

// Makes the link target found on the page at pageUrl absolute.
// - an absolute http(s) target, or any target when the page or the target has another scheme
//   (mailto:, ftp:, javascript: ...), is returned as written;
// - a relative target on an http(s) page is resolved against the page as RFC 3986 section 5.2
//   does (scheme, host and port kept, path merged with the page's directory, dot segments
//   removed);
// - when both are local (file: or no scheme) the result is the page URL up to and including its
//   last '/' or '\' followed by the target.
// The result is a new string of at most kMaxResolvedLinkLength bytes.
std::string ResolveLink(std::string_view pageUrl, std::string_view target);

struct SUrlParts;
// The same for many targets of one page: pageParts is CUrlSplitter::Split(pageUrl). The URL
// replaces the contents of result, whose room is reused.
void ResolveLink(std::string_view pageUrl, const SUrlParts& pageParts, std::string_view target,
                 std::string& result);
