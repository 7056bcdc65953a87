#include "views/urllist.h"

#include "dialogs/sitepropertiesdlg.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "shell/settings.h"
#include "tests/dialogs/modalhelper.h"
#include "tests/shell/shellfixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <ostream>
#include <random>
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

    static QStringList Texts(const QTreeWidgetItem* parent) {
        QStringList texts;
        for (int row = 0; row < parent->childCount(); ++row) {
            texts << parent->child(row)->text(0);
        }
        return texts;
    }

    static CLogItem* Child(const QTreeWidgetItem* parent, const QString& text) {
        for (int row = 0; row < parent->childCount(); ++row) {
            if (parent->child(row)->text(0) == text) {
                return static_cast<CLogItem*>(parent->child(row));
            }
        }
        return nullptr;
    }

    std::vector<CLogItem*> ItemsOfKind(const void* object, CLogItem::EKind kind) const {
        std::vector<CLogItem*> found;
        for (CLogItem* item : list->ItemsShowing(object)) {
            if (item->Kind() == kind) {
                found.push_back(item);
            }
        }
        return found;
    }

    QStringList MenuTexts(CLogItem* item, QStringList* disabled = nullptr) {
        std::unique_ptr<QMenu> menu(list->MakeContextMenu(item));
        QStringList texts;
        for (QAction* action : menu->actions()) {
            if (action->isSeparator()) {
                continue;
            }
            texts << action->text();
            if (disabled && !action->isEnabled()) {
                *disabled << action->text();
            }
        }
        return texts;
    }

    void Run(CLogItem* item, const QString& command) {
        std::unique_ptr<QMenu> menu(list->MakeContextMenu(item));
        for (QAction* action : menu->actions()) {
            if (action->text() == command) {
                action->trigger();
                return;
            }
        }
        FAIL() << "no command " << command.toStdString();
    }

    void CutAt(CLogItem* item) {
        list->setCurrentItem(item);
        list->Cut();
    }
    bool PasteAt(CLogItem* item) {
        const int beeps = list->BeepCount();
        list->setCurrentItem(item);
        list->Paste();
        return list->BeepCount() == beeps;
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
};
} // namespace

TEST_F(LogBookTest, BuildListsSitesWithLinksAndTheHierarchyWithItsSites) {
    EXPECT_EQ(Texts(list->invisibleRootItem()), (QStringList{"CATEGORIES", "SITES"}));
    EXPECT_EQ(Texts(list->SitesRoot()), (QStringList{"Alpha page", "  beta page", "gamma"}));
    EXPECT_EQ(Texts(list->ItemOfSite(beta)), (QStringList{"far away", "to alpha"}));
    EXPECT_EQ(Texts(list->CategoriesRoot()), (QStringList{"Art", "Science"}));
    CLogItem* scienceItem = Child(list->CategoriesRoot(), "Science");
    CLogItem* physicsItem = Child(scienceItem, "Physics");
    ASSERT_NE(physicsItem, nullptr);
    EXPECT_EQ(Texts(physicsItem), (QStringList{"  beta page", "Optics"}));
    EXPECT_EQ(static_cast<CLogItem*>(physicsItem->child(0))->Kind(), CLogItem::kCategorySite);
    EXPECT_EQ(Texts(Child(list->CategoriesRoot(), "Art")), (QStringList{"Alpha page"}));
}

TEST_F(LogBookTest, ImagesFollowKindAndHiddenState) {
    auto images = [](const CLogItem* item) {
        return std::make_pair(item->Image(), item->SelectedImage());
    };
    EXPECT_EQ(images(list->SitesRoot()), std::make_pair(8, 8));
    EXPECT_EQ(images(list->CategoriesRoot()), std::make_pair(9, 10));
    EXPECT_EQ(images(list->ItemOfSite(alpha)), std::make_pair(0, 1));
    EXPECT_EQ(images(list->ItemOfSite(gamma)), std::make_pair(2, 3));
    EXPECT_EQ(images(ItemsOfKind(linkToAlpha, CLogItem::kSite).at(0)), std::make_pair(0, 1));
    EXPECT_EQ(images(ItemsOfKind(farLink, CLogItem::kSite).at(0)), std::make_pair(4, 5));
    EXPECT_EQ(images(list->ItemOfCategory(physics)), std::make_pair(11, 12));
    EXPECT_EQ(images(ItemsOfKind(beta, CLogItem::kCategorySite).at(0)), std::make_pair(13, 14));

    farLink->m_hidden = 1;
    linkToAlpha->m_hidden = 1;
    list->UpdateSiteImages(farLink);
    list->UpdateSiteImages(linkToAlpha);
    EXPECT_EQ(images(ItemsOfKind(farLink, CLogItem::kSite).at(0)), std::make_pair(7, 6));
    EXPECT_EQ(images(ItemsOfKind(linkToAlpha, CLogItem::kSite).at(0)), std::make_pair(2, 3));

    list->expandItem(list->ItemOfCategory(physics));
    EXPECT_EQ(images(list->ItemOfCategory(physics)), std::make_pair(11, 11));
    list->collapseItem(list->ItemOfCategory(physics));
    EXPECT_EQ(images(list->ItemOfCategory(physics)), std::make_pair(12, 12));
}

TEST_F(LogBookTest, SitesSortByTitleUrlOrDate) {
    Frame().Settings().sortType = kSortByUrl;
    list->OnUpdate();
    EXPECT_EQ(Texts(list->SitesRoot()), (QStringList{"Alpha page", "  beta page", "gamma"}));
    gamma->m_url = "http://0.example/";
    list->OnUpdate();
    EXPECT_EQ(Texts(list->SitesRoot()), (QStringList{"gamma", "Alpha page", "  beta page"}));
    Frame().Settings().sortType = kSortByDate;
    list->OnUpdate();
    EXPECT_EQ(Texts(list->SitesRoot()), (QStringList{"  beta page", "gamma", "Alpha page"}));
    Frame().Settings().sortType = kSortByTitle;
    list->OnUpdate();
    EXPECT_EQ(Texts(list->SitesRoot()), (QStringList{"Alpha page", "  beta page", "gamma"}));
}

TEST_F(LogBookTest, LabelsFollowTheViewFlagsOnUpdate) {
    Frame().Settings().viewFlags = kViewUrl | kViewTitle | kViewCategories;
    Frame().Refresh();
    EXPECT_EQ(list->ItemOfSite(alpha)->text(0), QStringLiteral("http://a.example/;Alpha page;Art"));
    EXPECT_EQ(ItemsOfKind(farLink, CLogItem::kSite).at(0)->text(0),
              QStringLiteral("http://far.example/;far away"));
    physics->m_name = "Physik";
    list->OnUpdate();
    EXPECT_EQ(ItemsOfKind(beta, CLogItem::kCategorySite).at(0)->text(0),
              QStringLiteral("http://b.example/;  beta page;Physik"));
}

TEST_F(LogBookTest, DroppingACategoryOnItselfOrADescendantBeepsAndChangesNothing) {
    CLogItem* scienceItem = list->ItemOfCategory(science);
    EXPECT_FALSE(list->DropItem(list->ItemOfCategory(optics), scienceItem));
    EXPECT_FALSE(list->DropItem(scienceItem, scienceItem));
    EXPECT_EQ(list->BeepCount(), 2);
    EXPECT_EQ(science->m_parent, -1);
    EXPECT_EQ(physics->m_parent, science->m_index);
    EXPECT_EQ(optics->m_children.ActiveCount(), 0);
    EXPECT_EQ(list->ItemOfCategory(science), scienceItem);
    EXPECT_EQ(list->ItemOfCategory(physics)->parent(), scienceItem);
}

TEST_F(LogBookTest, DroppingACategoryOnAnotherMovesItWithItsSubtree) {
    EXPECT_TRUE(list->DropItem(list->ItemOfCategory(art), list->ItemOfCategory(physics)));
    EXPECT_EQ(physics->m_parent, art->m_index);
    EXPECT_TRUE(art->m_children.Contains(physics->m_index));
    EXPECT_FALSE(science->m_children.Contains(physics->m_index));
    CLogItem* physicsItem = list->ItemOfCategory(physics);
    EXPECT_EQ(physicsItem->parent(), list->ItemOfCategory(art));
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
    list->setCurrentItem(list->ItemOfSite(gamma));
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(list, &del);
    EXPECT_EQ(database->FindSite("http://c.example/"), nullptr);
    list->setCurrentItem(ItemsOfKind(alpha, CLogItem::kCategorySite).at(0));
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

TEST_F(LogBookTest, DraggedLinkDroppedOnSitesIsRefused) {
    const int sites = static_cast<int>(database->Sites().size());
    EXPECT_FALSE(list->DropItem(list->SitesRoot(), ItemsOfKind(farLink, CLogItem::kSite).at(0)));
    EXPECT_EQ(static_cast<int>(database->Sites().size()), sites);
    EXPECT_EQ(database->FindSite("http://far.example/"), nullptr);
}

TEST_F(LogBookTest, CutCategoryPastedOnCategoriesGetsANewSlotAtTheEnd) {
    const int slotCount = tree->SlotCount();
    const std::int32_t oldIndex = physics->m_index;
    CutAt(list->ItemOfCategory(physics));
    EXPECT_EQ(tree->CategoryAt(oldIndex), nullptr);
    EXPECT_EQ(list->ItemOfCategory(physics), nullptr);
    EXPECT_EQ(list->ItemOfCategory(optics), nullptr);
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
    const std::int32_t physicsIndex = physics->m_index;
    const std::int32_t opticsIndex = optics->m_index;
    CutAt(list->ItemOfCategory(physics));
    list->setCurrentItem(list->ItemOfSite(alpha));
    list->Copy(); // replaces the clipboard
    EXPECT_EQ(tree->CategoryAt(physicsIndex), nullptr);
    EXPECT_EQ(tree->CategoryAt(opticsIndex), nullptr);
    EXPECT_EQ(database->FindSite("http://b.example/"), beta);
    EXPECT_EQ(database->FindSite("http://c.example/"), gamma);
    EXPECT_FALSE(beta->m_categories.Contains(physicsIndex));
    EXPECT_FALSE(gamma->m_categories.Contains(opticsIndex));
    EXPECT_EQ(science->m_children.ActiveCount(), 0);
    Frame().Settings().viewFlags = kViewTitle | kViewCategories;
    list->OnUpdate();
    EXPECT_EQ(list->ItemOfSite(beta)->text(0), QStringLiteral("  beta page"));
}

TEST_F(LogBookTest, CopiedCategoryPastesAsANewCategoryWithTheSameSitesAndWords) {
    art->m_words.Add("PAINT", 2);
    list->setCurrentItem(list->ItemOfCategory(art));
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
    EXPECT_EQ(list->ItemOfCategory(art)->parent(), list->CategoriesRoot());
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
    CLogItem* opticsItem = list->ItemOfCategory(optics);
    EXPECT_TRUE(opticsItem->flags() & Qt::ItemIsEditable);
    EXPECT_FALSE(list->ItemOfSite(alpha)->flags() & Qt::ItemIsEditable);
    EXPECT_FALSE(list->SitesRoot()->flags() & Qt::ItemIsEditable);
    opticsItem->setData(0, Qt::EditRole, QStringLiteral("Lenses"));
    EXPECT_EQ(optics->m_name, "Lenses");
    EXPECT_EQ(opticsItem->text(0), QStringLiteral("Lenses"));
    list->ItemOfSite(alpha)->setData(0, Qt::EditRole, QStringLiteral("renamed"));
    EXPECT_EQ(alpha->m_title, "Alpha page");
}

TEST_F(LogBookTest, ContextMenusCarryTheTextsOfTheirKind) {
    QStringList disabled;
    EXPECT_EQ(MenuTexts(list->ItemOfSite(gamma), &disabled),
              (QStringList{"Cut", "Copy", "Paste", "Properties", "Hide", "Unhide", "Hide Links",
                           "Unhide Links", "Center", "Focus On..."}));
    EXPECT_EQ(disabled, (QStringList{"Paste", "Hide"}));
    disabled.clear();
    MenuTexts(ItemsOfKind(farLink, CLogItem::kSite).at(0), &disabled);
    EXPECT_EQ(disabled, (QStringList{"Paste", "Unhide", "Hide Links", "Unhide Links"}));
    EXPECT_EQ(MenuTexts(list->ItemOfCategory(art)),
              (QStringList{"Cut", "Copy", "Paste", "New", "Properties", "Focus"}));
    EXPECT_EQ(MenuTexts(list->SitesRoot()), (QStringList{"Paste", "Unhide All", "Hide All"}));
    EXPECT_EQ(MenuTexts(list->CategoriesRoot()),
              (QStringList{"Paste", "New Category", "Settings"}));
    list->setCurrentItem(list->ItemOfSite(alpha));
    list->Copy();
    disabled.clear();
    MenuTexts(list->ItemOfSite(gamma), &disabled);
    EXPECT_EQ(disabled, (QStringList{"Hide"}));
}

TEST_F(LogBookTest, HideCommandsChangeTheSitesAndTheirImages) {
    Run(list->ItemOfSite(beta), "Hide");
    EXPECT_EQ(beta->m_hidden, 1);
    EXPECT_EQ(farLink->m_hidden, 1);
    EXPECT_EQ(list->ItemOfSite(beta)->Image(), 2);
    EXPECT_EQ(ItemsOfKind(farLink, CLogItem::kSite).at(0)->Image(), 7);
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
        dlg->findChild<QLineEdit*>(QStringLiteral("title"))->setText("Beta moved");
        dlg->findChild<QLineEdit*>(QStringLiteral("annotation"))->setText("note");
        dlg->findChild<QCheckBox*>(QStringLiteral("hidden"))->setChecked(true);
        dlg->accept();
    });
    Run(list->ItemOfSite(beta), "Properties");
    EXPECT_EQ(beta->m_url, "http://b.example/moved");
    EXPECT_EQ(beta->m_title, "Beta moved");
    EXPECT_EQ(beta->m_annotation, "note");
    EXPECT_EQ(beta->m_hidden, 1);
    EXPECT_EQ(database->FindSite("http://b.example/moved"), beta);
    EXPECT_EQ(database->FindSite("http://b.example/"), nullptr);
    EXPECT_EQ(database->FindOrMakeWord("BEAM")->m_sites.count("http://b.example/moved"), 1u);
    EXPECT_TRUE(database->IsModified());
    EXPECT_EQ(list->ItemOfSite(beta)->text(0), QStringLiteral("Beta moved"));
    EXPECT_EQ(list->ItemOfSite(beta)->Image(), 2);
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
    list->AddSite(delta);
    EXPECT_EQ(Texts(list->ItemOfSite(delta)), (QStringList{"e link"}));
    optics->AddSite(delta);
    list->AddSiteToCategory(optics, delta);
    EXPECT_EQ(Texts(list->ItemOfCategory(optics)), (QStringList{"Delta"}));
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
    list->AddSite(delta);

    QStringList expected;
    for (int number = 0; number < count; ++number) {
        expected << QString::fromStdString(Numbered("link ", "LINK ", number));
    }
    expected << "Twin"
             << "TWIN"
             << "twin";
    EXPECT_EQ(Texts(list->ItemOfSite(delta)), expected);
    EXPECT_EQ(list->ItemOfSite(delta)->child(count + 1)->text(0), QStringLiteral("TWIN"));
    EXPECT_EQ(static_cast<CLogItem*>(list->ItemOfSite(delta)->child(count + 1))->Site()->m_url,
              "http://t.example/2");
}

TEST_F(LogBookTest, AddedSiteTakesItsPlaceBySortTypeAfterTheUpdate) {
    Frame().Settings().sortType = kSortByDate;
    list->OnUpdate();
    for (int number : ShuffledNumbers(40)) {
        CSite* site = AddSite("http://n" + std::to_string(number) + ".example/",
                              Numbered("new ", "NEW ", number), 1000 + number, {});
        list->AddSite(site);
        Frame().Refresh();
    }
    QStringList shown = Texts(list->SitesRoot());
    ASSERT_EQ(shown.size(), 43);
    for (int rank = 0; rank < 40; ++rank) {
        EXPECT_EQ(shown[rank], QString::fromStdString(Numbered("new ", "NEW ", 39 - rank)));
    }
    EXPECT_EQ(shown.mid(40), (QStringList{"  beta page", "gamma", "Alpha page"}));

    Frame().Settings().sortType = kSortByTitle;
    list->OnUpdate();
    shown = Texts(list->SitesRoot());
    EXPECT_EQ(shown.mid(0, 2), (QStringList{"Alpha page", "  beta page"}));
    EXPECT_EQ(shown[2], QStringLiteral("gamma"));
    EXPECT_EQ(shown[3], QStringLiteral("new 0000"));
    EXPECT_EQ(shown.back(), QStringLiteral("NEW 0039"));
}

// A store built at once: sites by sort type with the text order among equals, links and
// category contents in text order.
TEST_F(LogBookTest, BuildOfALargeStoreKeepsEveryOrder) {
    Frame().Settings().viewFlags = kViewUrl;
    Frame().Settings().sortType = kSortByDate;
    const int count = 600;
    for (int number : ShuffledNumbers(count)) {
        CSite* site =
            AddSite(Numbered("http://s", "HTTP://S", number), "same title", 1 + number % 3, {});
        for (int link : ShuffledNumbers(5)) {
            site->AddLink(
                std::make_unique<CSite>(Numbered("http://l", "http://L", link), "x", "<NONE>", 0));
        }
        if (number % 4 == 0) {
            optics->AddSite(site);
        }
    }
    CCategory* lens = AddCategory("lenses", optics->m_index);
    CCategory* mirrors = AddCategory("Mirrors", optics->m_index);
    ASSERT_NE(lens, nullptr);
    ASSERT_NE(mirrors, nullptr);

    CUrlList fresh;
    fresh.Build();
    const QStringList sites = Texts(fresh.SitesRoot());
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

    QTreeWidgetItem* anySite = fresh.SitesRoot()->child(5);
    EXPECT_EQ(Texts(anySite), (QStringList{"http://l0000", "http://L0001", "http://l0002",
                                           "http://L0003", "http://l0004"}));

    CLogItem* opticsItem = nullptr;
    for (CLogItem* item : fresh.ItemsShowing(optics)) {
        opticsItem = item;
    }
    ASSERT_NE(opticsItem, nullptr);
    QStringList expectedOptics;
    for (int number = 0; number < count; number += 4) {
        expectedOptics << QString::fromStdString(Numbered("http://s", "HTTP://S", number));
    }
    expectedOptics << "lenses"
                   << "Mirrors";
    EXPECT_EQ(Texts(opticsItem), expectedOptics);
}
