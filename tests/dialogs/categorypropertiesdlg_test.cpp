#include "dialogs/categorypropertiesdlg.h"

#include "dialogs/textentrydlg.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "tests/dialogs/modalhelper.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace {
using Words = std::vector<std::pair<std::string, int>>;

Words WordsOf(const CCategory& category) {
    Words words;
    for (const auto& entry : category.m_words.Entries()) {
        words.emplace_back(entry.word, entry.weight);
    }
    return words;
}

QPushButton* Button(CCategoryPropertiesDlg& dlg, const QString& text) {
    for (auto* button : dlg.findChildren<QPushButton*>()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

QStringList Entries(const CCategoryPropertiesDlg& dlg, const char* name) {
    QStringList texts;
    const auto* list = dlg.findChild<QListWidget*>(QString::fromLatin1(name));
    for (int row = 0; row < list->count(); ++row) {
        texts << list->item(row)->text();
    }
    return texts;
}

// Presses Add and types `text` into the text entry dialog, then OK.
void AddWord(CCategoryPropertiesDlg& dlg, const QString& text) {
    AnswerNextModal<CTextEntryDlg>([text](CTextEntryDlg* entry) {
        entry->findChild<QLineEdit*>()->setText(text);
        entry->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    Button(dlg, QStringLiteral("Add"))->click();
}

void DeleteRow(CCategoryPropertiesDlg& dlg, int row) {
    dlg.findChild<QListWidget*>(QStringLiteral("words"))->setCurrentRow(row);
    Button(dlg, QStringLiteral("Delete"))->click();
}

// Science (top level) > Optics with two weighted words and two sites.
struct Hierarchy {
    Hierarchy() {
        science = tree.Register(std::make_unique<CCategory>("Science"));
        science->m_words.Add("NATURE", 4);
        optics = tree.Register(std::make_unique<CCategory>("Optics"));
        tree.Reparent(optics, science->m_index);
        optics->m_words.Add("LENS", 3);
        optics->m_words.Add("LIGHT", 2);
        optics->AddSite(&first);
        optics->AddSite(&second);
    }
    CSite first{"http://a.example/", "A", "<NONE>", 1};
    CSite second{"http://b.example/", "B", "<NONE>", 1};
    CCategoryTree tree;
    CCategory* science = nullptr;
    CCategory* optics = nullptr;
};
} // namespace

TEST(CategoryPropertiesDlg, TopLevelCategoryShowsOnlyNamesAndOkChangesNothing) {
    Hierarchy h;
    CCategoryPropertiesDlg dlg(*h.science);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Category Properties"));
    EXPECT_EQ(dlg.findChild<QLineEdit*>(QStringLiteral("name"))->text(), QStringLiteral("Science"));
    EXPECT_TRUE(dlg.findChild<QLineEdit*>(QStringLiteral("parent"))->text().isEmpty());
    EXPECT_TRUE(dlg.findChild<QListWidget*>(QStringLiteral("words"))->parentWidget()->isHidden());
    EXPECT_TRUE(dlg.findChild<QListWidget*>(QStringLiteral("urls"))->parentWidget()->isHidden());
    EXPECT_TRUE(Button(dlg, QStringLiteral("Add"))->isHidden());
    EXPECT_TRUE(Button(dlg, QStringLiteral("Delete"))->isHidden());
    dlg.accept();
    EXPECT_EQ(WordsOf(*h.science), (Words{{"NATURE", 4}}));
}

TEST(CategoryPropertiesDlg, ChildCategoryShowsParentUrlsAndWordsWithDeleteDisabled) {
    Hierarchy h;
    CCategoryPropertiesDlg dlg(*h.optics);
    dlg.show();
    EXPECT_EQ(dlg.findChild<QLineEdit*>(QStringLiteral("name"))->text(), QStringLiteral("Optics"));
    EXPECT_EQ(dlg.findChild<QLineEdit*>(QStringLiteral("parent"))->text(),
              QStringLiteral("Science"));
    EXPECT_TRUE(dlg.findChild<QLineEdit*>(QStringLiteral("name"))->isReadOnly());
    EXPECT_EQ(Entries(dlg, "words"), (QStringList{"LENS", "LIGHT"}));
    EXPECT_EQ(Entries(dlg, "urls"), (QStringList{"http://a.example/", "http://b.example/"}));
    EXPECT_FALSE(Button(dlg, QStringLiteral("Delete"))->isEnabled());
    dlg.findChild<QListWidget*>(QStringLiteral("words"))->setCurrentRow(1);
    EXPECT_TRUE(Button(dlg, QStringLiteral("Delete"))->isEnabled());
}

TEST(CategoryPropertiesDlg, AddedLowerCaseWordIsStoredUpperCaseAndWeightsResetToOne) {
    Hierarchy h;
    CCategoryPropertiesDlg dlg(*h.optics);
    AddWord(dlg, QStringLiteral("prism"));
    EXPECT_TRUE(dlg.IsModified());
    EXPECT_EQ(Entries(dlg, "words"), (QStringList{"LENS", "LIGHT", "PRISM"}));
    dlg.accept();
    EXPECT_EQ(WordsOf(*h.optics), (Words{{"LENS", 1}, {"LIGHT", 1}, {"PRISM", 1}}));
    EXPECT_EQ(h.optics->m_sites.size(), 2u);
}

TEST(CategoryPropertiesDlg, EmptyTextAddsNothingAndOkKeepsTheWeights) {
    Hierarchy h;
    CCategoryPropertiesDlg dlg(*h.optics);
    AddWord(dlg, QString());
    EXPECT_FALSE(dlg.IsModified());
    EXPECT_EQ(Entries(dlg, "words").size(), 2);
    dlg.accept();
    EXPECT_EQ(WordsOf(*h.optics), (Words{{"LENS", 3}, {"LIGHT", 2}}));
}

TEST(CategoryPropertiesDlg, CancelledTextEntryAddsNothing) {
    Hierarchy h;
    CCategoryPropertiesDlg dlg(*h.optics);
    AnswerNextModal<CTextEntryDlg>([](CTextEntryDlg* entry) {
        entry->findChild<QLineEdit*>()->setText(QStringLiteral("mirror"));
        entry->reject();
    });
    Button(dlg, QStringLiteral("Add"))->click();
    EXPECT_FALSE(dlg.IsModified());
    EXPECT_EQ(Entries(dlg, "words"), (QStringList{"LENS", "LIGHT"}));
}

TEST(CategoryPropertiesDlg, DeletingEveryWordLeavesAnEmptyWordList) {
    Hierarchy h;
    CCategoryPropertiesDlg dlg(*h.optics);
    dlg.show();
    DeleteRow(dlg, 0);
    DeleteRow(dlg, 0);
    EXPECT_TRUE(Entries(dlg, "words").isEmpty());
    dlg.accept();
    EXPECT_TRUE(h.optics->m_words.Empty());
}

TEST(CategoryPropertiesDlg, DeleteWithoutSelectionDoesNothing) {
    Hierarchy h;
    CCategoryPropertiesDlg dlg(*h.optics);
    Button(dlg, QStringLiteral("Delete"))->click();
    EXPECT_FALSE(dlg.IsModified());
    EXPECT_EQ(Entries(dlg, "words").size(), 2);
}

TEST(CategoryPropertiesDlg, CancelAfterAddingAndDeletingLeavesTheCategoryUnchanged) {
    Hierarchy h;
    CCategoryPropertiesDlg dlg(*h.optics);
    dlg.show();
    AddWord(dlg, QStringLiteral("mirror"));
    DeleteRow(dlg, 0);
    dlg.reject();
    EXPECT_EQ(WordsOf(*h.optics), (Words{{"LENS", 3}, {"LIGHT", 2}}));
}

TEST(CategoryPropertiesDlg, WordAddedTwiceShowsTwiceAndWeighsTwoAfterOk) {
    Hierarchy h;
    CCategoryPropertiesDlg dlg(*h.optics);
    AddWord(dlg, QStringLiteral("laser"));
    AddWord(dlg, QStringLiteral("Laser"));
    EXPECT_EQ(Entries(dlg, "words"), (QStringList{"LENS", "LIGHT", "LASER", "LASER"}));
    dlg.accept();
    EXPECT_EQ(WordsOf(*h.optics), (Words{{"LENS", 1}, {"LIGHT", 1}, {"LASER", 2}}));
}
