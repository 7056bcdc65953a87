#include "fetch/pagetext.h"

namespace {
constexpr std::string_view kLineEnd = "\r\n";
}

CPageText::CPageText(std::size_t maxBytes) : m_maxBytes(maxBytes) {}

bool CPageText::Append(std::string_view bytes) {
    while (!bytes.empty() && !m_full) {
        const std::size_t newline = bytes.find('\n');
        if (newline == std::string_view::npos) {
            AppendToLine(bytes);
            break;
        }
        if (AppendToLine(bytes.substr(0, newline)))
            EndLine();
        bytes.remove_prefix(newline + 1);
    }
    return !m_full;
}

// Room is always kept for the line end, so a cut line can still be closed.
bool CPageText::AppendToLine(std::string_view part) {
    if (m_full)
        return false;
    if (m_maxBytes < kLineEnd.size() || m_text.size() > m_maxBytes - kLineEnd.size()) {
        m_full = true;
        return false;
    }
    const std::size_t room = m_maxBytes - kLineEnd.size() - m_text.size();
    if (part.size() > room) {
        m_full = true;
        if (room == 0)
            return false;
        part = part.substr(0, room);
    }
    m_text.append(part);
    m_lineOpen = true;
    return !m_full;
}

void CPageText::EndLine() {
    if (m_lineOpen && !m_text.empty() && m_text.back() == '\r')
        m_text.pop_back();
    m_text.append(kLineEnd);
    m_lineOpen = false;
}

std::optional<std::string> CPageText::Finish() {
    if (m_lineOpen)
        EndLine();
    if (m_text.empty())
        return std::nullopt;
    return std::move(m_text);
}
