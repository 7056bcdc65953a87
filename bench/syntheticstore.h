#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CCategoryTree;
class CSite;
class CSiteDatabase;

// The shape of a generated store. The defaults are the benchmark store: 100,000 visited sites
// with 20 links each, 200 distinct words per site drawn from a Zipf vocabulary of 200,000
// words, and 1,000 categories of 100 sites and 20 defining words each.
struct CStoreShape {
    int sites = 100000;
    int linksPerSite = 20;
    int wordsPerSite = 200;
    int vocabulary = 200000;
    int categories = 1000;
    int sitesPerCategory = 100;
    int wordsPerCategory = 20;
    bool indexEveryWord = false; // every vocabulary word in the word index, carried or not
    std::uint64_t seed = 20261208;
};

// Builds a store of the given shape, the same one for the same shape and seed: visited sites
// with their links and words in a CSiteDatabase, and a CCategoryTree over them. Half of each
// site's links point to other visited sites, half to outside pages. Categories hold
// consecutive runs of the sites in a shuffled order (a site is in at most one category).
class CSyntheticStore {
public:
    // With a file name the database is opened on it first (it must not exist yet), so that
    // Save() writes it there; it also saves when destroyed, and the hierarchy is written as
    // cats.wfx in the same folder.
    explicit CSyntheticStore(const CStoreShape& shape, const std::string& fileName = {});
    ~CSyntheticStore();
    CSyntheticStore(const CSyntheticStore&) = delete;
    CSyntheticStore& operator=(const CSyntheticStore&) = delete;

    CSiteDatabase& Database() { return *m_database; }
    CCategoryTree& Categories() { return *m_categories; }
    const CStoreShape& Shape() const { return m_shape; }

    // A new visited page with words and links drawn the way the store's were, added to the
    // database (as the pipeline adds a page before it is categorized) but to no category.
    CSite* AddNewPage(std::uint64_t seed);

    // The vocabulary word of a Zipf rank (0 is the most frequent), lower case.
    static std::string VocabularyWord(int rank);
    // The URL of the visited site with this number (links to it use the same).
    static std::string SiteUrl(int number);

private:
    class CRandom;

    std::unique_ptr<CSite> MakeSite(int number, CRandom& random);
    int ZipfRank(CRandom& random) const;
    void IndexSites(const std::vector<std::unique_ptr<CSite>>& sites);

    CStoreShape m_shape;
    std::vector<double> m_zipfCdf;
    std::unique_ptr<CSiteDatabase> m_database;
    std::unique_ptr<CCategoryTree> m_categories;
};
