#include "dialogs/searchdlg.h"

#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "model/wordlist.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// A small store: sites with titles and annotations, and a word index.
struct CSearchStore {
    CSite* AddSite(const char* url, const char* title, const char* annotation = "<NONE>") {
        return database.AddSite(std::make_unique<CSite>(url, title, annotation, 1, 1700000000));
    }
    void IndexWord(const char* text, CSite* site) {
        CWordEntry* entry = database.FindOrMakeWord(text);
        entry->AddSite(site);
        site->AddWord(entry);
    }
    CSiteDatabase database;
    CWordList stopList;
};

QStringList Entries(const CSearchDlg& dlg, const char* name) {
    QStringList texts;
    const auto* list = dlg.findChild<QListWidget*>(QString::fromLatin1(name));
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

QStringList Keywords(const CSearchDlg& dlg) {
    return Entries(dlg, "keywordList");
}

QStringList Sites(const CSearchDlg& dlg) {
    return Entries(dlg, "siteList");
}

QListWidget* List(const CSearchDlg& dlg, const char* name) {
    return dlg.findChild<QListWidget*>(QString::fromLatin1(name));
}

QString SelectedKeyword(const CSearchDlg& dlg) {
    const auto selected = List(dlg, "keywordList")->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void Type(CSearchDlg& dlg, const char* text) {
    QTest::keyClicks(dlg.findChild<QLineEdit*>(QStringLiteral("keywords")),
                     QString::fromLatin1(text));
}

void SelectKeyword(CSearchDlg& dlg, const char* text) {
    auto* list = List(dlg, "keywordList");
    const auto found = list->findItems(QString::fromLatin1(text), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << text;
    list->setCurrentItem(found.first());
}

QPushButton* Button(const CSearchDlg& dlg, const char* name) {
    return dlg.findChild<QPushButton*>(QString::fromLatin1(name));
}

} // namespace

TEST(SearchDlg, IndexWordsAreListedSortedEachWithTheSitesCarryingIt) {
    CSearchStore store;
    CSite* optics = store.AddSite("http://optics.example/", "Optics");
    CSite* lenses = store.AddSite("http://lenses.example/", "Lenses");
    store.IndexWord("LENS", optics);
    store.IndexWord("LENS", lenses);
    store.IndexWord("BEAM", optics);
    CSearchDlg dlg(store.database, store.stopList, true, false, false);
    EXPECT_EQ(Keywords(dlg), (QStringList{"BEAM", "LENS"}));
    SelectKeyword(dlg, "LENS");
    EXPECT_EQ(Sites(dlg),
              (QStringList{"Lenses:http://lenses.example/", "Optics:http://optics.example/"}));
    // Choosing an entry puts its text into the keyword box.
    EXPECT_EQ(dlg.findChild<QLineEdit*>(QStringLiteral("keywords"))->text(),
              QStringLiteral("LENS"));
}

TEST(SearchDlg, TitleWordsJoinLongerEntriesTheyBeginAndSkipStopWords) {
    CSearchStore store;
    CSite* indexed = store.AddSite("http://scopes.example/", "Scopes");
    store.IndexWord("TELESCOPES", indexed);
    CSite* titled = store.AddSite("http://titled.example/", "The Telescope Tele Shop");
    store.stopList.Add("THE");
    CSearchDlg dlg(store.database, store.stopList, true, true, false);
    // TELESCOPE and TELE begin TELESCOPES, so they join it; SHOP and SCOPES get entries of
    // their own; THE is a stop word.
    EXPECT_EQ(Keywords(dlg), (QStringList{"SCOPES", "SHOP", "TELESCOPES"}));
    SelectKeyword(dlg, "TELESCOPES");
    EXPECT_EQ(Sites(dlg), (QStringList{"Scopes:http://scopes.example/",
                                       "The Telescope Tele Shop:http://titled.example/"}));
    SelectKeyword(dlg, "SHOP");
    EXPECT_EQ(Sites(dlg), (QStringList{"The Telescope Tele Shop:http://titled.example/"}));
    (void)titled;
}

TEST(SearchDlg, ATitleWordJoinsTheMatchFoundFromTheSecondEntryOn) {
    CSearchStore store;
    CSite* a = store.AddSite("http://a.example/", "a");
    store.IndexWord("OPTICAL", a);
    store.IndexWord("OPTICS", a);
    store.AddSite("http://b.example/", "Optic");
    CSearchDlg dlg(store.database, store.stopList, true, true, false);
    // OPTICAL is the first entry, OPTICS the second: the search starts at the second.
    EXPECT_EQ(Keywords(dlg), (QStringList{"OPTICAL", "OPTICS"}));
    SelectKeyword(dlg, "OPTICS");
    EXPECT_EQ(Sites(dlg), (QStringList{"a:http://a.example/", "Optic:http://b.example/"}));
    SelectKeyword(dlg, "OPTICAL");
    EXPECT_EQ(Sites(dlg), (QStringList{"a:http://a.example/"}));
}

TEST(SearchDlg, AnnotationWordsAreListedWithoutThePlaceholderOfAnEmptyAnnotation) {
    CSearchStore store;
    store.AddSite("http://a.example/", "Alpha", "<NONE>");
    store.AddSite("http://b.example/", "Beta", "great lenses, a bargain");
    CSearchDlg dlg(store.database, store.stopList, false, false, true);
    EXPECT_EQ(Keywords(dlg), (QStringList{"BARGAIN", "GREAT", "LENSES"}));
}

TEST(SearchDlg, ASiteCarryingAKeywordTwiceIsListedOnceUnderIt) {
    CSearchStore store;
    CSite* site = store.AddSite("http://lens.example/", "Lens lens LENS", "lens again");
    store.IndexWord("LENS", site);
    CSearchDlg dlg(store.database, store.stopList, true, true, true);
    EXPECT_EQ(Keywords(dlg), (QStringList{"AGAIN", "LENS"}));
    SelectKeyword(dlg, "LENS");
    EXPECT_EQ(Sites(dlg), (QStringList{"Lens lens LENS:http://lens.example/"}));
}

TEST(SearchDlg, AllBoxesUncheckedGiveAnEmptyKeywordList) {
    CSearchStore store;
    CSite* site = store.AddSite("http://lens.example/", "Lens", "note");
    store.IndexWord("LENS", site);
    CSearchDlg dlg(store.database, store.stopList, false, false, false);
    EXPECT_TRUE(Keywords(dlg).isEmpty());
    // Ticking a box rebuilds the list at once; unticking it empties it again.
    auto* titles = dlg.findChild<QCheckBox*>(QStringLiteral("Search Titles"));
    titles->click();
    EXPECT_EQ(Keywords(dlg), (QStringList{"LENS"}));
    EXPECT_TRUE(dlg.SearchTitles());
    titles->click();
    EXPECT_TRUE(Keywords(dlg).isEmpty());
    EXPECT_FALSE(dlg.SearchTitles());
    EXPECT_FALSE(dlg.SearchWords());
    EXPECT_FALSE(dlg.SearchAnnotations());
}

TEST(SearchDlg, TypingSelectsTheLaterOfTwoMatchingEntriesAndListsItsSites) {
    CSearchStore store;
    CSite* a = store.AddSite("http://a.example/", "A");
    CSite* b = store.AddSite("http://b.example/", "B");
    store.IndexWord("OPTICAL", a);
    store.IndexWord("OPTICS", b);
    CSearchDlg dlg(store.database, store.stopList, true, false, false);
    Type(dlg, "opt");
    EXPECT_EQ(SelectedKeyword(dlg), QStringLiteral("OPTICS"));
    EXPECT_EQ(Sites(dlg), (QStringList{"B:http://b.example/"}));
    // The typed text stays as typed.
    EXPECT_EQ(dlg.findChild<QLineEdit*>(QStringLiteral("keywords"))->text(), QStringLiteral("opt"));
    Type(dlg, "ica");
    EXPECT_EQ(SelectedKeyword(dlg), QStringLiteral("OPTICAL"));
    EXPECT_EQ(Sites(dlg), (QStringList{"A:http://a.example/"}));
}

TEST(SearchDlg, TypingTextThatBeginsNoEntryLeavesTheListsAsTheyAre) {
    CSearchStore store;
    CSite* a = store.AddSite("http://a.example/", "A");
    store.IndexWord("ALPHA", a);
    store.IndexWord("BETA", a);
    CSearchDlg dlg(store.database, store.stopList, true, false, false);
    Type(dlg, "be");
    ASSERT_EQ(SelectedKeyword(dlg), QStringLiteral("BETA"));
    Type(dlg, "x");
    EXPECT_EQ(SelectedKeyword(dlg), QStringLiteral("BETA"));
    EXPECT_EQ(Sites(dlg), (QStringList{"A:http://a.example/"}));
}

TEST(SearchDlg, SiteButtonsFollowTheSiteSelectionAndActOnTheSelectedSite) {
    CSearchStore store;
    CSite* a = store.AddSite("http://a.example/", "A");
    store.IndexWord("ALPHA", a);
    CSearchDlg dlg(store.database, store.stopList, true, false, false);
    std::vector<CSite*> centred;
    std::vector<CSite*> opened;
    QObject::connect(&dlg, &CSearchDlg::CenterRequested,
                     [&centred](CSite* site) { centred.push_back(site); });
    QObject::connect(&dlg, &CSearchDlg::OpenRequested,
                     [&opened](CSite* site) { opened.push_back(site); });
    for (const char* name : {"center", "properties", "open"})
        EXPECT_FALSE(Button(dlg, name)->isEnabled()) << name;
    SelectKeyword(dlg, "ALPHA");
    // With no site selected the handlers do nothing.
    dlg.OnCenter();
    dlg.OnOpenInBrowser();
    EXPECT_TRUE(centred.empty());
    EXPECT_TRUE(opened.empty());

    List(dlg, "siteList")->setCurrentRow(0);
    for (const char* name : {"center", "properties", "open"})
        EXPECT_TRUE(Button(dlg, name)->isEnabled()) << name;
    Button(dlg, "center")->click();
    EXPECT_EQ(centred, std::vector<CSite*>{a});
    Button(dlg, "open")->click();
    EXPECT_EQ(opened, std::vector<CSite*>{a});

    // Cancelling the site selection disables them again.
    List(dlg, "siteList")->clearSelection();
    EXPECT_FALSE(Button(dlg, "center")->isEnabled());
}

TEST(SearchDlg, KeywordListTakingTheFocusDisablesTheSiteButtons) {
    CSearchStore store;
    CSite* a = store.AddSite("http://a.example/", "A");
    store.IndexWord("ALPHA", a);
    CSearchDlg dlg(store.database, store.stopList, true, false, false);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    dlg.activateWindow();
    SelectKeyword(dlg, "ALPHA");
    List(dlg, "siteList")->setFocus();
    List(dlg, "siteList")->setCurrentRow(0);
    ASSERT_TRUE(Button(dlg, "open")->isEnabled());
    List(dlg, "keywordList")->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(Button(dlg, "open")->isEnabled());
}

TEST(SearchDlg, PropertiesShowsTheEditedSiteAnew) {
    CSearchStore store;
    CSite* a = store.AddSite("http://a.example/", "Old Title");
    store.IndexWord("ALPHA", a);
    CSearchDlg dlg(store.database, store.stopList, true, false, false);
    QObject::connect(&dlg, &CSearchDlg::PropertiesRequested,
                     [](CSite* site) { site->m_title = "New Title"; });
    SelectKeyword(dlg, "ALPHA");
    List(dlg, "siteList")->setCurrentRow(0);
    Button(dlg, "properties")->click();
    EXPECT_EQ(Sites(dlg), (QStringList{"New Title:http://a.example/"}));
}

TEST(SearchDlg, DoubleClickOnASiteOpensItAndClosesTheDialog) {
    CSearchStore store;
    CSite* a = store.AddSite("http://a.example/", "A");
    store.IndexWord("ALPHA", a);
    CSearchDlg dlg(store.database, store.stopList, true, false, false);
    std::vector<CSite*> opened;
    QObject::connect(&dlg, &CSearchDlg::OpenRequested,
                     [&opened](CSite* site) { opened.push_back(site); });
    dlg.show();
    SelectKeyword(dlg, "ALPHA");
    List(dlg, "siteList")->setCurrentRow(0);
    emit List(dlg, "siteList")->itemDoubleClicked(List(dlg, "siteList")->item(0));
    EXPECT_EQ(opened, std::vector<CSite*>{a});
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}
