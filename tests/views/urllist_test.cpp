#include "views/urllist.h"

#include "dialogs/sitepropertiesdlg.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "shell/browserlauncher.h"
#include "shell/korvodoc.h"
#include "shell/settings.h"
#include "tests/dialogs/modalhelper.h"
#include "tests/shell/shellfixture.h"
#include "views/logbookmodel.h"
#include "views/siteorder.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

// Texts in failure messages.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {
// A real main frame in a private home with a small store:
//   sites  "  beta page" (time 300, words BEAM LENS, links to alpha and to far.example),
//          "Alpha page" (time 100, word LENS), "gamma" (time 200, hidden)
//   categories  Science(0) > Physics(1) > Optics(2), Art(3); Physics holds beta, Art holds alpha
class LogBookTest : public CShellFixture {
protected:
    void SetUp() override {
        CShellFixture::SetUp();
        Frame();
        database = Frame().Database();
        tree = Frame().CategoryTree();
        beta = AddSite("http://b.example/", "  beta page", 300, {"BEAM", "LENS"});
        alpha = AddSite("http://a.example/", "Alpha page", 100, {"LENS"});
        gamma = AddSite("http://c.example/", "gamma", 200, {});
        gamma->m_hidden = 1;
        linkToAlpha =
            beta->AddLink(std::make_unique<CSite>("http://a.example/", "to alpha", "<NONE>", 0));
        farLink =
            beta->AddLink(std::make_unique<CSite>("http://far.example/", "far away", "<NONE>", 0));
        science = AddCategory("Science", -1);
        physics = AddCategory("Physics", science->m_index);
        optics = AddCategory("Optics", physics->m_index);
        art = AddCategory("Art", -1);
        physics->AddSite(beta);
        art->AddSite(alpha);
        Frame().Settings().viewFlags = kViewTitle;
        Frame().Settings().sortType = kSortByTitle;
        list = Frame().LogBook();
        ASSERT_NE(list, nullptr);
        list->Build();
        ListAll();
    }

    CSite* AddSite(const std::string& url, const std::string& title, std::int32_t time,
                   const std::vector<std::string>& words) {
        CSite* site = database->AddSite(std::make_unique<CSite>(url, title, "<NONE>", 1, time));
        for (const std::string& text : words) {
            CWordEntry* entry = database->FindOrMakeWord(text);
            entry->AddSite(site);
            site->AddWord(entry);
        }
        return site;
    }

    CCategory* AddCategory(const std::string& name, std::int32_t parent) {
        CCategory* category = tree->Register(std::make_unique<CCategory>(name));
        tree->Reparent(category, parent);
        return category;
    }

    CKorvoDoc& Doc() { return *Frame().Document(); }
    QAbstractItemModel& Rows() const { return *list->model(); }

    QStringList Texts(const QModelIndex& parent) const {
        QStringList texts;
        for (int row = 0; row < Rows().rowCount(parent); ++row)
            texts << Rows().index(row, 0, parent).data().toString();
        return texts;
    }

    QModelIndex Child(const QModelIndex& parent, const QString& text) const {
        for (int row = 0; row < Rows().rowCount(parent); ++row)
            if (Rows().index(row, 0, parent).data().toString() == text)
                return Rows().index(row, 0, parent);
        return {};
    }

    // Asks for every row, as a view showing them all would.
    void ListAll(const QModelIndex& parent = {}) const {
        for (int row = 0; row < Rows().rowCount(parent); ++row)
            ListAll(Rows().index(row, 0, parent));
    }

    std::vector<QModelIndex> ItemsOfKind(const void* object, CLogItem::EKind kind) const {
        std::vector<QModelIndex> found;
        for (const QModelIndex& index : list->ItemsShowing(object))
            if (list->Item(index).kind == kind)
                found.push_back(index);
        return found;
    }

    std::pair<int, int> Images(const QModelIndex& index) const {
        return list->Model().Images(index);
    }

    QStringList MenuTexts(const QModelIndex& index, QStringList* disabled = nullptr) {
        std::unique_ptr<QMenu> menu(list->MakeContextMenu(index));
        QStringList texts;
        for (QAction* action : menu->actions()) {
            if (action->isSeparator())
                continue;
            texts << action->text();
            if (disabled && !action->isEnabled())
                *disabled << action->text();
        }
        return texts;
    }

    void Run(const QModelIndex& index, const QString& command) {
        std::unique_ptr<QMenu> menu(list->MakeContextMenu(index));
        for (QAction* action : menu->actions()) {
            if (action->text() == command) {
                action->trigger();
                return;
            }
        }
        FAIL() << "no command " << command.toStdString();
    }

    void CutAt(const QModelIndex& index) {
        list->setCurrentIndex(index);
        list->Cut();
    }
    bool PasteAt(const QModelIndex& index) {
        const int beeps = list->BeepCount();
        list->setCurrentIndex(index);
        list->Paste();
        return list->BeepCount() == beeps;
    }

    // The frame on the screen with "SITES" open, and the browser replaced by a recorder.
    void ShowWithBrowserRecorder() {
        Frame().Settings().defaultBrowser = 1;
        Frame().Launcher()->SetDefaultBrowserOpener([this](const std::string& url) {
            opened.push_back(url);
            return true;
        });
        Frame().resize(900, 700);
        Frame().show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&Frame()));
        list->expand(list->SitesRoot());
    }

    // "Link 0000" to "Link <count-1>", every other one in capitals, in a shuffled order.
    static std::vector<int> ShuffledNumbers(int count) {
        std::vector<int> numbers(count);
        for (int i = 0; i < count; ++i) {
            numbers[i] = i;
        }
        std::shuffle(numbers.begin(), numbers.end(), std::mt19937(7));
        return numbers;
    }
    static std::string Numbered(const char* lower, const char* upper, int number) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%04d", number);
        return std::string(number % 2 ? upper : lower) + digits;
    }

    CSiteDatabase* database = nullptr;
    CCategoryTree* tree = nullptr;
    CUrlList* list = nullptr;
    CSite* alpha = nullptr;
    CSite* beta = nullptr;
    CSite* gamma = nullptr;
    CSite* linkToAlpha = nullptr;
    CSite* farLink = nullptr;
    CCategory* science = nullptr;
    CCategory* physics = nullptr;
    CCategory* optics = nullptr;
    CCategory* art = nullptr;
    std::vector<std::string> opened;
};
} // namespace

namespace {
// Every row in order with what it shows, one line each. A category's picture follows the view's
// expanded state and is left out.
void DumpRows(const CUrlList& list, const QModelIndex& parent, int depth, std::ostream& out) {
    const QAbstractItemModel& rows = *list.model();
    for (int row = 0; row < rows.rowCount(parent); ++row) {
        const QModelIndex index = rows.index(row, 0, parent);
        const CLogItem item = list.Item(index);
        out << std::string(static_cast<std::size_t>(depth), ' ') << item.kind << ' '
            << item.Object() << ' ' << item.owner << ' ' << index.data().toString().toStdString();
        if (item.kind != CLogItem::kCategory)
            out << " [" << list.Model().Images(index).first << ']';
        out << '\n';
        DumpRows(list, index, depth + 1, out);
    }
}

std::string Dump(const CUrlList& list) {
    std::ostringstream out;
    DumpRows(list, {}, 0, out);
    return out.str();
}
} // namespace

TEST_F(LogBookTest, BuildListsSitesWithLinksAndTheHierarchyWithItsSites) {
    EXPECT_EQ(Texts({}), (QStringList{"CATEGORIES", "SITES"}));
    EXPECT_EQ(Texts(list->SitesRoot()), (QStringList{"Alpha page", "  beta page", "gamma"}));
    EXPECT_EQ(Texts(list->ItemOfSite(beta)), (QStringList{"far away", "to alpha"}));
    EXPECT_EQ(Texts(list->CategoriesRoot()), (QStringList{"Art", "Science"}));
    const QModelIndex physicsItem = Child(Child(list->CategoriesRoot(), "Science"), "Physics");
    ASSERT_TRUE(physicsItem.isValid());
    EXPECT_EQ(Texts(physicsItem), (QStringList{"  beta page", "Optics"}));
    EXPECT_EQ(list->Item(Rows().index(0, 0, physicsItem)).kind, CLogItem::kCategorySite);
    EXPECT_EQ(Texts(Child(list->CategoriesRoot(), "Art")), (QStringList{"Alpha page"}));

    // A fresh log book makes a visited site's link rows only when they are asked for.
    CUrlList fresh(Doc());
    fresh.Build();
    EXPECT_TRUE(fresh.ItemsShowing(farLink).empty());
    EXPECT_EQ(fresh.model()->rowCount(fresh.ItemOfSite(beta)), 2);
    EXPECT_EQ(fresh.ItemsShowing(farLink).size(), 1u);
}

TEST_F(LogBookTest, ImagesFollowKindAndHiddenState) {
    EXPECT_EQ(Images(list->SitesRoot()), std::make_pair(8, 8));
    EXPECT_EQ(Images(list->CategoriesRoot()), std::make_pair(9, 10));
    EXPECT_EQ(Images(list->ItemOfSite(alpha)), std::make_pair(0, 1));
    EXPECT_EQ(Images(list->ItemOfSite(gamma)), std::make_pair(2, 3));
    EXPECT_EQ(Images(ItemsOfKind(linkToAlpha, CLogItem::kSite).at(0)), std::make_pair(0, 1));
    EXPECT_EQ(Images(ItemsOfKind(farLink, CLogItem::kSite).at(0)), std::make_pair(4, 5));
    EXPECT_EQ(Images(list->ItemOfCategory(physics)), std::make_pair(11, 12));
    EXPECT_EQ(Images(ItemsOfKind(beta, CLogItem::kCategorySite).at(0)), std::make_pair(13, 14));

    Doc().HideSite(beta);
    EXPECT_EQ(Images(ItemsOfKind(farLink, CLogItem::kSite).at(0)), std::make_pair(7, 6));
    EXPECT_EQ(Images(ItemsOfKind(linkToAlpha, CLogItem::kSite).at(0)), std::make_pair(2, 3));

    list->expand(list->ItemOfCategory(physics));
    EXPECT_EQ(Images(list->ItemOfCategory(physics)), std::make_pair(11, 11));
    list->collapse(list->ItemOfCategory(physics));
    EXPECT_EQ(Images(list->ItemOfCategory(physics)), std::make_pair(12, 12));
}

TEST_F(LogBookTest, SitesSortByTitleUrlOrDate) {
    Frame().Settings().sortType = kSortByUrl;
    Frame().Refresh();
    EXPECT_EQ(Texts(list->SitesRoot()), (QStringList{"Alpha page", "  beta page", "gamma"}));
    gamma->m_url = "http://0.example/";
    Doc().NoteSiteChanged(gamma);
    EXPECT_EQ(Texts(list->SitesRoot()), (QStringList{"gamma", "Alpha page", "  beta page"}));
    Frame().Settings().sortType = kSortByDate;
    Frame().Refresh();
    EXPECT_EQ(Texts(list->SitesRoot()), (QStringList{"  beta page", "gamma", "Alpha page"}));
    Frame().Settings().sortType = kSortByTitle;
    Frame().Refresh();
    EXPECT_EQ(Texts(list->SitesRoot()), (QStringList{"Alpha page", "  beta page", "gamma"}));
    alpha->m_title = "zeta";
    Doc().NoteSiteChanged(alpha);
    EXPECT_EQ(Texts(list->SitesRoot()), (QStringList{"  beta page", "gamma", "zeta"}));
}

TEST_F(LogBookTest, LabelsFollowTheViewFlagsOnUpdate) {
    Frame().Settings().viewFlags = kViewUrl | kViewTitle | kViewCategories;
    Frame().Refresh();
    EXPECT_EQ(list->ItemOfSite(alpha).data().toString(),
              QStringLiteral("http://a.example/;Alpha page;Art"));
    EXPECT_EQ(ItemsOfKind(farLink, CLogItem::kSite).at(0).data().toString(),
              QStringLiteral("http://far.example/;far away"));
    physics->m_name = "Physik";
    Doc().NoteCategoriesChanged();
    EXPECT_EQ(ItemsOfKind(beta, CLogItem::kCategorySite).at(0).data().toString(),
              QStringLiteral("http://b.example/;  beta page;Physik"));
    // Links follow the new texts: by URL now.
    EXPECT_EQ(Texts(list->ItemOfSite(beta)),
              (QStringList{"http://a.example/;to alpha", "http://far.example/;far away"}));
}

TEST_F(LogBookTest, DroppingACategoryOnItselfOrADescendantBeepsAndChangesNothing) {
    const QModelIndex scienceItem = list->ItemOfCategory(science);
    EXPECT_FALSE(list->DropItem(list->ItemOfCategory(optics), scienceItem));
    EXPECT_FALSE(list->DropItem(scienceItem, scienceItem));
    EXPECT_EQ(list->BeepCount(), 2);
    EXPECT_EQ(science->m_parent, -1);
    EXPECT_EQ(physics->m_parent, science->m_index);
    EXPECT_EQ(optics->m_children.ActiveCount(), 0);
    EXPECT_EQ(list->ItemOfCategory(science), scienceItem);
    EXPECT_EQ(list->ItemOfCategory(physics).parent(), scienceItem);
}

TEST_F(LogBookTest, DroppingACategoryOnAnotherMovesItWithItsSubtree) {
    EXPECT_TRUE(list->DropItem(list->ItemOfCategory(art), list->ItemOfCategory(physics)));
    EXPECT_EQ(physics->m_parent, art->m_index);
    EXPECT_TRUE(art->m_children.Contains(physics->m_index));
    EXPECT_FALSE(science->m_children.Contains(physics->m_index));
    const QModelIndex physicsItem = list->ItemOfCategory(physics);
    EXPECT_EQ(physicsItem.parent(), list->ItemOfCategory(art));
    EXPECT_EQ(Texts(physicsItem), (QStringList{"  beta page", "Optics"}));
    EXPECT_EQ(list->ItemsShowing(physics).size(), 1u);
    EXPECT_TRUE(Texts(list->ItemOfCategory(science)).isEmpty());
}

TEST_F(LogBookTest, DroppingASiteOnACategoryFilesIt) {
    EXPECT_TRUE(list->DropItem(list->ItemOfCategory(optics), list->ItemOfSite(gamma)));
    EXPECT_TRUE(optics->HoldsSite(gamma));
    EXPECT_TRUE(gamma->m_categories.Contains(optics->m_index));
    EXPECT_EQ(Texts(list->ItemOfCategory(optics)), (QStringList{"gamma"}));
}

TEST_F(LogBookTest, CutVisitedSiteLeavesEveryCategoryAndNothingPointsToIt) {
    CutAt(list->ItemOfSite(beta));
    EXPECT_EQ(database->FindSite("http://b.example/"), nullptr);
    EXPECT_FALSE(physics->HoldsSite(beta));
    EXPECT_FALSE(beta->m_categories.Contains(physics->m_index));
    EXPECT_TRUE(list->ItemsShowing(beta).empty());
    EXPECT_TRUE(list->ItemsShowing(farLink).empty());
    EXPECT_EQ(Texts(list->ItemOfCategory(physics)), (QStringList{"Optics"}));
    EXPECT_EQ(Texts(list->SitesRoot()), (QStringList{"Alpha page", "gamma"}));
    EXPECT_FALSE(database->HasWord("BEAM"));
    for (const auto& [text, entry] : database->Words()) {
        for (const auto& [url, site] : entry->m_sites) {
            EXPECT_NE(site, beta) << text;
        }
    }
    EXPECT_TRUE(list->HasClipboardItem());
}

TEST_F(LogBookTest, CutVisitedSitePastedOnSitesComesBackWithItsWords) {
    CutAt(list->ItemOfSite(beta));
    EXPECT_TRUE(PasteAt(list->SitesRoot()));
    EXPECT_EQ(database->FindSite("http://b.example/"), beta);
    ASSERT_TRUE(database->HasWord("BEAM"));
    EXPECT_EQ(database->FindOrMakeWord("BEAM")->m_sites.at("http://b.example/"), beta);
    EXPECT_EQ(database->FindOrMakeWord("LENS")->m_sites.size(), 2u);
    EXPECT_EQ(beta->m_words.size(), 2u);
    EXPECT_EQ(beta->m_hidden, 0);
    EXPECT_EQ(Texts(list->SitesRoot()), (QStringList{"Alpha page", "  beta page", "gamma"}));
    EXPECT_EQ(Texts(list->ItemOfSite(beta)), (QStringList{"far away", "to alpha"}));
    // It is the database's again: a second paste finds the URL taken.
    EXPECT_FALSE(PasteAt(list->SitesRoot()));
}

TEST_F(LogBookTest, PastingACutSiteWhoseUrlIsTakenBeepsAndKeepsItOnTheClipboard) {
    CutAt(list->ItemOfSite(beta));
    CSite* again = AddSite("http://b.example/", "beta again", 400, {});
    EXPECT_FALSE(PasteAt(list->SitesRoot()));
    EXPECT_EQ(database->FindSite("http://b.example/"), again);
    EXPECT_EQ(database->Sites().size(), 3u);
    EXPECT_TRUE(list->HasClipboardItem());
}

TEST_F(LogBookTest, CutSiteCannotBeFiledInACategoryWhileNobodyOwnsIt) {
    CutAt(list->ItemOfSite(gamma));
    EXPECT_FALSE(PasteAt(list->ItemOfCategory(art)));
    EXPECT_FALSE(art->HoldsSite(gamma));
    EXPECT_FALSE(PasteAt(list->CategoriesRoot()));
}

TEST_F(LogBookTest, DeleteAndBackspaceKeysCut) {
    list->setCurrentIndex(list->ItemOfSite(gamma));
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(list, &del);
    EXPECT_EQ(database->FindSite("http://c.example/"), nullptr);
    list->setCurrentIndex(ItemsOfKind(alpha, CLogItem::kCategorySite).at(0));
    QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QApplication::sendEvent(list, &backspace);
    EXPECT_FALSE(art->HoldsSite(alpha));
    EXPECT_NE(database->FindSite("http://a.example/"), nullptr);
    EXPECT_TRUE(ItemsOfKind(alpha, CLogItem::kCategorySite).empty());
}

TEST_F(LogBookTest, CutLinkSiteLeavesItsVisitedSite) {
    CutAt(ItemsOfKind(farLink, CLogItem::kSite).at(0));
    EXPECT_EQ(beta->m_links.size(), 1u);
    EXPECT_EQ(Texts(list->ItemOfSite(beta)), (QStringList{"to alpha"}));
}

TEST_F(LogBookTest, LinkDroppedOrPastedOnSitesBecomesAVisitedSiteOfItsOwn) {
    EXPECT_TRUE(list->DropItem(list->SitesRoot(), ItemsOfKind(farLink, CLogItem::kSite).at(0)));
    CSite* far = database->FindSite("http://far.example/");
    ASSERT_NE(far, nullptr);
    EXPECT_NE(far, farLink);
    EXPECT_EQ(far->m_visited, 1);
    EXPECT_EQ(far->m_title, "far away");
    EXPECT_EQ(beta->m_links.size(), 2u);
    EXPECT_EQ(Texts(list->SitesRoot()),
              (QStringList{"Alpha page", "  beta page", "far away", "gamma"}));
    EXPECT_EQ(Images(ItemsOfKind(farLink, CLogItem::kSite).at(0)), std::make_pair(0, 1));
    // A URL visited already beeps, dragged or pasted.
    EXPECT_FALSE(list->DropItem(list->SitesRoot(), ItemsOfKind(farLink, CLogItem::kSite).at(0)));
    list->setCurrentIndex(ItemsOfKind(linkToAlpha, CLogItem::kSite).at(0));
    list->Copy();
    EXPECT_FALSE(PasteAt(list->SitesRoot()));
    EXPECT_EQ(list->BeepCount(), 2);
    // A cut link pasted there comes back as a visited site.
    CSite* toAlpha = linkToAlpha;
    database->RekeySite(alpha, "http://moved.example/");
    Doc().NoteSiteChanged(alpha);
    CutAt(ItemsOfKind(toAlpha, CLogItem::kSite).at(0));
    EXPECT_TRUE(PasteAt(list->SitesRoot()));
    EXPECT_EQ(database->FindSite("http://a.example/"), toAlpha);
    EXPECT_EQ(toAlpha->m_visited, 1);
    EXPECT_EQ(beta->m_links.size(), 1u);
}

TEST_F(LogBookTest, CutCategoryPastedOnCategoriesGetsANewSlotAtTheEnd) {
    const int slotCount = tree->SlotCount();
    const std::int32_t oldIndex = physics->m_index;
    CutAt(list->ItemOfCategory(physics));
    EXPECT_EQ(tree->CategoryAt(oldIndex), nullptr);
    EXPECT_FALSE(list->ItemOfCategory(physics).isValid());
    EXPECT_FALSE(list->ItemOfCategory(optics).isValid());
    EXPECT_TRUE(PasteAt(list->CategoriesRoot()));
    EXPECT_EQ(tree->SlotCount(), slotCount + 1);
    EXPECT_EQ(tree->CategoryAt(slotCount), physics);
    EXPECT_EQ(physics->m_index, slotCount);
    EXPECT_EQ(physics->m_parent, -1);
    EXPECT_EQ(optics->m_parent, slotCount);
    EXPECT_TRUE(beta->m_categories.Contains(slotCount));
    EXPECT_FALSE(beta->m_categories.Contains(oldIndex));
    EXPECT_FALSE(science->m_children.Contains(oldIndex));
    EXPECT_EQ(Texts(list->CategoriesRoot()), (QStringList{"Art", "Physics", "Science"}));
    EXPECT_EQ(Texts(list->ItemOfCategory(physics)), (QStringList{"  beta page", "Optics"}));
}

TEST_F(LogBookTest, CutCategoryNeverPastedGoesWithItsDescendantsButNotTheirSites) {
    optics->AddSite(gamma);
    Doc().NoteSiteFiled(optics, gamma);
    const std::int32_t physicsIndex = physics->m_index;
    const std::int32_t opticsIndex = optics->m_index;
    CutAt(list->ItemOfCategory(physics));
    list->setCurrentIndex(list->ItemOfSite(alpha));
    list->Copy(); // replaces the clipboard
    EXPECT_EQ(tree->CategoryAt(physicsIndex), nullptr);
    EXPECT_EQ(tree->CategoryAt(opticsIndex), nullptr);
    EXPECT_EQ(database->FindSite("http://b.example/"), beta);
    EXPECT_EQ(database->FindSite("http://c.example/"), gamma);
    EXPECT_FALSE(beta->m_categories.Contains(physicsIndex));
    EXPECT_FALSE(gamma->m_categories.Contains(opticsIndex));
    EXPECT_EQ(science->m_children.ActiveCount(), 0);
    Frame().Settings().viewFlags = kViewTitle | kViewCategories;
    Frame().Refresh();
    EXPECT_EQ(list->ItemOfSite(beta).data().toString(), QStringLiteral("  beta page"));
}

TEST_F(LogBookTest, CopiedCategoryPastesAsANewCategoryWithTheSameSitesAndWords) {
    art->m_words.Add("PAINT", 2);
    list->setCurrentIndex(list->ItemOfCategory(art));
    list->Copy();
    EXPECT_TRUE(PasteAt(list->ItemOfCategory(science)));
    const int last = tree->SlotCount() - 1;
    CCategory* copy = tree->CategoryAt(last);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, art);
    EXPECT_EQ(copy->m_name, "Art");
    EXPECT_EQ(copy->m_parent, science->m_index);
    EXPECT_TRUE(copy->HoldsSite(alpha));
    EXPECT_TRUE(alpha->m_categories.Contains(last));
    EXPECT_EQ(copy->m_words.Entries().at(0).weight, 2);
    EXPECT_EQ(Texts(list->ItemOfCategory(science)), (QStringList{"Art", "Physics"}));
    EXPECT_EQ(list->ItemOfCategory(art).parent(), list->CategoriesRoot());
}

TEST_F(LogBookTest, NewCategoryOnCategoriesOrACategoryAndBeepsElsewhere) {
    const int slotCount = tree->SlotCount();
    Run(list->CategoriesRoot(), "New Category");
    ASSERT_EQ(tree->SlotCount(), slotCount + 1);
    EXPECT_EQ(tree->CategoryAt(slotCount)->m_name, "(New Category)");
    EXPECT_EQ(tree->CategoryAt(slotCount)->m_parent, -1);
    Run(list->ItemOfCategory(optics), "New");
    ASSERT_EQ(tree->SlotCount(), slotCount + 2);
    EXPECT_EQ(tree->CategoryAt(slotCount + 1)->m_parent, optics->m_index);
    EXPECT_EQ(Texts(list->ItemOfCategory(optics)), (QStringList{"(New Category)"}));
    list->NewCategory(list->ItemOfSite(alpha));
    EXPECT_EQ(tree->SlotCount(), slotCount + 2);
    EXPECT_EQ(list->BeepCount(), 1);
}

TEST_F(LogBookTest, OnlyCategoryLabelsCanBeEditedAndRenameTheCategory) {
    EXPECT_TRUE(Rows().flags(list->ItemOfCategory(optics)) & Qt::ItemIsEditable);
    EXPECT_FALSE(Rows().flags(list->ItemOfSite(alpha)) & Qt::ItemIsEditable);
    EXPECT_FALSE(Rows().flags(list->SitesRoot()) & Qt::ItemIsEditable);
    EXPECT_TRUE(Rows().setData(list->ItemOfCategory(optics), QStringLiteral("Lenses")));
    EXPECT_EQ(optics->m_name, "Lenses");
    EXPECT_EQ(list->ItemOfCategory(optics).data().toString(), QStringLiteral("Lenses"));
    EXPECT_FALSE(Rows().setData(list->ItemOfSite(alpha), QStringLiteral("renamed")));
    EXPECT_EQ(alpha->m_title, "Alpha page");
    // Renaming keeps the order of the texts.
    EXPECT_TRUE(Rows().setData(list->ItemOfCategory(art), QStringLiteral("Zoology")));
    EXPECT_EQ(Texts(list->CategoriesRoot()), (QStringList{"Science", "Zoology"}));
}

// The category file holds names of up to 8,191 bytes.
TEST_F(LogBookTest, RenamingRefusesNamesTheCategoryFileCannotHold) {
    const QString longest(8191, QChar('n'));
    EXPECT_TRUE(Rows().setData(list->ItemOfCategory(optics), longest));
    EXPECT_EQ(optics->m_name.size(), 8191u);
    EXPECT_FALSE(Rows().setData(list->ItemOfCategory(optics), longest + "n"));
    // Two bytes each in UTF-8: 4,096 characters are 8,192 bytes.
    EXPECT_FALSE(Rows().setData(list->ItemOfCategory(optics), QString(4096, QChar(0xE9))));
    EXPECT_EQ(optics->m_name.size(), 8191u);

    // In the editor the user hears and reads why.
    Frame().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Frame()));
    list->expand(list->CategoriesRoot());
    const QModelIndex artItem = list->ItemOfCategory(art);
    list->setCurrentIndex(artItem);
    list->edit(artItem);
    auto* editor = list->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QString(8192, QChar('x')));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the editor commits on a queued call
    EXPECT_EQ(art->m_name, "Art");
    EXPECT_EQ(list->BeepCount(), 1);
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_NE(m_errors[0].find("8191"), std::string::npos);
}

TEST_F(LogBookTest, ContextMenusCarryTheTextsOfTheirKind) {
    QStringList disabled;
    EXPECT_EQ(MenuTexts(list->ItemOfSite(gamma), &disabled),
              (QStringList{"Cut", "Copy", "Paste", "Properties", "Open Site", "Hide", "Unhide",
                           "Hide Links", "Unhide Links", "Center", "Focus On..."}));
    EXPECT_EQ(disabled, (QStringList{"Paste", "Hide"}));
    disabled.clear();
    MenuTexts(ItemsOfKind(farLink, CLogItem::kSite).at(0), &disabled);
    EXPECT_EQ(disabled, (QStringList{"Paste", "Unhide", "Hide Links", "Unhide Links"}));
    EXPECT_EQ(MenuTexts(list->ItemOfCategory(art)),
              (QStringList{"Cut", "Copy", "Paste", "New", "Properties", "Focus"}));
    EXPECT_EQ(MenuTexts(list->SitesRoot()), (QStringList{"Paste", "Unhide All", "Hide All"}));
    EXPECT_EQ(MenuTexts(list->CategoriesRoot()),
              (QStringList{"Paste", "New Category", "Settings"}));
    list->setCurrentIndex(list->ItemOfSite(alpha));
    list->Copy();
    disabled.clear();
    MenuTexts(list->ItemOfSite(gamma), &disabled);
    EXPECT_EQ(disabled, (QStringList{"Hide"}));
}

TEST_F(LogBookTest, DoubleClickOrOpenSiteOnASiteRowOpensItInTheBrowser) {
    ShowWithBrowserRecorder();
    list->expand(list->CategoriesRoot());
    list->expand(list->ItemOfCategory(art));
    list->expand(list->ItemOfSite(beta));
    auto doubleClick = [this](const QModelIndex& index) {
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
    };
    doubleClick(list->ItemOfSite(gamma));
    doubleClick(ItemsOfKind(alpha, CLogItem::kCategorySite).at(0));
    doubleClick(ItemsOfKind(farLink, CLogItem::kSite).at(0));
    doubleClick(list->ItemOfCategory(art)); // a category opens nothing
    Run(list->ItemOfSite(beta), "Open Site");
    EXPECT_EQ(opened, (std::vector<std::string>{"http://c.example/", "http://a.example/",
                                                "http://far.example/", "http://b.example/"}));
}

TEST_F(LogBookTest, HideCommandsChangeTheSitesAndTheirImages) {
    Run(list->ItemOfSite(beta), "Hide");
    EXPECT_EQ(beta->m_hidden, 1);
    EXPECT_EQ(farLink->m_hidden, 1);
    EXPECT_EQ(Images(list->ItemOfSite(beta)).first, 2);
    EXPECT_EQ(Images(ItemsOfKind(farLink, CLogItem::kSite).at(0)).first, 7);
    Run(list->ItemOfSite(beta), "Unhide");
    EXPECT_EQ(beta->m_hidden, 0);
    Run(list->ItemOfSite(beta), "Hide Links");
    EXPECT_EQ(beta->m_hidden, 0);
    EXPECT_EQ(farLink->m_hidden, 1);
    Run(list->ItemOfSite(beta), "Unhide Links");
    EXPECT_EQ(farLink->m_hidden, 0);
    Run(list->SitesRoot(), "Unhide All");
    EXPECT_EQ(gamma->m_hidden, 0);
    Run(list->SitesRoot(), "Hide All");
    EXPECT_EQ(alpha->m_hidden + beta->m_hidden + gamma->m_hidden, 3);
}

TEST_F(LogBookTest, CategoryFocusShowsOnlyItsSites) {
    Run(list->ItemOfCategory(art), "Focus");
    EXPECT_EQ(alpha->m_hidden, 0);
    EXPECT_EQ(beta->m_hidden, 1);
    EXPECT_EQ(gamma->m_hidden, 1);
}

TEST_F(LogBookTest, SitePropertiesOkReplacesTextsAndRekeysTheUrl) {
    AnswerNextModal<CSitePropertiesDlg>([](CSitePropertiesDlg* dlg) {
        dlg->findChild<QLineEdit*>(QStringLiteral("url"))->setText("http://b.example/moved");
        dlg->findChild<QLineEdit*>(QStringLiteral("title"))->setText("Zeta moved");
        dlg->findChild<QLineEdit*>(QStringLiteral("annotation"))->setText("note");
        dlg->findChild<QCheckBox*>(QStringLiteral("hidden"))->setChecked(true);
        dlg->accept();
    });
    Run(list->ItemOfSite(beta), "Properties");
    EXPECT_EQ(beta->m_url, "http://b.example/moved");
    EXPECT_EQ(beta->m_title, "Zeta moved");
    EXPECT_EQ(beta->m_annotation, "note");
    EXPECT_EQ(beta->m_hidden, 1);
    EXPECT_EQ(database->FindSite("http://b.example/moved"), beta);
    EXPECT_EQ(database->FindSite("http://b.example/"), nullptr);
    EXPECT_EQ(database->FindOrMakeWord("BEAM")->m_sites.count("http://b.example/moved"), 1u);
    EXPECT_TRUE(database->IsModified());
    EXPECT_EQ(Texts(list->SitesRoot()), (QStringList{"Alpha page", "gamma", "Zeta moved"}));
    EXPECT_EQ(Images(list->ItemOfSite(beta)).first, 2);
}

TEST_F(LogBookTest, SitePropertiesCancelChangesNothing) {
    AnswerNextModal<CSitePropertiesDlg>([](CSitePropertiesDlg* dlg) {
        dlg->findChild<QLineEdit*>(QStringLiteral("title"))->setText("changed");
        dlg->reject();
    });
    Run(list->ItemOfSite(alpha), "Properties");
    EXPECT_EQ(alpha->m_title, "Alpha page");
}

TEST_F(LogBookTest, AddedSitesAppearUnderSitesAndUnderTheirCategory) {
    CSite* delta = AddSite("http://d.example/", "Delta", 500, {});
    delta->AddLink(std::make_unique<CSite>("http://e.example/", "e link", "<NONE>", 0));
    Doc().NoteSiteAdded(delta);
    EXPECT_EQ(Texts(list->ItemOfSite(delta)), (QStringList{"e link"}));
    optics->AddSite(delta);
    Doc().NoteSiteFiled(optics, delta);
    EXPECT_EQ(Texts(list->ItemOfCategory(optics)), (QStringList{"Delta"}));
    physics->AddSite(delta);
    Doc().NoteSiteFiled(physics, delta);
    EXPECT_EQ(Texts(list->ItemOfCategory(physics)),
              (QStringList{"  beta page", "Delta", "Optics"}));
}

TEST_F(LogBookTest, ClipboardSurvivesClosingTheWindowWithoutDanglingReferences) {
    CutAt(list->ItemOfSite(beta));
    CutAt(list->ItemOfCategory(science));
    CloseFrame();
    EXPECT_TRUE(HomeHasFile("cats.wfx"));
    EXPECT_TRUE(HomeHasFile("urls.wfx"));
}

TEST_F(LogBookTest, ManyLinksAddedOutOfOrderLandInAlphabeticalOrderWithoutRegardToCase) {
    const int count = 3000;
    CSite* delta = AddSite("http://d.example/", "Delta", 500, {});
    for (int number : ShuffledNumbers(count)) {
        const std::string title = Numbered("link ", "LINK ", number);
        delta->AddLink(std::make_unique<CSite>("http://l.example/" + std::to_string(number), title,
                                               "<NONE>", 0));
    }
    // Texts equal but for case keep the order in which they came.
    delta->AddLink(std::make_unique<CSite>("http://t.example/1", "Twin", "<NONE>", 0));
    delta->AddLink(std::make_unique<CSite>("http://t.example/2", "TWIN", "<NONE>", 0));
    delta->AddLink(std::make_unique<CSite>("http://t.example/3", "twin", "<NONE>", 0));
    Doc().NoteSiteAdded(delta);

    QStringList expected;
    for (int number = 0; number < count; ++number) {
        expected << QString::fromStdString(Numbered("link ", "LINK ", number));
    }
    expected << "Twin"
             << "TWIN"
             << "twin";
    EXPECT_EQ(Texts(list->ItemOfSite(delta)), expected);
    const QModelIndex twin = Rows().index(count + 1, 0, list->ItemOfSite(delta));
    EXPECT_EQ(twin.data().toString(), QStringLiteral("TWIN"));
    EXPECT_EQ(list->Item(twin).site->m_url, "http://t.example/2");
}

TEST_F(LogBookTest, AddedSiteTakesItsPlaceBySortType) {
    Frame().Settings().sortType = kSortByDate;
    Frame().Refresh();
    for (int number : ShuffledNumbers(40)) {
        CSite* site = AddSite("http://n" + std::to_string(number) + ".example/",
                              Numbered("new ", "NEW ", number), 1000 + number, {});
        Doc().NoteSiteAdded(site);
        Frame().Refresh();
    }
    QStringList shown = Texts(list->SitesRoot());
    ASSERT_EQ(shown.size(), 43);
    for (int rank = 0; rank < 40; ++rank) {
        EXPECT_EQ(shown[rank], QString::fromStdString(Numbered("new ", "NEW ", 39 - rank)));
    }
    EXPECT_EQ(shown.mid(40), (QStringList{"  beta page", "gamma", "Alpha page"}));

    Frame().Settings().sortType = kSortByTitle;
    Frame().Refresh();
    shown = Texts(list->SitesRoot());
    EXPECT_EQ(shown.mid(0, 2), (QStringList{"Alpha page", "  beta page"}));
    EXPECT_EQ(shown[2], QStringLiteral("gamma"));
    EXPECT_EQ(shown[3], QStringLiteral("new 0000"));
    EXPECT_EQ(shown.back(), QStringLiteral("NEW 0039"));
}

// A store built at once: sites by sort type with their title and URL order among equals, links
// and category contents in text order.
TEST_F(LogBookTest, BuildOfALargeStoreKeepsEveryOrder) {
    Frame().Settings().viewFlags = kViewUrl;
    Frame().Settings().sortType = kSortByDate;
    Frame().Refresh();
    // Sites that come before anybody looked at the rows are sorted when they are looked at.
    CUrlList fresh(Doc());
    fresh.Build();
    const int count = 600;
    for (int number : ShuffledNumbers(count)) {
        CSite* site =
            AddSite(Numbered("http://s", "HTTP://S", number), "same title", 1 + number % 3, {});
        for (int link : ShuffledNumbers(5)) {
            site->AddLink(
                std::make_unique<CSite>(Numbered("http://l", "http://L", link), "x", "<NONE>", 0));
        }
        Doc().NoteSiteAdded(site);
        if (number % 4 == 0) {
            optics->AddSite(site);
        }
    }
    CCategory* lens = AddCategory("lenses", optics->m_index);
    CCategory* mirrors = AddCategory("Mirrors", optics->m_index);
    ASSERT_NE(lens, nullptr);
    ASSERT_NE(mirrors, nullptr);
    Doc().NoteCategoriesChanged();
    EXPECT_EQ(Dump(*list), Dump(fresh));
    const QAbstractItemModel& rows = *fresh.model();
    QStringList sites;
    for (int row = 0; row < rows.rowCount(fresh.SitesRoot()); ++row)
        sites << rows.index(row, 0, fresh.SitesRoot()).data().toString();
    ASSERT_EQ(sites.size(), count + 3);
    // Beta (300), gamma (200) and alpha (100) above the new sites, whose times are 3, 2 and 1.
    EXPECT_EQ(sites.mid(0, 3),
              (QStringList{"http://b.example/", "http://c.example/", "http://a.example/"}));
    QStringList expectedNew;
    for (int remainder = 2; remainder >= 0; --remainder) {
        for (int number = remainder; number < count; number += 3) {
            expectedNew << QString::fromStdString(Numbered("http://s", "HTTP://S", number));
        }
    }
    EXPECT_EQ(sites.mid(3), expectedNew);

    auto texts = [&rows](const QModelIndex& parent) {
        QStringList found;
        for (int row = 0; row < rows.rowCount(parent); ++row)
            found << rows.index(row, 0, parent).data().toString();
        return found;
    };
    EXPECT_EQ(texts(rows.index(5, 0, fresh.SitesRoot())),
              (QStringList{"http://l0000", "http://L0001", "http://l0002", "http://L0003",
                           "http://l0004"}));
    QStringList expectedOptics;
    for (int number = 0; number < count; number += 4) {
        expectedOptics << QString::fromStdString(Numbered("http://s", "HTTP://S", number));
    }
    expectedOptics << "lenses"
                   << "Mirrors";
    EXPECT_EQ(texts(fresh.ItemOfCategory(optics)), expectedOptics);
}

// The rows kept in step with the document's notices are always those a log book built afresh
// shows, whatever the edits.
TEST_F(LogBookTest, RowsStayThoseOfAFreshLogBookThroughRandomEdits) {
    QAbstractItemModelTester tester(list->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    list->expandAll();
    std::mt19937 random(20240611);
    auto pick = [&random](std::size_t count) { return static_cast<int>(random() % count); };
    const char* const words[] = {"alpha", "Beta", "gamma", "beta", " delta"};
    auto visitedSite = [&]() -> CSite* {
        const auto& sites = database->Sites();
        return sites.empty() ? nullptr : sites[static_cast<std::size_t>(pick(sites.size()))].get();
    };
    auto anySite = [&]() -> CSite* {
        CSite* site = visitedSite();
        if (site && !site->m_links.empty() && pick(2))
            return site->m_links[static_cast<std::size_t>(pick(site->m_links.size()))].get();
        return site;
    };
    auto category = [&]() -> CCategory* {
        std::vector<CCategory*> all;
        for (int slot = 0; slot < tree->SlotCount(); ++slot)
            if (tree->CategoryAt(slot))
                all.push_back(tree->CategoryAt(slot));
        return all.empty() ? nullptr : all[static_cast<std::size_t>(pick(all.size()))];
    };
    int made = 0;
    for (int step = 0; step < 250; ++step) {
        CSite* site = anySite();
        CCategory* target = category();
        switch (pick(9)) {
        case 0: {
            const std::string url = "http://n" + std::to_string(made++) + ".example/";
            CSite* added = AddSite(url, words[pick(5)], 100 + pick(4), {"LENS"});
            for (int link = pick(4); link > 0; --link) {
                const std::string to = pick(2) ? "http://a.example/" : url + std::to_string(link);
                added->AddLink(std::make_unique<CSite>(to, words[pick(5)], "<NONE>", 0));
            }
            Doc().NoteSiteAdded(added);
            break;
        }
        case 1:
            if (CSite* visited = visitedSite())
                CutAt(list->ItemOfSite(visited));
            if (pick(3) == 0)
                PasteAt(list->SitesRoot());
            break;
        case 2:
            if (site && target) {
                target->AddSite(site);
                Doc().NoteSiteFiled(target, site);
            }
            break;
        case 3:
            pick(2) ? Doc().HideSite(site) : Doc().ShowSite(site);
            break;
        case 4:
            if (target) {
                CCategory* other = category();
                list->DropItem(pick(4) ? list->ItemOfCategory(other) : list->CategoriesRoot(),
                               list->ItemOfCategory(target));
            }
            break;
        case 5:
            if (target)
                Rows().setData(list->ItemOfCategory(target), QString::fromLatin1(words[pick(5)]));
            break;
        case 6:
            if (site) {
                site->m_title = words[pick(5)];
                Doc().NoteSiteChanged(site);
            }
            break;
        case 7:
            Frame().Settings().sortType = pick(3);
            Frame().Settings().viewFlags = pick(2) ? kViewTitle : kViewUrl | kViewCategories;
            Frame().Refresh();
            break;
        case 8:
            if (target && !target->m_sites.empty()) {
                const auto shown = ItemsOfKind(target->m_sites.front(), CLogItem::kCategorySite);
                if (!shown.empty())
                    CutAt(shown.front());
            } else if (target) {
                list->NewCategory(list->ItemOfCategory(target));
            }
            break;
        }
        CUrlList fresh(Doc());
        fresh.Build();
        ASSERT_EQ(Dump(*list), Dump(fresh)) << "after step " << step;
    }
}

// Sorting reads each site's key first and compares the sites only when the keys are equal: the
// keys must never disagree with the comparison, which must order every two sites one way.
TEST(SiteOrder, KeysAgreeWithTheComparisonForEverySortType) {
    const char* const titles[] = {"",
                                  "  Beta",
                                  "beta",
                                  "BETA page",
                                  "\tbeta pagf",
                                  "abcdefghijklmnopq",
                                  "abcdefghijklmnopR",
                                  "abc",
                                  "\xE9t\xE9",
                                  "abcdefghIjk",
                                  "abcdefghijj"};
    const char* const urls[] = {"http://a/", "http://A/", "http://www.example.org/pages/1",
                                "http://www.example.org/pages/2", "http://a"};
    const std::int32_t times[] = {-5, 0, 1700000000, 2147483647, -2147483647 - 1};
    std::vector<std::unique_ptr<CSite>> sites;
    for (std::size_t i = 0; i < 66; ++i)
        sites.push_back(
            std::make_unique<CSite>(urls[i % 5], titles[i % 11], "<NONE>", 1, times[(i / 3) % 5]));
    for (const std::int32_t type : {kSortByTitle, kSortByUrl, kSortByDate}) {
        const CSiteOrder order(type);
        for (const auto& a : sites) {
            EXPECT_FALSE(order(a.get(), a.get()));
            for (const auto& b : sites) {
                if (a == b)
                    continue;
                EXPECT_NE(order(a.get(), b.get()), order(b.get(), a.get()));
                if (order.KeyOf(*a) < order.KeyOf(*b)) {
                    EXPECT_TRUE(order(a.get(), b.get()))
                        << type << ' ' << a->m_title << '|' << a->m_url << " / " << b->m_title
                        << '|' << b->m_url;
                }
            }
        }
    }
}
