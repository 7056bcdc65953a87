#pragma once

#include <string>
#include <string_view>

// The URL under which the add-URL pipeline fetches, stores and compares a page reported by a
// browser: the reported URL without its "#fragment" (pages that differ only there are one
// page), and for a URL fetched over the network (any scheme but "file:") with the bytes a URL
// may not hold escaped (see EscapeUrlBytes). Local URLs keep their bytes, since the disk
// reader decodes only "%20". A URL already in that form is returned unchanged.
std::string PageUrl(std::string_view reported);

// Escapes every blank, control byte (0x00-0x1F, 0x7F) and byte above 0x7F as "%XX" with
// upper-case hex digits; all other bytes, '%' included, stay. So a window scan's
// "a b.html" becomes "a%20b.html", and a URL that already escapes them is unchanged.
std::string EscapeUrlBytes(std::string_view url);

// The URL up to its first '#'.
std::string_view WithoutFragment(std::string_view url);
