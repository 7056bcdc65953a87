#include "browserlink/ddeitemtext.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <strings.h>

namespace {

DdeToken TokenOf(const std::string& token) {
    if (token.rfind("DW", 0) == 0)
        return DdeToken::DW;
    if (token.rfind("CS", 0) == 0)
        return DdeToken::CS;
    if (token.rfind("QCS", 0) == 0)
        return DdeToken::QCS;
    if (token.rfind("BL", 0) == 0)
        return DdeToken::BL;
    return DdeToken::Unknown;
}

const DdeValue& ValueAt(const std::vector<DdeValue>& values, size_t i) {
    static const DdeValue missing;
    return i < values.size() ? values[i] : missing;
}

// Appends the encoded value; returns false when the token is unknown.
bool AppendField(std::string& out, DdeToken token, const DdeValue& value, bool hexNumbers) {
    switch (token) {
    case DdeToken::DW:
        if (const auto* number = std::get_if<uint32_t>(&value)) {
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, hexNumbers ? "%#lx" : "%lu",
                          static_cast<unsigned long>(*number));
            out += buffer;
        }
        return true;
    case DdeToken::CS:
        if (const auto* text = std::get_if<std::string>(&value))
            out += *text;
        return true;
    case DdeToken::QCS:
        if (const auto* text = std::get_if<std::string>(&value))
            out += QuoteDdeText(*text);
        return true;
    case DdeToken::BL:
        if (const auto* flag = std::get_if<bool>(&value))
            out += *flag ? "TRUE" : "FALSE";
        return true;
    case DdeToken::Unknown:
        return false;
    }
    return false;
}

// The "%lu" scan: leading blanks and a sign allowed; values beyond 32 bits saturate as a
// 32-bit unsigned long would.
uint32_t ScanNumber(const std::string& text, int base) {
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(start, &end, base);
    if (end == start)
        return 0;
    if (errno == ERANGE || value > 0xFFFFFFFFull) {
        // A negative number wraps as the 32-bit scan would.
        const long long negative = std::strtoll(start, nullptr, base);
        if (negative < 0 && negative >= -0x100000000ll)
            return static_cast<uint32_t>(negative);
        return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(value);
}

// Position just past the quote that closes a quoted field starting at `open`, or npos.
size_t PastClosingQuote(const std::string& text, size_t open) {
    for (size_t i = open + 1; i < text.size(); ++i)
        if (text[i] == '"' && text[i - 1] != '\\')
            return i + 1;
    return std::string::npos;
}

DdeValue DecodeField(DdeToken token, const std::optional<std::string>& field) {
    switch (token) {
    case DdeToken::DW:
        return field ? ScanNumber(*field, 10) : 0u;
    case DdeToken::CS:
        return field ? *field : std::string();
    case DdeToken::QCS:
        return field ? UnescapeDdeText(*field) : std::string();
    case DdeToken::BL:
        return field && strcasecmp(field->c_str(), "TRUE") == 0;
    case DdeToken::Unknown:
        break;
    }
    return std::monostate{};
}

std::string BuildText(const std::string& format, const std::vector<DdeValue>& values, bool reply) {
    const std::vector<DdeToken> tokens = SplitDdeFormat(format);
    std::string out;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (!AppendField(out, tokens[i], ValueAt(values, i), reply) && !reply)
            break;
        if (i + 1 < tokens.size())
            out += ',';
    }
    return out;
}

std::string LittleEndian(uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

uint32_t FromLittleEndian(const std::string& bytes, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    return value;
}

} // namespace

std::vector<DdeToken> SplitDdeFormat(const std::string& format) {
    std::vector<DdeToken> tokens;
    if (format.empty())
        return tokens;
    size_t start = 0;
    for (;;) {
        const size_t comma = format.find(',', start);
        tokens.push_back(TokenOf(format.substr(start, comma - start)));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return tokens;
}

std::string QuoteDdeText(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::string UnescapeDdeText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '"')
            continue;
        out += text[i];
    }
    return out;
}

std::string BuildDdeItemText(const std::string& format, const std::vector<DdeValue>& values) {
    return BuildText(format, values, false);
}

std::string BuildDdeReplyText(const std::string& format, const std::vector<DdeValue>& values) {
    return BuildText(format, values, true);
}

std::optional<std::string> BuildDdeReplyBytes(const std::string& format,
                                              const std::vector<DdeValue>& values) {
    const std::string text = BuildDdeReplyText(format, values);
    if (text.empty())
        return std::nullopt;
    if (format == "BL")
        return LittleEndian(text == "TRUE" ? 1 : 0, 2);
    if (format == "DW")
        return LittleEndian(ScanNumber(text, 0), 4);
    return text + '\0';
}

std::optional<std::string> GetItemField(const std::string& text, int n) {
    if (text.empty() || n < 1)
        return std::nullopt;
    size_t pos = 0;
    for (int skipped = 1; skipped < n; ++skipped) {
        if (pos < text.size() && text[pos] == '"') {
            pos = PastClosingQuote(text, pos);
            if (pos == std::string::npos)
                return std::nullopt;
        }
        const size_t comma = text.find(',', pos);
        if (comma == std::string::npos)
            return std::nullopt;
        pos = comma + 1;
    }
    if (pos >= text.size() || text[pos] == ',')
        return std::nullopt;
    if (text[pos] == '"') {
        const size_t past = PastClosingQuote(text, pos);
        const size_t end = past == std::string::npos ? text.size() : past - 1;
        return text.substr(pos + 1, end - pos - 1);
    }
    const size_t comma = text.find(',', pos);
    return text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
}

std::vector<DdeValue> ParseDdeItemText(const std::string& text, const std::string& format) {
    const std::vector<DdeToken> tokens = SplitDdeFormat(format);
    std::vector<DdeValue> values;
    values.reserve(tokens.size());
    for (size_t i = 0; i < tokens.size(); ++i)
        values.push_back(DecodeField(tokens[i], GetItemField(text, static_cast<int>(i + 1))));
    return values;
}

std::vector<DdeValue> ParseDdeReplyBytes(const std::string& bytes, const std::string& format) {
    if (format == "DW")
        return {bytes.size() >= 4 ? FromLittleEndian(bytes, 4) : 0u};
    if (format == "BL")
        return {bytes.size() >= 2 && FromLittleEndian(bytes, 2) != 0};
    return ParseDdeItemText(bytes.substr(0, bytes.find('\0')), format);
}

std::string DdeTextAt(const std::vector<DdeValue>& values, size_t i) {
    if (i < values.size())
        if (const auto* text = std::get_if<std::string>(&values[i]))
            return *text;
    return {};
}

uint32_t DdeNumberAt(const std::vector<DdeValue>& values, size_t i) {
    if (i < values.size())
        if (const auto* number = std::get_if<uint32_t>(&values[i]))
            return *number;
    return 0;
}
