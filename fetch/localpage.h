#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The local-disk side of the fetch worker: pages named by "file:" URLs and by URLs without a
// scheme are read from the disk.

// The file a local URL names: the URL's object path with every "%20" turned into a blank (from
// the left), then every "|" into ":" (a drive written "C|"), then leading backslashes dropped.
// "file:///home/me/a%20b.html" names "/home/me/a b.html".
std::string LocalPagePath(std::string_view url);

// Reads a regular file as a page text (see CPageText), at most `maxBytes` of it. No page when
// the file cannot be opened, is not a regular file (a pipe or device could block or never end),
// or is empty. Never reports anything.
std::optional<std::string> ReadLocalPage(const std::string& path, std::size_t maxBytes);
