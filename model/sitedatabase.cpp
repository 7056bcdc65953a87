#include "model/sitedatabase.h"

#include "model/binaryio.h"
#include "model/errorreport.h"
#include "model/filewindow.h"
#include "model/random.h"
#include "model/site.h"
#include "model/wordentry.h"
#include "model/wordlookup.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <utility>

namespace {
constexpr std::int32_t kFileVersion = 1;

// Smallest records of the file, used to check counts before anything is reserved.
constexpr std::size_t kMinWordRecord = 4 * 4;  // length, no text, x, y, count
constexpr std::size_t kMinSiteRecord = 10 * 4; // nine integers and the word count
constexpr std::size_t kMinLinkRecord = 6 * 4;
constexpr std::size_t kMinSiteWord = 4;

// Positions of visited sites are brought back onto the map when a file holds them off it.
std::int32_t ClampToMap(std::int32_t value) {
    if (value < 0)
        return 5;
    if (value > 2000)
        return 1995;
    return value;
}

// The reader refuses texts above the limit, so the writer never writes one.
std::string_view Capped(const std::string& text) {
    return std::string_view(text).substr(0, static_cast<std::size_t>(kMaxText));
}

// Words are compared in upper case everywhere; a file from elsewhere may hold them otherwise.
void ToUpperAscii(char* text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        if (text[i] >= 'a' && text[i] <= 'z')
            text[i] = static_cast<char>(text[i] - ('a' - 'A'));
    }
}

bool HasLowerAscii(std::string_view text) {
    for (char c : text) {
        if (c >= 'a' && c <= 'z')
            return true;
    }
    return false;
}

// True when one of the eight bytes is an ASCII lower-case letter (bytes above 127 never are).
bool HasLowerByte(std::uint64_t bytes) {
    constexpr std::uint64_t kOnes = ~std::uint64_t(0) / 255;
    const std::uint64_t low7 = bytes & kOnes * 127;
    return ((kOnes * (127 + 'z' + 1) - low7) & ~bytes & (low7 + kOnes * (127 - ('a' - 1))) &
            kOnes * 128) != 0;
}

bool HasLowerAscii(const CWordKey& key) {
    if (key.text.size() > 15)
        return HasLowerAscii(key.text);
    return HasLowerByte(key.lo) || HasLowerByte(key.hi & (~std::uint64_t(0) >> 8));
}

std::int32_t CappedLength(const std::string& text) {
    return static_cast<std::int32_t>(Capped(text).size());
}

struct LinkRecord {
    std::string_view url, title, annotation;
    std::int32_t hidden = 0, x = 0, y = 0;
};

bool ReadLinkRecord(CBinaryReader& reader, LinkRecord& link) {
    std::int32_t urlLength = 0, titleLength = 0, annotationLength = 0;
    return reader.ReadInt32(urlLength) && reader.ReadInt32(titleLength) &&
           reader.ReadInt32(annotationLength) && reader.ReadInt32(link.hidden) &&
           reader.ReadInt32(link.x) && reader.ReadInt32(link.y) &&
           reader.ReadView(urlLength, link.url) && reader.ReadView(titleLength, link.title) &&
           reader.ReadView(annotationLength, link.annotation);
}
} // namespace

CSiteDatabase::CSiteDatabase() = default;

CSiteDatabase::~CSiteDatabase() {
    if (m_opened && !m_readOnly)
        Save();
}

bool CSiteDatabase::Open(const std::string& fileName) {
    return OpenFile(fileName, false);
}

bool CSiteDatabase::OpenReadOnly(const std::string& fileName) {
    return OpenFile(fileName, true);
}

namespace {
std::atomic<std::size_t> g_loadBlockSize{std::size_t(1) << 20};
} // namespace

void CSiteDatabase::SetLoadBlockSize(std::size_t bytes) {
    g_loadBlockSize = bytes;
}

void CSiteDatabase::Clear() {
    m_urlMap.clear();
    m_sites.clear();
    m_words.clear();
    m_version = kFileVersion;
    m_damaged = false;
    m_modified = false;
}

bool CSiteDatabase::OpenFile(const std::string& fileName, bool readOnly) {
    Clear();
    m_fileName = fileName;
    m_opened = true;
    m_readOnly = readOnly;

    CFileWindow file(g_loadBlockSize);
    const ReadResult read = file.Open(fileName);
    if (read == ReadResult::Missing)
        return true;
    LoadResult loaded = LoadResult::ReadFailed;
    if (read == ReadResult::Ok)
        loaded = Load(file);
    switch (loaded) {
    case LoadResult::Ok:
        return true;
    case LoadResult::ReadFailed:
        // A file that cannot be read whole is not half loaded: nothing of it is kept.
        Clear();
        m_damaged = true;
        ShowError("Can't read url database " + fileName + "." + SetAsideNotice());
        return false;
    case LoadResult::WrongVersion:
        m_damaged = true;
        ShowError("Url database is from wrong version: can't read.");
        return false;
    case LoadResult::Damaged:
        break;
    }
    m_damaged = true;
    ShowError("Url database " + fileName + " is damaged and can't be read whole; " +
              std::to_string(m_sites.size()) + " sites before the damage were read and are kept." +
              SetAsideNotice());
    return false;
}

std::string CSiteDatabase::SetAsideNotice() const {
    if (m_readOnly)
        return "";
    return " The file will be renamed aside, not overwritten, at the next save.";
}

// The loader's word look-up (text to entry number) and what it gathers for IndexLoadedSites.
class CSiteDatabase::CLoadState {
public:
    CWordLookup lookup{0};
    std::vector<CWordEntry*> entries;      // by entry number, in the order made
    std::vector<std::uint32_t> siteCounts; // by entry number: loaded sites carrying it
    // The entry numbers of every loaded site's m_words, site after site in m_sites order;
    // site i's run starts at wordStarts[i] and ends where the next begins.
    std::vector<std::uint32_t> siteWords;
    std::vector<std::size_t> wordStarts;
    std::int32_t now = 0; // the time given to every link site

    // Scratch of one site record, kept from one record to the next.
    std::vector<std::string_view> words;
    std::vector<LinkRecord> links;
    std::vector<CWordKey> keys; // of the words kept, upper case
    std::vector<std::uint32_t> numbers;
    std::vector<CWordEntry*> found; // the entries of numbers
    std::vector<std::uint32_t> order;
    std::string upperTexts; // the words a record holds in lower case, made upper case
};

// Parses one record whole out of the bytes read so far, reading more and parsing again while
// the record runs past them. A record that the whole rest of the file cannot complete is
// damage.
template <class Parse>
CSiteDatabase::LoadResult CSiteDatabase::ParseRecord(CFileWindow& file, Parse&& parse) {
    for (;;) {
        CBinaryReader reader(file.Bytes());
        if (parse(reader)) {
            file.Consume(reader.Position());
            return LoadResult::Ok;
        }
        if (!file.ReadMore())
            return file.Failed() ? LoadResult::ReadFailed : LoadResult::Damaged;
    }
}

namespace {
// A count read from the file, checked against what the rest of the file could hold before
// anything is reserved for it.
bool CountFits(std::int32_t count, std::size_t minRecordSize, const CFileWindow& file) {
    return count >= 0 && static_cast<std::size_t>(count) <= file.Remaining() / minRecordSize;
}
} // namespace

CSiteDatabase::LoadResult CSiteDatabase::Load(CFileWindow& file) {
    std::int32_t version = 0;
    LoadResult result =
        ParseRecord(file, [&version](CBinaryReader& reader) { return reader.ReadInt32(version); });
    if (result != LoadResult::Ok)
        return result;
    if (version != kFileVersion)
        return LoadResult::WrongVersion;
    CLoadState state;
    state.now = static_cast<std::int32_t>(std::time(nullptr));
    result = LoadRecords(file, state);
    IndexLoadedSites(state);
    return result;
}

// Fills the URL map and every word entry's m_sites from what the sites carry, at once. The
// sites are taken in URL order, so each entry's list comes out sorted, made at its exact size.
// Of sites with the same URL the later one in the file is kept, as one AddSite after another
// does: in the URL map, and in an entry carried by both.
void CSiteDatabase::IndexLoadedSites(CLoadState& state) {
    const std::size_t loaded = state.wordStarts.size();
    state.wordStarts.push_back(state.siteWords.size());
    std::vector<std::uint32_t> byUrl(loaded);
    for (std::uint32_t i = 0; i < loaded; ++i)
        byUrl[i] = i;
    std::stable_sort(byUrl.begin(), byUrl.end(), [this](std::uint32_t a, std::uint32_t b) {
        return m_sites[a]->m_url < m_sites[b]->m_url;
    });

    std::vector<std::vector<CSite*>> lists(state.entries.size());
    for (std::size_t number = 0; number < lists.size(); ++number)
        lists[number].reserve(state.siteCounts[number]);
    for (std::size_t k = 0; k < loaded; ++k) {
        CSite* site = m_sites[byUrl[k]].get();
        const bool sameAsPrevious = k > 0 && m_sites[byUrl[k - 1]]->m_url == site->m_url;
        const bool sameAsNext = k + 1 < loaded && m_sites[byUrl[k + 1]]->m_url == site->m_url;
        if (!sameAsNext)
            m_urlMap.emplace_hint(m_urlMap.end(), site->m_url, site);
        const std::size_t begin = state.wordStarts[byUrl[k]];
        const std::size_t end = state.wordStarts[byUrl[k] + 1];
        for (std::size_t w = begin; w < end; ++w) {
            // The lists a few words on are asked for ahead, their heads first, then their ends.
            if (w + 16 < end)
                __builtin_prefetch(&lists[state.siteWords[w + 16]]);
            if (w + 8 < end) {
                const std::vector<CSite*>& ahead = lists[state.siteWords[w + 8]];
                __builtin_prefetch(ahead.data() + ahead.size(), 1);
            }
            std::vector<CSite*>& list = lists[state.siteWords[w]];
            if (sameAsPrevious && !list.empty() && list.back()->m_url == site->m_url)
                list.back() = site;
            else
                list.push_back(site);
        }
    }
    for (std::size_t number = 0; number < lists.size(); ++number)
        state.entries[number]->m_sites.AdoptSorted(std::move(lists[number]));
}

CSiteDatabase::LoadResult CSiteDatabase::LoadRecords(CFileWindow& file, CLoadState& state) {
    LoadResult result = LoadWords(file, state);
    if (result != LoadResult::Ok)
        return result;

    std::int32_t siteCount = 0;
    result = ParseRecord(file, [&](CBinaryReader& reader) { return reader.ReadInt32(siteCount); });
    if (result != LoadResult::Ok)
        return result;
    if (!CountFits(siteCount, kMinSiteRecord, file))
        return LoadResult::Damaged;
    m_sites.reserve(static_cast<std::size_t>(siteCount));
    state.wordStarts.reserve(static_cast<std::size_t>(siteCount) + 1);
    // Every kept word reference takes at least 6 bytes of the file: reserving for that many
    // costs address space only, where growing would copy the list again and again.
    state.siteWords.reserve(file.Remaining() / (kMinSiteWord + 2));
    for (std::int32_t i = 0; i < siteCount; ++i) {
        result = ParseRecord(file, [&](CBinaryReader& reader) { return LoadSite(reader, state); });
        if (result != LoadResult::Ok)
            return result;
    }
    // Bytes after the last record mean the counts do not describe the file.
    if (!file.Bytes().empty() || file.ReadMore())
        return LoadResult::Damaged;
    return file.Failed() ? LoadResult::ReadFailed : LoadResult::Ok;
}

std::uint32_t CSiteDatabase::FindOrMakeLoadedWord(const CWordKey& key, CLoadState& state,
                                                  CWordEntry*& entry) {
    const std::uint32_t found = state.lookup.Find(key, entry);
    if (found != CWordLookup::kMissing)
        return found;
    auto made = std::make_unique<CWordEntry>(std::string(key.text));
    made->m_x = RandomBetween(20, 1980);
    made->m_y = RandomBetween(20, 1980);
    entry = made.get();
    // Files are written in text order, so the hint is right but for files from elsewhere.
    m_words.emplace_hint(m_words.end(), std::string(key.text), std::move(made));
    // The entry's own text outlives the look-up, where key.text may not.
    CWordKey own = key;
    own.text = entry->m_text;
    state.entries.push_back(entry);
    state.siteCounts.push_back(0);
    return state.lookup.Add(own, entry);
}

CSiteDatabase::LoadResult CSiteDatabase::LoadWords(CFileWindow& file, CLoadState& state) {
    std::int32_t wordCount = 0;
    LoadResult result = ParseRecord(
        file, [&wordCount](CBinaryReader& reader) { return reader.ReadInt32(wordCount); });
    if (result != LoadResult::Ok)
        return result;
    if (!CountFits(wordCount, kMinWordRecord, file))
        return LoadResult::Damaged;
    state.lookup.Reserve(static_cast<std::size_t>(wordCount));
    std::string upper;
    for (std::int32_t i = 0; i < wordCount; ++i) {
        std::string_view text;
        std::int32_t x = 0, y = 0, count = 0;
        result = ParseRecord(file, [&](CBinaryReader& reader) {
            return reader.ReadStringView(text) && reader.ReadInt32(x) && reader.ReadInt32(y) &&
                   reader.ReadInt32(count);
        });
        if (result != LoadResult::Ok)
            return result;
        if (text.size() < 2)
            continue;
        if (HasLowerAscii(text)) {
            upper.assign(text);
            ToUpperAscii(upper.data(), upper.size());
            text = upper;
        }
        CWordEntry* entry = nullptr;
        FindOrMakeLoadedWord(CWordLookup::MakeKey(text), state, entry);
        entry->m_x = x;
        entry->m_y = y;
        entry->m_count = count;
    }
    return LoadResult::Ok;
}

// Reads one visited-site record whole before anything is made of it, so a record cut short
// leaves no half site and no word entry behind.
bool CSiteDatabase::LoadSite(CBinaryReader& reader, CLoadState& state) {
    std::int32_t urlLength = 0, titleLength = 0, annotationLength = 0, linkCount = 0;
    std::int32_t visited = 0, hidden = 0, x = 0, y = 0, time = 0;
    std::string_view url, title, annotation;
    if (!reader.ReadInt32(urlLength) || !reader.ReadInt32(titleLength) ||
        !reader.ReadInt32(annotationLength) || !reader.ReadInt32(linkCount) ||
        !reader.ReadInt32(visited) || !reader.ReadInt32(hidden) || !reader.ReadInt32(x) ||
        !reader.ReadInt32(y) || !reader.ReadInt32(time) || !reader.ReadView(urlLength, url) ||
        !reader.ReadView(titleLength, title) || !reader.ReadView(annotationLength, annotation))
        return false;

    std::int32_t wordCount = 0;
    if (!reader.ReadInt32(wordCount) || !reader.CountFits(wordCount, kMinSiteWord))
        return false;
    state.words.resize(static_cast<std::size_t>(wordCount));
    if (!reader.ReadStringViews(state.words.data(), state.words.size()))
        return false;

    if (!reader.CountFits(linkCount, kMinLinkRecord))
        return false;
    state.links.resize(static_cast<std::size_t>(linkCount));
    for (LinkRecord& link : state.links) {
        if (!ReadLinkRecord(reader, link))
            return false;
    }

    auto site = std::make_unique<CSite>(std::string(url), std::string(title),
                                        std::string(annotation), visited, time);
    site->m_x = ClampToMap(x);
    site->m_y = ClampToMap(y);
    site->m_hidden = hidden;
    LoadSiteWords(*site, state);

    site->m_links.reserve(state.links.size());
    for (const LinkRecord& record : state.links) {
        auto link = std::make_unique<CSite>(std::string(record.url), std::string(record.title),
                                            std::string(record.annotation), 0, state.now);
        link->m_x = record.x;
        link->m_y = record.y;
        link->m_hidden = record.hidden;
        site->m_links.push_back(std::move(link));
    }

    m_sites.push_back(std::move(site));
    return true;
}

// The site's words go to its m_words (not yet to the entries: IndexLoadedSites does that once
// the whole file is read). A file of ours holds them upper case and in text order, which is
// taken over whole; others are sorted first.
// The word made upper case, kept in the record's scratch until the next record.
std::string_view CSiteDatabase::UpperCopy(std::string_view word, CLoadState& state) {
    if (state.upperTexts.empty()) {
        // Reserved for every word of the record at once, so that the views stay valid.
        std::size_t bytes = 0;
        for (std::string_view each : state.words)
            bytes += each.size();
        state.upperTexts.reserve(bytes);
    }
    const std::size_t start = state.upperTexts.size();
    state.upperTexts.append(word);
    ToUpperAscii(state.upperTexts.data() + start, word.size());
    return std::string_view(state.upperTexts.data() + start, word.size());
}

void CSiteDatabase::LoadSiteWords(CSite& site, CLoadState& state) {
    state.upperTexts.clear();
    state.keys.clear();
    bool ordered = true;
    for (std::string_view word : state.words) {
        if (word.size() < 2)
            continue;
        CWordKey key = CWordLookup::MakeKey(word);
        if (HasLowerAscii(key))
            key = CWordLookup::MakeKey(UpperCopy(word, state));
        ordered = ordered && (state.keys.empty() || CWordLookup::Less(state.keys.back(), key));
        state.keys.push_back(key);
    }
    // Each look-up asks ahead for the slot of one a few words on, which has arrived when its
    // turn comes.
    constexpr std::size_t kAhead = 8;
    const std::size_t count = state.keys.size();
    for (std::size_t i = 0; i < count && i < kAhead; ++i)
        state.lookup.Prefetch(state.keys[i]);
    state.numbers.clear();
    state.found.clear();
    for (std::size_t i = 0; i < count; ++i) {
        if (i + kAhead < count)
            state.lookup.Prefetch(state.keys[i + kAhead]);
        CWordEntry* entry = nullptr;
        state.numbers.push_back(FindOrMakeLoadedWord(state.keys[i], state, entry));
        state.found.push_back(entry);
    }

    state.wordStarts.push_back(state.siteWords.size());
    if (ordered) {
        for (std::uint32_t number : state.numbers) {
            ++state.siteCounts[number];
            state.siteWords.push_back(number);
        }
        site.m_words.AdoptSorted(std::vector<CWordEntry*>(state.found.begin(), state.found.end()));
        return;
    }
    // Sorted here rather than inserted one by one, which would move the list along for every
    // word; a text given twice is one entry, kept once.
    state.order.resize(state.keys.size());
    for (std::uint32_t i = 0; i < state.order.size(); ++i)
        state.order[i] = i;
    std::sort(state.order.begin(), state.order.end(), [&state](std::uint32_t a, std::uint32_t b) {
        return CWordLookup::Less(state.keys[a], state.keys[b]);
    });
    std::vector<CWordEntry*> entries;
    entries.reserve(state.order.size());
    for (std::uint32_t i : state.order) {
        if (!entries.empty() && entries.back() == state.found[i])
            continue;
        entries.push_back(state.found[i]);
        ++state.siteCounts[state.numbers[i]];
        state.siteWords.push_back(state.numbers[i]);
    }
    site.m_words.AdoptSorted(std::move(entries));
}

bool CSiteDatabase::Save() {
    if (!m_opened || m_readOnly)
        return false;
    return WriteFile();
}

bool CSiteDatabase::WriteFile() {
    CAtomicFile file;
    if (!file.Open(m_fileName)) {
        ShowError("Can't open url database for writing.");
        return false;
    }

    file.WriteInt32(kFileVersion);
    file.WriteInt32(static_cast<std::int32_t>(m_words.size()));
    for (const auto& [key, entry] : m_words) {
        file.WriteString(Capped(entry->m_text));
        file.WriteInt32(entry->m_x);
        file.WriteInt32(entry->m_y);
        file.WriteInt32(entry->m_count);
    }

    std::int32_t siteCount = 0;
    for (const auto& site : m_sites)
        siteCount += site ? 1 : 0;
    file.WriteInt32(siteCount);

    // A failed write fails every later one and the file is not committed, so the first
    // message is the only one worth showing.
    const auto fail = [](const char* message) {
        ShowError(message);
        return false;
    };
    const auto writeTexts = [&file, &fail](const CSite& site) {
        if (!file.WriteBytes(Capped(site.m_url)))
            return fail("Error writing url to URL database.");
        if (!file.WriteBytes(Capped(site.m_title)))
            return fail("Error writing title to URL database.");
        if (!file.WriteBytes(Capped(site.m_annotation)))
            return fail("Error writing annotation to URL database.");
        return true;
    };

    for (const auto& site : m_sites) {
        if (!site)
            continue;
        std::int32_t linkCount = 0;
        for (const auto& link : site->m_links)
            linkCount += link ? 1 : 0;
        const bool metaWritten = file.WriteInt32(CappedLength(site->m_url)) &&
                                 file.WriteInt32(CappedLength(site->m_title)) &&
                                 file.WriteInt32(CappedLength(site->m_annotation)) &&
                                 file.WriteInt32(linkCount) && file.WriteInt32(site->m_visited) &&
                                 file.WriteInt32(site->m_hidden) && file.WriteInt32(site->m_x) &&
                                 file.WriteInt32(site->m_y) && file.WriteInt32(site->m_time);
        if (!metaWritten)
            return fail("Error writing meta-data to URL database.");
        if (!writeTexts(*site))
            return false;

        file.WriteInt32(static_cast<std::int32_t>(site->m_words.size()));
        for (const auto& [text, entry] : site->m_words)
            file.WriteString(Capped(text));

        for (const auto& link : site->m_links) {
            if (!link)
                continue;
            const bool linkMetaWritten = file.WriteInt32(CappedLength(link->m_url)) &&
                                         file.WriteInt32(CappedLength(link->m_title)) &&
                                         file.WriteInt32(CappedLength(link->m_annotation)) &&
                                         file.WriteInt32(link->m_hidden) &&
                                         file.WriteInt32(link->m_x) && file.WriteInt32(link->m_y);
            if (!linkMetaWritten)
                return fail("Error writing meta-data to URL database.");
            if (!writeTexts(*link))
                return false;
        }
    }

    std::string asideName;
    if (m_damaged && !SetAsideDamagedFileBeforeSave(asideName))
        return false;
    if (!file.Commit()) {
        // The damaged file goes back where it was, to be set aside again by the next save.
        if (!asideName.empty() && ::rename(asideName.c_str(), m_fileName.c_str()) == 0)
            m_damaged = true;
        ShowError("Error writing url database " + m_fileName + "; the previous file is kept.");
        return false;
    }
    return true;
}

// The file that could not be read whole is renamed, never overwritten: it may hold sites the
// loader could not reach.
bool CSiteDatabase::SetAsideDamagedFileBeforeSave(std::string& asideName) {
    struct stat info;
    if (::lstat(m_fileName.c_str(), &info) == 0)
        asideName = SetAsideDamagedFile(m_fileName);
    if (asideName.empty() && ::lstat(m_fileName.c_str(), &info) == 0) {
        ShowError("Can't rename the damaged url database " + m_fileName +
                  " aside; it is left as it was and the map is not saved.");
        return false;
    }
    m_damaged = false;
    return true;
}

CSite* CSiteDatabase::FindSite(const std::string& url) const {
    const auto it = m_urlMap.find(url);
    return it == m_urlMap.end() ? nullptr : it->second;
}

int CSiteDatabase::SlotOf(const CSite* site) const {
    if (!site)
        return -1;
    for (std::size_t i = 0; i < m_sites.size(); ++i) {
        if (m_sites[i].get() == site)
            return static_cast<int>(i);
    }
    return -1;
}

int CSiteDatabase::IndexOfSite(const std::string& url) const {
    return SlotOf(FindSite(url));
}

CSite* CSiteDatabase::AddSite(std::unique_ptr<CSite> site) {
    CSite* raw = site.get();
    if (!raw)
        return nullptr;
    m_urlMap[raw->m_url] = raw;
    m_sites.push_back(std::move(site));
    m_modified = true;
    return raw;
}

bool CSiteDatabase::HasWord(const std::string& text) const {
    return m_words.find(text) != m_words.end();
}

CWordEntry* CSiteDatabase::FindOrMakeWord(const std::string& text) {
    if (text.size() < 2)
        return nullptr;
    const auto it = m_words.find(text);
    if (it != m_words.end())
        return it->second.get();
    auto entry = std::make_unique<CWordEntry>(text);
    entry->m_x = RandomBetween(20, 1980);
    entry->m_y = RandomBetween(20, 1980);
    CWordEntry* raw = entry.get();
    m_words.emplace(text, std::move(entry));
    return raw;
}

void CSiteDatabase::RestoreUrlMapEntry(const std::string& url) {
    for (auto it = m_sites.rbegin(); it != m_sites.rend(); ++it) {
        if (*it && (*it)->m_url == url) {
            m_urlMap[url] = it->get();
            return;
        }
    }
    m_urlMap.erase(url);
}

// The site is found by identity, not by URL: a link site shares its URL with the visited
// site it points to, and two visited records may share one URL.
std::unique_ptr<CSite> CSiteDatabase::RemoveSite(CSite* site) {
    const int slot = SlotOf(site);
    if (slot >= 0) {
        std::unique_ptr<CSite> removed = std::move(m_sites[static_cast<std::size_t>(slot)]);
        m_sites.erase(m_sites.begin() + slot);
        const auto mapped = m_urlMap.find(removed->m_url);
        if (mapped != m_urlMap.end() && mapped->second == site)
            RestoreUrlMapEntry(removed->m_url);
        removed->Hide();
        for (auto it = m_words.begin(); it != m_words.end();) {
            auto& sites = it->second->m_sites;
            const bool carried = sites.EraseItem(site);
            it = carried && sites.empty() ? m_words.erase(it) : std::next(it);
        }
        removed->m_words.clear();
        m_modified = true;
        return removed;
    }
    for (const auto& visited : m_sites) {
        if (!visited)
            continue;
        auto& links = visited->m_links;
        for (auto it = links.begin(); it != links.end(); ++it) {
            if (site && it->get() == site) {
                std::unique_ptr<CSite> removed = std::move(*it);
                links.erase(it);
                m_modified = true;
                return removed;
            }
        }
    }
    return nullptr;
}

bool CSiteDatabase::RekeySite(CSite* site, const std::string& newUrl) {
    if (!site)
        return false;
    if (SlotOf(site) < 0) {
        for (const auto& visited : m_sites) {
            if (!visited)
                continue;
            for (const auto& link : visited->m_links) {
                if (link.get() == site) {
                    site->m_url = newUrl;
                    m_modified = true;
                    return true;
                }
            }
        }
        return false;
    }
    if (site->m_url == newUrl)
        return true;
    // The word entries keep their sites in URL order: out under the old URL, in under the new.
    std::vector<CWordEntry*> carriers;
    for (auto& [text, entry] : m_words) {
        if (entry->m_sites.EraseItem(site))
            carriers.push_back(entry.get());
    }
    const std::string oldUrl = std::exchange(site->m_url, newUrl);
    RestoreUrlMapEntry(oldUrl);
    RestoreUrlMapEntry(newUrl);
    for (CWordEntry* entry : carriers)
        entry->m_sites.Assign(site);
    m_modified = true;
    return true;
}
