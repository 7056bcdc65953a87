#include "model/categoryfile.h"

#include "model/binaryio.h"
#include "model/littleendian.h"

namespace {
bool ReadCount(CBinaryReader& reader, std::int32_t& count) {
    return reader.ReadInt32(count) && count >= 0;
}

// A stored length of 0 or less is an empty text with no bytes after it.
bool ReadText(CBinaryReader& reader, std::string& text) {
    std::int32_t length = 0;
    if (!reader.ReadInt32(length))
        return false;
    if (length <= 0) {
        text.clear();
        return true;
    }
    return reader.ReadBytes(length, text);
}

// The reader refuses texts above the limit, so the writer cuts them there.
void AppendText(std::string& bytes, std::string_view text) {
    AppendString(bytes, text.substr(0, static_cast<std::size_t>(kMaxText)));
}

// Reads the record after its name; false at the first value that is missing or wrong.
bool ReadRecordBody(CBinaryReader& reader, CCategoryRecord& record) {
    std::int32_t count = 0;
    if (!reader.ReadInt32(record.parent) || !ReadCount(reader, count))
        return false;
    for (std::int32_t i = 0; i < count; ++i) {
        std::int32_t child = 0;
        if (!reader.ReadInt32(child))
            return false;
        record.children.push_back(child);
    }
    if (!ReadCount(reader, count))
        return false;
    for (std::int32_t i = 0; i < count; ++i) {
        std::string url;
        if (!ReadText(reader, url))
            return false;
        record.urls.push_back(std::move(url));
    }
    if (!ReadCount(reader, count))
        return false;
    for (std::int32_t i = 0; i < count; ++i) {
        std::string word;
        std::int32_t weight = 0;
        if (!ReadText(reader, word) || !reader.ReadInt32(weight))
            return false;
        record.words.emplace_back(std::move(word), weight);
    }
    return true;
}
} // namespace

// Counts are never trusted for allocation: every element is read one by one from a reader
// that stops at the end of the data.
bool CCategoryFile::Parse(std::string_view bytes, Slots& slots) {
    slots.clear();
    CBinaryReader reader(bytes);
    std::int32_t slotCount = 0;
    if (bytes.empty())
        return true;
    if (!ReadCount(reader, slotCount))
        return false;
    for (std::int32_t i = 0; i < slotCount; ++i) {
        std::int32_t flag = 0;
        if (!reader.ReadInt32(flag) || (flag != 0 && flag != 1))
            return false;
        if (flag == 0) {
            slots.emplace_back();
            continue;
        }
        CCategoryRecord record;
        if (!ReadText(reader, record.name))
            return false;
        const bool complete = ReadRecordBody(reader, record);
        slots.emplace_back(std::move(record));
        if (!complete)
            return false;
    }
    return reader.AtEnd();
}

std::string CCategoryFile::Serialize(const Slots& slots) {
    std::string bytes;
    AppendInt32(bytes, static_cast<std::int32_t>(slots.size()));
    for (const auto& slot : slots) {
        if (!slot) {
            AppendInt32(bytes, 0);
            continue;
        }
        AppendInt32(bytes, 1);
        AppendText(bytes, slot->name);
        AppendInt32(bytes, slot->parent);
        AppendInt32(bytes, static_cast<std::int32_t>(slot->children.size()));
        for (std::int32_t child : slot->children)
            AppendInt32(bytes, child);
        AppendInt32(bytes, static_cast<std::int32_t>(slot->urls.size()));
        for (const auto& url : slot->urls)
            AppendText(bytes, url);
        AppendInt32(bytes, static_cast<std::int32_t>(slot->words.size()));
        for (const auto& [word, weight] : slot->words) {
            AppendText(bytes, word);
            AppendInt32(bytes, weight);
        }
    }
    return bytes;
}
