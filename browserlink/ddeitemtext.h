#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// Text encodings of DDE verb arguments (item strings) and results (reply data). A format is
// a comma-separated list of field tokens, matched by prefix: "DW" 32-bit unsigned, "CS" raw
// text, "QCS" quoted text, "BL" boolean. Plain C++: no Qt, so the codecs can be fuzzed alone.

// One field value: missing (monostate), a DW number, a CS/QCS text or a BL flag. A value of
// the wrong type for its token counts as missing.
using DdeValue = std::variant<std::monostate, uint32_t, std::string, bool>;

enum class DdeToken { DW, CS, QCS, BL, Unknown };

std::vector<DdeToken> SplitDdeFormat(const std::string& format);

// Wraps the text in double quotes with a backslash before every quote in it.
std::string QuoteDdeText(const std::string& text);
// Turns every backslash-quote pair into a quote; other backslashes stay.
std::string UnescapeDdeText(const std::string& text);

// Client item text: DW in decimal, fields joined by single commas, missing values leave their
// field empty. An unknown token ends the text. Empty result: the transaction has no item.
std::string BuildDdeItemText(const std::string& format, const std::vector<DdeValue>& values);

// Server reply text: as the item text but DW as "%#lx" and an unknown token leaves its field
// empty. Empty result: no data.
std::string BuildDdeReplyText(const std::string& format, const std::vector<DdeValue>& values);

// Reply bytes as they travel: for a format of exactly "DW" the 4-byte little-endian value,
// exactly "BL" the 2-byte value 1 or 0, otherwise the reply text with its terminating NUL.
// std::nullopt when the reply text is empty (no data).
std::optional<std::string> BuildDdeReplyBytes(const std::string& format,
                                              const std::vector<DdeValue>& values);

// Field n (1-based) of an item text: a quoted field without its quotes (escapes still in
// place), any other field up to the next comma. std::nullopt for n < 1, an empty field or a
// text with fewer fields.
std::optional<std::string> GetItemField(const std::string& text, int n);

// Decodes one value per token (monostate for unknown tokens); missing fields give 0, an empty
// text or false.
std::vector<DdeValue> ParseDdeItemText(const std::string& text, const std::string& format);

// Decodes reply bytes: binary for a format of exactly "DW" or "BL" (too few bytes give the
// default), otherwise the text up to its first NUL as ParseDdeItemText does.
std::vector<DdeValue> ParseDdeReplyBytes(const std::string& bytes, const std::string& format);

// Value i of a decoded list as a text or a number; an empty text or 0 when it is missing or of
// another type.
std::string DdeTextAt(const std::vector<DdeValue>& values, size_t i);
uint32_t DdeNumberAt(const std::vector<DdeValue>& values, size_t i);
