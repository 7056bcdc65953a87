#pragma once

#include <cstdint>
#include <functional>
#include <string>

class CSite;

// Name of the category in a hierarchy slot, or null for an empty or unknown slot.
using CategoryNameLookup = std::function<const std::string*(std::int32_t slot)>;

// The text shown for a site in the log book, following the view flag word: URL, title, date,
// annotation (not "<NONE>") and category names joined by "/", separated by ";" when
// `oneLine`, else by "\n\r". Control characters (codes below 32) are left out of the URL,
// title and annotation; bytes of 128 and above are kept, they belong to UTF-8 texts.
std::string SiteLabelText(const CSite& site, bool oneLine, std::int32_t viewFlags,
                          const CategoryNameLookup& categoryName);

// The text without its control characters.
std::string WithoutControlChars(const std::string& text);
