#include "model/sitefilterlist.h"

#include "model/binaryio.h"
#include "model/errorreport.h"
#include "model/littleendian.h"

#include <sys/stat.h>

namespace {
bool FileExists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}
} // namespace

CSiteFilterList::~CSiteFilterList() {
    if (!m_fileName.empty())
        Save();
}

bool CSiteFilterList::Open(const std::string& fileName) {
    m_filters.clear();
    m_fileName = fileName;
    m_damaged = false;
    std::string stored;
    switch (ReadWholeFile(fileName, stored)) {
    case ReadResult::Missing:
        return true;
    case ReadResult::Failed:
        m_damaged = true;
        ShowError("Can't read the site filter file " + fileName +
                  ". It will be set aside before it is written again.");
        return false;
    case ReadResult::Ok:
        break;
    }
    if (!FromFileBytes(stored, m_filters)) {
        m_damaged = true;
        ShowError("The site filter file " + fileName +
                  " is damaged. The filters read before the damage are kept and the file will "
                  "be set aside before it is written again.");
    }
    return !m_damaged;
}

CSiteFilter* CSiteFilterList::AddFilter(std::unique_ptr<CSiteFilter> filter) {
    m_filters.push_back(std::move(filter));
    return m_filters.back().get();
}

std::unique_ptr<CSiteFilter> CSiteFilterList::TakeFilter(int index) {
    if (index < 0 || index >= Count())
        return nullptr;
    auto filter = std::move(m_filters[static_cast<std::size_t>(index)]);
    m_filters.erase(m_filters.begin() + index);
    return filter;
}

bool CSiteFilterList::IsFiltered(const std::string& url,
                                 const std::set<std::string>& pageWords) const {
    return IsFiltered(url,
                      [&pageWords](const std::string& word) { return pageWords.count(word) != 0; });
}

bool CSiteFilterList::Save() {
    const std::string failure = "Can't open " + m_fileName + "to write site filter strategies.";
    if (m_damaged && FileExists(m_fileName)) {
        if (SetAsideDamagedFile(m_fileName).empty()) {
            ShowError(failure); // never write over a file that could not be read whole
            return false;
        }
    }
    m_damaged = false;
    CAtomicFile file;
    if (!file.Open(m_fileName) || !file.WriteBytes(ExpandLineEnds(ToFileBytes(m_filters))) ||
        !file.Commit()) {
        ShowError(failure);
        return false;
    }
    return true;
}

std::string CSiteFilterList::ToFileBytes(const Filters& filters) {
    std::string bytes;
    std::int32_t count = 0;
    for (const auto& filter : filters)
        count += filter ? 1 : 0;
    AppendInt32(bytes, count);
    for (const auto& filter : filters)
        if (filter)
            filter->AppendTo(bytes);
    return bytes;
}

bool CSiteFilterList::FromFileBytes(std::string_view fileBytes, Filters& filters) {
    const std::string data = CollapseLineEnds(fileBytes);
    CBinaryReader reader(data);
    std::int32_t count = 0;
    if (!reader.ReadInt32(count) || count < 0)
        return false;
    // Reading stops at the first filter that runs past the end, so a count too large for the
    // file is found without trusting it; a cut-off filter is kept when it got any string.
    for (std::int32_t i = 0; i < count; ++i) {
        auto filter = std::make_unique<CSiteFilter>();
        const bool complete = filter->Read(reader);
        if (complete || !filter->m_strings.empty())
            filters.push_back(std::move(filter));
        if (!complete)
            return false;
    }
    return reader.AtEnd();
}

std::string CSiteFilterList::ExpandLineEnds(std::string_view data) {
    std::string stored;
    stored.reserve(data.size() + data.size() / 16);
    for (char c : data) {
        if (c == '\n')
            stored.push_back('\r');
        stored.push_back(c);
    }
    return stored;
}

std::string CSiteFilterList::CollapseLineEnds(std::string_view stored) {
    std::string data;
    data.reserve(stored.size());
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] == '\r' && i + 1 < stored.size() && stored[i + 1] == '\n')
            continue;
        data.push_back(stored[i]);
    }
    return data;
}
