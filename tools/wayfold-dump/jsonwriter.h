#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Writes JSON to a stream, placing the commas itself. Strings are bytes: valid UTF-8 passes
// through, every byte of an invalid sequence is written as \u00XX (its Latin-1 reading), and
// control characters, quotes and backslashes are escaped.
class CJsonWriter {
public:
    explicit CJsonWriter(std::FILE* out) : m_out(out) {}
    CJsonWriter(const CJsonWriter&) = delete;
    CJsonWriter& operator=(const CJsonWriter&) = delete;

    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // Names the next value inside an object.
    void Key(std::string_view key);
    void String(std::string_view bytes);
    void Int(std::int64_t value);
    void Null();
    // Starts the next value on a new line, so long arrays read one element per line.
    void LineBreak() { m_lineBreak = true; }

    void Member(std::string_view key, std::string_view value) {
        Key(key);
        String(value);
    }
    void Member(std::string_view key, std::int64_t value) {
        Key(key);
        Int(value);
    }

    // Writes what is buffered and a final newline; false when the stream refused any of it.
    bool Finish();

    // The JSON string literal for bytes, quotes included.
    static std::string Quote(std::string_view bytes);

private:
    void BeforeValue();
    void Flush();

    std::FILE* m_out;
    std::string m_buffer;
    std::vector<bool> m_hasItems; // one per open object or array
    bool m_afterKey = false;
    bool m_lineBreak = false;
    bool m_failed = false;
};
