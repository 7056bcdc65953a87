#include "shell/korvodoc.h"

#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordlist.h"
#include "tests/support/tempdir.h"

#include <QObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

TEST(KorvoDocTest, KorvoDoc_TitleIsWayfold20) {
    EXPECT_EQ(CKorvoDoc().Title(), "Wayfold 2.0");
}

TEST(KorvoDocTest, KorvoDoc_UpdatesLiveViewsInOrderAndForgetsDeletedOnes) {
    CKorvoDoc doc;
    std::vector<int> calls;
    QObject first;
    auto second = std::make_unique<QObject>();
    QObject third;
    doc.AddView(&first, [&] { calls.push_back(1); });
    doc.AddView(second.get(), [&] { calls.push_back(2); });
    doc.AddView(&third, [&] { calls.push_back(3); });
    doc.UpdateAllViews();
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 3}));

    second.reset();
    doc.RemoveView(&third);
    calls.clear();
    doc.UpdateAllViews();
    EXPECT_EQ(calls, (std::vector<int>{1}));
    EXPECT_EQ(doc.ViewCount(), 1);
}

TEST(KorvoDocTest, KorvoDoc_FirstStartWithoutStopFileStopsCommonEnglishWordsAndWritesThem) {
    CTempDir home;
    std::vector<std::string> firstWords;
    {
        CKorvoDoc doc(home.Path());
        doc.Settings().home = home.Path();
        doc.OpenDataFiles();
        const CWordList& stop = *doc.StopList();
        for (const char* word : {"THE", "AND", "OF", "YOURSELVES", "DON'T"})
            EXPECT_TRUE(stop.Contains(word)) << word;
        EXPECT_FALSE(stop.Contains("the"));
        EXPECT_GE(stop.Count(), 150);
        EXPECT_LE(stop.Count(), 180);
        for (const auto& entry : stop.Entries())
            firstWords.push_back(entry.word);
    }
    std::sort(firstWords.begin(), firstWords.end());
    std::string written;
    for (const std::string& word : firstWords)
        written += word + "\n";
    std::ifstream file(home.File("stop.wfx"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), written);

    // A stop list the user emptied stays empty.
    std::ofstream(home.File("stop.wfx"), std::ios::trunc).close();
    CKorvoDoc doc(home.Path());
    doc.Settings().home = home.Path();
    doc.OpenDataFiles();
    EXPECT_EQ(doc.StopList()->Count(), 0);
}

} // namespace

namespace {

// A document over an empty store in a private home folder; records which sites it noted.
class KorvoDocStoreTest : public ::testing::Test {
protected:
    KorvoDocStoreTest() : m_doc(m_home.Path()) {
        m_doc.Settings().home = m_home.Path();
        m_doc.OpenDataFiles();
        QObject::connect(&m_doc, &CKorvoDoc::SiteChanged,
                         [this](CSite* site, CSite*) { m_changed.push_back(site); });
        QObject::connect(&m_doc, &CKorvoDoc::StoreChanged, [this] { ++m_storeChanges; });
    }

    CSite* AddSiteWithLinks(const std::string& url, int links) {
        auto site = std::make_unique<CSite>(url, "t", "<NONE>", 1);
        for (int i = 0; i < links; ++i)
            site->AddLink(std::make_unique<CSite>(url + std::to_string(i), "l", "<NONE>", 0));
        return m_doc.Database()->AddSite(std::move(site));
    }

    CTempDir m_home;
    CKorvoDoc m_doc;
    std::vector<CSite*> m_changed;
    int m_storeChanges = 0;
};

TEST_F(KorvoDocStoreTest, HidingOneSiteNotesItAndItsLinksWhileHidingAllNotesTheStoreOnce) {
    CSite* site = AddSiteWithLinks("http://a.example/", 2);
    CSite* other = AddSiteWithLinks("http://b.example/", 1);
    site->m_selected = true;
    m_doc.HideSite(site);
    EXPECT_TRUE(site->m_hidden && site->m_links[0]->m_hidden && site->m_links[1]->m_hidden);
    EXPECT_FALSE(site->m_selected);
    EXPECT_EQ(m_changed,
              (std::vector<CSite*>{site, site->m_links[0].get(), site->m_links[1].get()}));
    EXPECT_FALSE(other->m_hidden);
    EXPECT_TRUE(m_doc.Database()->IsModified());

    m_changed.clear();
    m_doc.ShowAll();
    m_doc.HideAll();
    EXPECT_TRUE(m_changed.empty());
    EXPECT_EQ(m_storeChanges, 2);
    EXPECT_TRUE(other->m_hidden && other->m_links[0]->m_hidden);
}

} // namespace
