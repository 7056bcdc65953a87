#include "bench/syntheticstore.h"

#include "model/category.h"
#include "model/categorytree.h"
#include "model/random.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"

#include <algorithm>
#include <cctype>
#include <numeric>
#include <unordered_set>

// splitmix64: small, fast and the same on every platform.
class CSyntheticStore::CRandom {
public:
    explicit CRandom(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
    double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

private:
    std::uint64_t m_state;
};

namespace {
std::string UpperCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}
} // namespace

std::string CSyntheticStore::VocabularyWord(int rank) {
    // A few letters of syllable for a natural length, then the rank in base 26 for uniqueness.
    static const char* const kSyllables[] = {"ka", "lo",  "mi",  "ne",  "ru",  "sa",  "te",
                                             "vo", "bri", "dan", "fel", "gor", "hul", "jin"};
    std::uint64_t h = static_cast<std::uint64_t>(rank) * 0x9E3779B97F4A7C15ull;
    std::string word = kSyllables[(h >> 40) % 14];
    if ((h >> 20) % 3 == 0)
        word += kSyllables[(h >> 8) % 14];
    int n = rank;
    do {
        word += static_cast<char>('a' + n % 26);
        n /= 26;
    } while (n > 0);
    return word;
}

CSyntheticStore::CSyntheticStore(const CStoreShape& shape, const std::string& fileName)
    : m_shape(shape), m_database(std::make_unique<CSiteDatabase>()),
      m_categories(std::make_unique<CCategoryTree>()) {
    if (!fileName.empty()) {
        m_database->Open(fileName);
        // The hierarchy is written beside it, as cats.wfx.
        const std::size_t folder = fileName.find_last_of('/');
        m_categories->Open(
            (folder == std::string::npos ? std::string() : fileName.substr(0, folder + 1)) +
                "cats.wfx",
            *m_database);
    }
    m_zipfCdf.resize(static_cast<std::size_t>(shape.vocabulary));
    double sum = 0.0;
    for (int k = 0; k < shape.vocabulary; ++k) {
        sum += 1.0 / (k + 1);
        m_zipfCdf[static_cast<std::size_t>(k)] = sum;
    }
    for (double& c : m_zipfCdf)
        c /= sum;

    SeedRandom(static_cast<unsigned int>(shape.seed));
    CRandom random(shape.seed);
    if (shape.indexEveryWord) {
        for (int rank = 0; rank < shape.vocabulary; ++rank)
            m_database->FindOrMakeWord(UpperCase(VocabularyWord(rank)));
    }
    for (int i = 0; i < shape.sites; ++i)
        m_database->AddSite(MakeSite(i, random));

    IndexSites(m_database->Sites());

    std::vector<CSite*> order;
    for (const auto& site : m_database->Sites())
        order.push_back(site.get());
    for (std::size_t i = order.size(); i > 1; --i)
        std::swap(order[i - 1], order[static_cast<std::size_t>(random.Below(static_cast<int>(i)))]);

    std::size_t next = 0;
    for (int c = 0; c < shape.categories; ++c) {
        auto category = std::make_unique<CCategory>("Category " + std::to_string(c));
        std::unordered_set<int> ranks;
        while (static_cast<int>(ranks.size()) < shape.wordsPerCategory)
            ranks.insert(ZipfRank(random));
        std::vector<int> sorted(ranks.begin(), ranks.end());
        std::sort(sorted.begin(), sorted.end());
        for (int rank : sorted)
            category->m_words.Add(UpperCase(VocabularyWord(rank)), 1 + random.Below(5));
        CCategory* registered = m_categories->Register(std::move(category));
        // Fifty top-level categories, the others below them.
        if (c >= 50)
            m_categories->Reparent(registered, c % 50);
        for (int s = 0; s < shape.sitesPerCategory && next < order.size(); ++s)
            registered->AddSite(order[next++]);
    }
}

CSyntheticStore::~CSyntheticStore() {
    m_categories.reset(); // the hierarchy refers to the database's sites
}

// Visiting the sites in URL order appends each word's sites already sorted, as the loader does.
void CSyntheticStore::IndexSites(const std::vector<std::unique_ptr<CSite>>& sites) {
    std::vector<CSite*> byUrl;
    for (const auto& site : sites)
        byUrl.push_back(site.get());
    std::stable_sort(byUrl.begin(), byUrl.end(),
                     [](const CSite* a, const CSite* b) { return a->m_url < b->m_url; });
    for (CSite* site : byUrl) {
        for (const auto& [text, entry] : site->m_words)
            entry->m_sites.AppendUnsorted(site);
    }
    for (const auto& [text, entry] : m_database->Words())
        entry->m_sites.Normalize();
}

std::string CSyntheticStore::SiteUrl(int number) {
    std::string url = "http://www.site";
    url += std::to_string(number);
    url += ".example.org/pages/";
    url += std::to_string(number * 7919 % 1000);
    url += "/index.html";
    return url;
}

int CSyntheticStore::ZipfRank(CRandom& random) const {
    const double u = random.Unit();
    const auto it = std::lower_bound(m_zipfCdf.begin(), m_zipfCdf.end(), u);
    return std::min(static_cast<int>(it - m_zipfCdf.begin()), m_shape.vocabulary - 1);
}

std::unique_ptr<CSite> CSyntheticStore::MakeSite(int number, CRandom& random) {
    const std::string url = SiteUrl(number);
    std::string title;
    for (int w = 3 + random.Below(4); w > 0; --w)
        title += VocabularyWord(ZipfRank(random)) + (w > 1 ? " " : "");
    auto site =
        std::make_unique<CSite>(url, title, "<NONE>", 1, 1700000000 + number * 37 % 100000000);

    std::unordered_set<int> ranks;
    const int wanted = std::min(m_shape.wordsPerSite, m_shape.vocabulary);
    while (static_cast<int>(ranks.size()) < wanted)
        ranks.insert(ZipfRank(random));
    std::vector<CWordEntry*> entries;
    for (int rank : ranks) {
        if (CWordEntry* entry = m_database->FindOrMakeWord(UpperCase(VocabularyWord(rank))))
            entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end(),
              [](const CWordEntry* a, const CWordEntry* b) { return a->m_text < b->m_text; });
    // The entries learn of their sites once every site is made (IndexSites).
    for (CWordEntry* entry : entries)
        site->AddWord(entry);

    for (int l = 0; l < m_shape.linksPerSite; ++l) {
        std::string linkUrl;
        if (l % 2 == 0 && m_shape.sites > 0) {
            linkUrl = SiteUrl(random.Below(m_shape.sites));
        } else {
            linkUrl = "http://ext" + std::to_string(random.Below(50000)) + ".example.net/" +
                      VocabularyWord(ZipfRank(random)) + ".html";
        }
        std::string text = VocabularyWord(ZipfRank(random));
        if (random.Below(2) == 0) {
            text += ' ';
            text += VocabularyWord(ZipfRank(random));
        }
        site->AddLink(std::make_unique<CSite>(linkUrl, text, "<NONE>", 0, 1700000000));
    }
    return site;
}

CSite* CSyntheticStore::AddNewPage(std::uint64_t seed) {
    CRandom random(seed);
    CSite* site =
        m_database->AddSite(MakeSite(m_shape.sites + static_cast<int>(seed % 1000), random));
    for (const auto& [text, entry] : site->m_words)
        entry->AddSite(site);
    return site;
}
