#include "model/site.h"

#include "model/random.h"
#include "model/wordentry.h"
#include "model/wordtokenizer.h"

#include <algorithm>
#include <ctime>
#include <locale.h>
#include <utility>

namespace {
// "%c" of the classic C locale, whatever locale the program runs in (Qt sets the user's).
const std::string& ClassicTimeText(std::time_t time) {
    // Labels ask for the same few times over and over, so the last text is kept.
    thread_local std::time_t lastTime = -1;
    thread_local std::string lastText;
    if (time == lastTime && !lastText.empty())
        return lastText;
    static const locale_t classic = ::newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    std::tm parts{};
    char buffer[64];
    std::size_t length = 0;
    if (classic && ::localtime_r(&time, &parts))
        length = ::strftime_l(buffer, sizeof buffer, "%c", &parts, classic);
    lastTime = time;
    lastText.assign(buffer, length);
    return lastText;
}

std::vector<std::string> WordsOf(const std::string& text, bool dropNone) {
    std::vector<std::string> words;
    CWordTokenizer tokenizer(text);
    std::string piece;
    while (tokenizer.Next(piece)) {
        if (piece.size() >= 2 && !(dropNone && piece == "NONE"))
            words.push_back(piece);
    }
    return words;
}
} // namespace

CSite::CSite(std::string url, std::string title, std::string annotation, std::int32_t visited,
             std::int32_t time, std::int32_t unused)
    : m_visited(visited), m_unused(unused), m_annotation(std::move(annotation)),
      m_url(std::move(url)), m_title(std::move(title)) {
    SetTime(time);
    m_x = RandomBetween(0, 2000);
    m_y = RandomBetween(0, 2000);
    m_width = m_height = Diameter();
}

CSite::~CSite() = default;

void CSite::SetTime(std::int32_t time) {
    m_time = time != 0 ? time : static_cast<std::int32_t>(std::time(nullptr));
}

std::string CSite::TimeText() const {
    return ClassicTimeText(static_cast<std::time_t>(m_time));
}

std::string CSite::TimeTextOf(std::int32_t time) {
    return ClassicTimeText(static_cast<std::time_t>(time));
}

const std::string& CSiteUrlKey::Of(const CSite* site) {
    return site->m_url;
}

void CSite::AddWord(CWordEntry* entry) {
    if (!entry)
        return;
    const auto [it, inserted] = m_words.Insert(entry);
    if (!inserted)
        ++entry->m_count;
}

CSite* CSite::AddLink(std::unique_ptr<CSite> link) {
    CSite* raw = link.get();
    const bool present =
        std::any_of(m_links.begin(), m_links.end(),
                    [raw](const std::unique_ptr<CSite>& l) { return l.get() == raw; });
    if (present)
        link.release(); // the same object, already owned here
    else
        m_links.push_back(std::move(link));
    return raw;
}

CRect CSite::NodeBounds() const {
    return CRect{m_x - 5, m_y - 5, m_x + m_width + 40, m_y + m_height + 5};
}

bool CSite::HitTest(int px, int py) const {
    const int d = Diameter();
    return m_x < px && px < m_x + d && m_y < py && py < m_y + d;
}

CPoint CSite::Center() const {
    const int d = Diameter();
    return CPoint{m_x + d / 2, m_y + d / 2};
}

std::vector<std::string> CSite::TitleWords() const {
    return WordsOf(m_title, false);
}

std::vector<std::string> CSite::AnnotationWords() const {
    return WordsOf(m_annotation, true);
}
