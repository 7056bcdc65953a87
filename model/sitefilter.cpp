#include "model/sitefilter.h"

#include "model/binaryio.h"
#include "model/littleendian.h"

CSiteFilter::CSiteFilter(std::int32_t type, const std::string& firstString) : m_type(type) {
    m_strings.insert(firstString);
}

std::string CSiteFilter::TextForm() const {
    std::string text;
    if (m_type == kUrlFilter)
        text = "URLS:";
    else if (m_type == kWordFilter)
        text = "WORDS:";
    else
        return text;
    bool first = true;
    for (const std::string& s : m_strings) {
        if (!first)
            text += '/';
        text += s;
        first = false;
    }
    return text;
}

bool CSiteFilter::Read(CBinaryReader& reader) {
    std::int32_t count = 0;
    if (!reader.ReadInt32(m_type) || !reader.ReadInt32(count) || count < 0)
        return false;
    std::string text;
    for (std::int32_t i = 0; i < count; ++i) {
        if (!reader.ReadString(text))
            return false;
        m_strings.insert(text);
    }
    return true;
}

void CSiteFilter::AppendTo(std::string& bytes) const {
    AppendInt32(bytes, m_type);
    AppendInt32(bytes, static_cast<std::int32_t>(m_strings.size()));
    for (const std::string& s : m_strings)
        AppendString(bytes, s);
}
