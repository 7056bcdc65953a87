#include "dialogs/sitepropertiesdlg.h"

#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {
QStringList Entries(const CSitePropertiesDlg& dlg, const char* name) {
    QStringList texts;
    const auto* list = dlg.findChild<QListWidget*>(QString::fromLatin1(name));
    for (int row = 0; row < list->count(); ++row) {
        texts << list->item(row)->text();
    }
    return texts;
}

bool ListShown(const CSitePropertiesDlg& dlg, const char* name) {
    return !dlg.findChild<QListWidget*>(QString::fromLatin1(name))->parentWidget()->isHidden();
}

QLineEdit* Edit(const CSitePropertiesDlg& dlg, const char* name) {
    return dlg.findChild<QLineEdit*>(QString::fromLatin1(name));
}

// A database with one visited site carrying two words, filed in Science:Physics and in Art.
struct SmallStore {
    SmallStore() {
        site = database.AddSite(std::make_unique<CSite>("http://optics.example/", "Optics Page",
                                                        "<NONE>", 1, 1700000000));
        for (const char* text : {"LENS", "BEAM"}) {
            CWordEntry* entry = database.FindOrMakeWord(text);
            entry->AddSite(site);
            site->AddWord(entry);
        }
        CCategory* science = categories.Register(std::make_unique<CCategory>("Science"));
        CCategory* art = categories.Register(std::make_unique<CCategory>("Art"));
        CCategory* physics = categories.Register(std::make_unique<CCategory>("Physics"));
        categories.Reparent(physics, science->m_index);
        physics->AddSite(site);
        art->AddSite(site);
        link = site->AddLink(
            std::make_unique<CSite>("http://elsewhere.example/", "elsewhere", "<NONE>", 0));
    }
    CSiteDatabase database;
    CCategoryTree categories;
    CSite* site = nullptr;
    CSite* link = nullptr;
};
} // namespace

TEST(SitePropertiesDlg, VisitedSiteShowsTextsWordsAndCategoryPathsInSlotOrder) {
    SmallStore store;
    store.site->m_annotation = "my note";
    store.site->m_hidden = 1;
    CSitePropertiesDlg dlg(*store.site, store.database, store.categories);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Edit Properties"));
    EXPECT_EQ(Edit(dlg, "url")->text(), QStringLiteral("http://optics.example/"));
    EXPECT_EQ(Edit(dlg, "title")->text(), QStringLiteral("Optics Page"));
    EXPECT_EQ(Edit(dlg, "annotation")->text(), QStringLiteral("my note"));
    EXPECT_EQ(Edit(dlg, "date")->text().toStdString(), store.site->TimeText());
    EXPECT_TRUE(Edit(dlg, "date")->isReadOnly());
    EXPECT_TRUE(Edit(dlg, "date")->alignment() & Qt::AlignHCenter);
    EXPECT_TRUE(dlg.findChild<QCheckBox*>(QStringLiteral("hidden"))->isChecked());
    EXPECT_TRUE(dlg.ShowsLists());
    EXPECT_EQ(Entries(dlg, "words"), (QStringList{"BEAM", "LENS"}));
    EXPECT_EQ(Entries(dlg, "categories"), (QStringList{"Art", "Science:Physics"}));
}

TEST(SitePropertiesDlg, LinkOnlySiteOpensWithBothListsHidden) {
    SmallStore store;
    CSitePropertiesDlg dlg(*store.link, store.database, store.categories);
    EXPECT_FALSE(dlg.ShowsLists());
    EXPECT_FALSE(ListShown(dlg, "words"));
    EXPECT_FALSE(ListShown(dlg, "categories"));
    EXPECT_EQ(Edit(dlg, "title")->text(), QStringLiteral("elsewhere"));
}

TEST(SitePropertiesDlg, LinkToAVisitedSiteAndBareVisitedSiteShowEmptyLists) {
    SmallStore store;
    CSite* bare = store.database.AddSite(
        std::make_unique<CSite>("http://bare.example/", "Bare", "<NONE>", 1));
    CSite* linkToOptics =
        bare->AddLink(std::make_unique<CSite>("http://optics.example/", "optics", "<NONE>", 0));
    for (const CSite* shown : {bare, linkToOptics}) {
        CSitePropertiesDlg dlg(*shown, store.database, store.categories);
        EXPECT_TRUE(dlg.ShowsLists());
        EXPECT_TRUE(ListShown(dlg, "words"));
        EXPECT_TRUE(ListShown(dlg, "categories"));
        EXPECT_TRUE(Entries(dlg, "words").isEmpty());
        EXPECT_TRUE(Entries(dlg, "categories").isEmpty());
    }
}

TEST(SitePropertiesDlg, EditedValuesAreReadBackAndTheSiteIsLeftAlone) {
    SmallStore store;
    CSitePropertiesDlg dlg(*store.site, store.database, store.categories);
    dlg.show();
    Edit(dlg, "url")->setText(QStringLiteral("http://optics.example/new"));
    Edit(dlg, "title")->setText(QStringLiteral("New Title"));
    Edit(dlg, "annotation")->setText(QStringLiteral("seen twice"));
    dlg.findChild<QCheckBox*>(QStringLiteral("hidden"))->setChecked(true);
    dlg.accept();
    EXPECT_EQ(dlg.Url(), "http://optics.example/new");
    EXPECT_EQ(dlg.Title(), "New Title");
    EXPECT_EQ(dlg.Annotation(), "seen twice");
    EXPECT_TRUE(dlg.Hidden());
    EXPECT_EQ(store.site->m_url, "http://optics.example/");
    EXPECT_EQ(store.site->m_title, "Optics Page");
    EXPECT_EQ(store.site->m_hidden, 0);
}

TEST(SitePropertiesDlg, UntouchedTextKeepsBytesThatAreNotUtf8) {
    SmallStore store;
    store.site->m_title = "Caf\xe9";
    CSitePropertiesDlg dlg(*store.site, store.database, store.categories);
    EXPECT_EQ(Edit(dlg, "title")->text(), QString::fromUtf8("Caf\xc3\xa9"));
    EXPECT_EQ(dlg.Title(), "Caf\xe9");
    Edit(dlg, "title")->setText(QString::fromUtf8("Caf\xc3\xa9s"));
    EXPECT_EQ(dlg.Title(), "Caf\xc3\xa9s");
}
