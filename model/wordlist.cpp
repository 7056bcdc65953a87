#include "model/wordlist.h"

#include "model/binaryio.h"
#include "model/errorreport.h"
#include "model/textcase.h"

#include <algorithm>
#include <limits>
#include <sys/stat.h>

namespace {
// White space of the classic C locale, as a "\n" in a scanf pattern skips it.
bool IsClassicSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool FileExists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

std::int32_t PlusOne(std::int32_t value) {
    return value == std::numeric_limits<std::int32_t>::max() ? value : value + 1;
}
} // namespace

CWordList::~CWordList() {
    if (!m_fileName.empty())
        Save();
}

bool CWordList::Open(const std::string& fileName, std::int32_t modeFlags) {
    Clear();
    m_fileName = fileName;
    m_modeFlags = modeFlags;
    m_damaged = false;
    std::string text;
    switch (ReadWholeFile(fileName, text)) {
    case ReadResult::Missing:
        return true;
    case ReadResult::Failed:
        m_damaged = true;
        ShowError("Can't read the stop-word file " + fileName +
                  ". It will be set aside before it is written again.");
        return false;
    case ReadResult::Ok:
        break;
    }
    ReadText(text);
    if (m_damaged)
        ShowError("The stop-word file " + fileName +
                  " is damaged: a line is longer than 8191 bytes. The words before it are kept "
                  "and the file will be set aside before it is written again.");
    return !m_damaged;
}

// Reads like repeated fscanf(file, "%[^\n]\n", word): a match needs at least one character
// before the line end, and the "\n" skips every following white-space character. So blank
// lines and the leading white space of a following line vanish, white space inside or at the
// end of a word stays, and a file that starts with a blank line yields no words at all.
// Carriage returns at the end of a line belong to its line end, so a file written with "\r\n"
// line ends reads as one with "\n" ends, and no word ends in one.
void CWordList::ReadText(const std::string& text) {
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] != '\n') {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        std::size_t wordEnd = end;
        while (wordEnd > pos && text[wordEnd - 1] == '\r')
            --wordEnd;
        if (wordEnd == pos)
            return; // a first line of carriage returns alone is a blank line
        if (wordEnd - pos > static_cast<std::size_t>(kMaxText)) {
            m_damaged = true;
            return;
        }
        const std::string word = text.substr(pos, wordEnd - pos);
        Add((m_modeFlags & kUpperCase) ? ToUpperClassic(word) : word);
        pos = end;
        while (pos < text.size() && IsClassicSpace(text[pos]))
            ++pos;
    }
}

bool CWordList::Contains(const std::string& word) const {
    return m_index.count(word) != 0;
}

int CWordList::Add(const std::string& word) {
    const auto found = m_index.find(word);
    if (found != m_index.end()) {
        Entry& entry = m_entries[static_cast<std::size_t>(found->second)];
        entry.value = PlusOne(entry.value);
        return found->second;
    }
    m_entries.push_back(Entry{word, 1});
    const int position = Count() - 1;
    m_index.emplace(word, position);
    return position;
}

int CWordList::Set(const std::string& word, std::int32_t value) {
    const auto found = m_index.find(word);
    if (found != m_index.end()) {
        m_entries[static_cast<std::size_t>(found->second)].value = value;
        return found->second;
    }
    m_entries.push_back(Entry{word, value});
    const int position = Count() - 1;
    m_index.emplace(word, position);
    return position;
}

void CWordList::Clear() {
    m_entries.clear();
    m_index.clear();
}

void CWordList::SortAlphabetically() {
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const Entry& a, const Entry& b) { return a.word < b.word; });
    m_index.clear();
    for (int i = 0; i < Count(); ++i)
        m_index.emplace(m_entries[static_cast<std::size_t>(i)].word, i);
}

bool CWordList::Save() {
    if (m_fileName.empty())
        return false;
    if (m_damaged && FileExists(m_fileName)) {
        if (SetAsideDamagedFile(m_fileName).empty())
            return false; // never write over a file that could not be read whole
    }
    m_damaged = false;
    CAtomicFile file;
    if (!file.Open(m_fileName))
        return false;
    // One word per line in the index's order. An empty word would end the reading of the
    // whole file at the next start, and a word holding a line end would split in two.
    for (const auto& [word, position] : m_index) {
        (void)position;
        if (word.empty() || word.find('\n') != std::string::npos)
            continue;
        file.WriteBytes(word);
        file.WriteBytes("\n");
    }
    return file.Commit();
}
