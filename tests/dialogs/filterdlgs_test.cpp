#include "dialogs/sitefilterpropertiesdlg.h"
#include "dialogs/sitefiltersdlg.h"
#include "dialogs/wordfilterdlg.h"

#include "modalhelper.h"
#include "model/sitefilter.h"
#include "model/sitefilterlist.h"
#include "model/wordlist.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

template <class T> T* Child(const QDialog& dlg, const char* name) {
    return dlg.findChild<T*>(QString::fromLatin1(name));
}

QStringList Lines(const QDialog& dlg, const char* name) {
    QStringList texts;
    const auto* list = Child<QListWidget>(dlg, name);
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

void Press(QDialog* dlg, QDialogButtonBox::StandardButton which) {
    dlg->findChild<QDialogButtonBox*>()->button(which)->click();
}

CSiteFilter* AddFilter(CSiteFilterList& list, std::int32_t type,
                       std::initializer_list<const char*> strings) {
    auto filter = std::make_unique<CSiteFilter>(type);
    for (const char* text : strings)
        filter->AddString(text);
    return list.AddFilter(std::move(filter));
}

std::vector<std::string> Words(const CWordList& list) {
    std::vector<std::string> words;
    for (const auto& entry : list.Entries())
        words.push_back(entry.word);
    return words;
}

// Runs `action`, answering the message box it shows; returns the box's text ("" when none).
QString MessageOf(const std::function<void()>& action) {
    QString message;
    QTimer::singleShot(0, [&message] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            message = box->text();
            box->accept();
        }
    });
    action();
    QApplication::processEvents();
    return message;
}

} // namespace

// Site Filters

TEST(SiteFiltersDlg, ListsEveryFilterInListOrderWithEditAndDeleteDisabled) {
    CSiteFilterList filters;
    AddFilter(filters, CSiteFilter::kUrlFilter, {"banner", "ads"});
    AddFilter(filters, CSiteFilter::kWordFilter, {"Casino"});
    CSiteFiltersDlg dlg(filters);
    EXPECT_EQ(Lines(dlg, "filters"), (QStringList{"URLS:ads/banner", "WORDS:Casino"}));
    EXPECT_FALSE(Child<QPushButton>(dlg, "edit")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(dlg, "delete")->isEnabled());
    Child<QListWidget>(dlg, "filters")->setCurrentRow(1);
    EXPECT_TRUE(Child<QPushButton>(dlg, "edit")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(dlg, "delete")->isEnabled());
}

TEST(SiteFiltersDlg, DeleteTakesTheFilterOutAndLeavesEditAndDeleteDoingNothing) {
    CSiteFilterList filters;
    AddFilter(filters, CSiteFilter::kUrlFilter, {"ads"});
    AddFilter(filters, CSiteFilter::kWordFilter, {"CASINO"});
    AddFilter(filters, CSiteFilter::kUrlFilter, {"track"});
    CSiteFiltersDlg dlg(filters);
    Child<QListWidget>(dlg, "filters")->setCurrentRow(1);
    Child<QPushButton>(dlg, "delete")->click();
    EXPECT_EQ(Lines(dlg, "filters"), (QStringList{"URLS:ads", "URLS:track"}));
    ASSERT_EQ(filters.Count(), 2);
    EXPECT_EQ(filters.FilterArray()[1]->TextForm(), "URLS:track");

    // The buttons stay enabled with no line selected; pressing them does nothing.
    EXPECT_TRUE(Child<QPushButton>(dlg, "edit")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(dlg, "delete")->isEnabled());
    EXPECT_TRUE(Child<QListWidget>(dlg, "filters")->selectedItems().isEmpty());
    Child<QPushButton>(dlg, "delete")->click();
    bool opened = false;
    QTimer::singleShot(0, [&opened] {
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            opened = true;
            modal->reject();
        }
    });
    Child<QPushButton>(dlg, "edit")->click();
    QApplication::processEvents();
    EXPECT_FALSE(opened);
    EXPECT_EQ(filters.Count(), 2);
    EXPECT_EQ(Lines(dlg, "filters").size(), 2);
}

TEST(SiteFiltersDlg, EscapeActsAsAddAndCloseCloses) {
    CSiteFilterList filters;
    CSiteFiltersDlg dlg(filters);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    AnswerNextModal<CSiteFilterPropertiesDlg>([](CSiteFilterPropertiesDlg* properties) {
        QTest::keyClicks(Child<QLineEdit>(*properties, "newString"), QStringLiteral("ads"));
        Child<QPushButton>(*properties, "add")->click();
        Press(properties, QDialogButtonBox::Ok);
    });
    QTest::keyClick(Child<QListWidget>(dlg, "filters"), Qt::Key_Escape);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(Lines(dlg, "filters"), (QStringList{"URLS:ads"}));
    ASSERT_EQ(filters.Count(), 1);

    Child<QPushButton>(dlg, "close")->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(filters.Count(), 1);
}

TEST(SiteFiltersDlg, EditChangesTheSelectedFilterAndItsLine) {
    CSiteFilterList filters;
    AddFilter(filters, CSiteFilter::kWordFilter, {"CASINO", "POKER"});
    CSiteFiltersDlg dlg(filters);
    Child<QListWidget>(dlg, "filters")->setCurrentRow(0);
    AnswerNextModal<CSiteFilterPropertiesDlg>([](CSiteFilterPropertiesDlg* properties) {
        EXPECT_TRUE(Child<QRadioButton>(*properties, "wordFilter")->isChecked());
        Child<QRadioButton>(*properties, "urlFilter")->click();
        Press(properties, QDialogButtonBox::Ok);
    });
    Child<QPushButton>(dlg, "edit")->click();
    EXPECT_EQ(Lines(dlg, "filters"), (QStringList{"URLS:CASINO/POKER"}));
    EXPECT_EQ(filters.FilterArray()[0]->m_type, CSiteFilter::kUrlFilter);
}

TEST(SiteFiltersDlg, AddFollowedByCancelLeavesTheFilterListUnchanged) {
    CSiteFilterList filters;
    AddFilter(filters, CSiteFilter::kUrlFilter, {"ads"});
    CSiteFiltersDlg dlg(filters);
    AnswerNextModal<CSiteFilterPropertiesDlg>([](CSiteFilterPropertiesDlg* properties) {
        QTest::keyClicks(Child<QLineEdit>(*properties, "newString"), QStringLiteral("track"));
        Child<QPushButton>(*properties, "add")->click();
        Press(properties, QDialogButtonBox::Cancel);
    });
    Child<QPushButton>(dlg, "add")->click();
    EXPECT_EQ(filters.Count(), 1);
    EXPECT_EQ(Lines(dlg, "filters"), (QStringList{"URLS:ads"}));
}

// Site Filter Properties

TEST(SiteFilterPropertiesDlg, NewFilterStartsAsAnEmptyUrlFilterWithButtonsDisabled) {
    CSiteFilterList filters;
    CSiteFilterPropertiesDlg dlg(filters, nullptr);
    EXPECT_TRUE(Child<QRadioButton>(dlg, "urlFilter")->isChecked());
    EXPECT_FALSE(Child<QRadioButton>(dlg, "wordFilter")->isChecked());
    EXPECT_TRUE(Lines(dlg, "strings").isEmpty());
    EXPECT_FALSE(Child<QPushButton>(dlg, "add")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(dlg, "delete")->isEnabled());
    QTest::keyClicks(Child<QLineEdit>(dlg, "newString"), QStringLiteral("x"));
    EXPECT_TRUE(Child<QPushButton>(dlg, "add")->isEnabled());
    Child<QLineEdit>(dlg, "newString")->clear();
    EXPECT_FALSE(Child<QPushButton>(dlg, "add")->isEnabled());
    // Cancel: the new filter is discarded.
    Press(&dlg, QDialogButtonBox::Cancel);
    EXPECT_EQ(filters.Count(), 0);
}

TEST(SiteFilterPropertiesDlg, TheSameStringAddedTwiceShowsTwiceAndIsStoredOnce) {
    CSiteFilterList filters;
    CSiteFilterPropertiesDlg dlg(filters, nullptr);
    auto* edit = Child<QLineEdit>(dlg, "newString");
    for (const char* text : {"track", "ads", "track"}) {
        QTest::keyClicks(edit, QString::fromLatin1(text));
        Child<QPushButton>(dlg, "add")->click();
        EXPECT_TRUE(edit->text().isEmpty());
        EXPECT_FALSE(Child<QPushButton>(dlg, "add")->isEnabled());
    }
    EXPECT_EQ(Lines(dlg, "strings"), (QStringList{"ads", "track", "track"}));
    Child<QRadioButton>(dlg, "wordFilter")->click();
    Press(&dlg, QDialogButtonBox::Ok);
    ASSERT_EQ(filters.Count(), 1);
    EXPECT_EQ(filters.FilterArray()[0]->TextForm(), "WORDS:ads/track");
    EXPECT_EQ(dlg.Filter(), filters.FilterArray()[0].get());
}

TEST(SiteFilterPropertiesDlg, DeleteRemovesTheSelectedStringOnOk) {
    CSiteFilterList filters;
    CSiteFilter* filter = AddFilter(filters, CSiteFilter::kUrlFilter, {"ads", "banner", "track"});
    CSiteFilterPropertiesDlg dlg(filters, filter);
    EXPECT_EQ(Lines(dlg, "strings"), (QStringList{"ads", "banner", "track"}));
    Child<QListWidget>(dlg, "strings")->setCurrentRow(1);
    EXPECT_TRUE(Child<QPushButton>(dlg, "delete")->isEnabled());
    Child<QPushButton>(dlg, "delete")->click();
    EXPECT_EQ(Lines(dlg, "strings"), (QStringList{"ads", "track"}));
    // Nothing changes before OK.
    EXPECT_EQ(filter->TextForm(), "URLS:ads/banner/track");
    Press(&dlg, QDialogButtonBox::Ok);
    EXPECT_EQ(filter->TextForm(), "URLS:ads/track");
    EXPECT_EQ(filters.Count(), 1);
}

TEST(SiteFilterPropertiesDlg, CancelLeavesAnExistingFilterAsItWas) {
    CSiteFilterList filters;
    CSiteFilter* filter = AddFilter(filters, CSiteFilter::kWordFilter, {"CASINO"});
    CSiteFilterPropertiesDlg dlg(filters, filter);
    QTest::keyClicks(Child<QLineEdit>(dlg, "newString"), QStringLiteral("POKER"));
    Child<QPushButton>(dlg, "add")->click();
    Child<QRadioButton>(dlg, "urlFilter")->click();
    Press(&dlg, QDialogButtonBox::Cancel);
    EXPECT_EQ(filter->TextForm(), "WORDS:CASINO");
    EXPECT_EQ(filters.Count(), 1);
}

// Word Filter

TEST(WordFilterDlg, OpensOnTheSortedStopListWithBothButtonsDisabled) {
    CWordList stopList;
    for (const char* word : {"THE", "AND", "OF"})
        stopList.Add(word);
    CWordFilterDlg dlg(stopList);
    EXPECT_EQ(Lines(dlg, "words"), (QStringList{"AND", "OF", "THE"}));
    EXPECT_EQ(Words(stopList), (std::vector<std::string>{"AND", "OF", "THE"}));
    EXPECT_FALSE(Child<QPushButton>(dlg, "add")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(dlg, "delete")->isEnabled());
}

TEST(WordFilterDlg, TypedLettersBecomeCapitalsAndAddStaysDisabledWhileEmpty) {
    CWordList stopList;
    CWordFilterDlg dlg(stopList);
    auto* edit = Child<QLineEdit>(dlg, "newWord");
    QTest::keyClicks(edit, QStringLiteral("stop"));
    EXPECT_EQ(edit->text(), QStringLiteral("STOP"));
    edit->insert(QStringLiteral("-über"));
    EXPECT_EQ(edit->text(), QStringLiteral("STOP-ÜBER"));
    EXPECT_TRUE(Child<QPushButton>(dlg, "add")->isEnabled());
    edit->clear();
    EXPECT_FALSE(Child<QPushButton>(dlg, "add")->isEnabled());
    Child<QPushButton>(dlg, "add")->click();
    EXPECT_TRUE(Lines(dlg, "words").isEmpty());
}

TEST(WordFilterDlg, AStopWordTypedAgainIsRefusedWithItsMessage) {
    CWordList stopList;
    stopList.Add("THE");
    CWordFilterDlg dlg(stopList);
    QTest::keyClicks(Child<QLineEdit>(dlg, "newWord"), QStringLiteral("the"));
    const QString message = MessageOf([&] { Child<QPushButton>(dlg, "add")->click(); });
    EXPECT_EQ(message, QStringLiteral("String THE already exists"));
    EXPECT_EQ(Lines(dlg, "words"), (QStringList{"THE"}));
    EXPECT_FALSE(Child<QPushButton>(dlg, "add")->isEnabled());
}

TEST(WordFilterDlg, AWordAddedTwiceShowsTwiceAndEndsUpOnceAfterOk) {
    CWordList stopList;
    stopList.Add("THE");
    CWordFilterDlg dlg(stopList);
    auto* edit = Child<QLineEdit>(dlg, "newWord");
    for (int time = 0; time < 2; ++time) {
        QTest::keyClicks(edit, QStringLiteral("and"));
        EXPECT_EQ(MessageOf([&] { Child<QPushButton>(dlg, "add")->click(); }), QString());
        EXPECT_TRUE(edit->text().isEmpty());
    }
    EXPECT_EQ(Lines(dlg, "words"), (QStringList{"AND", "AND", "THE"}));
    // Nothing reaches the stop list before OK.
    EXPECT_FALSE(stopList.Contains("AND"));
    Press(&dlg, QDialogButtonBox::Ok);
    EXPECT_EQ(Words(stopList), (std::vector<std::string>{"AND", "THE"}));
    EXPECT_TRUE(stopList.Contains("AND"));
}

TEST(WordFilterDlg, DeletingEveryWordAndOkLeavesAnEmptyList) {
    CWordList stopList;
    stopList.Add("THE");
    stopList.Add("AND");
    CWordFilterDlg dlg(stopList);
    auto* list = Child<QListWidget>(dlg, "words");
    for (int guard = 0; list->count() > 0 && guard < 10; ++guard) {
        list->setCurrentRow(0);
        EXPECT_TRUE(Child<QPushButton>(dlg, "delete")->isEnabled());
        Child<QPushButton>(dlg, "delete")->click();
        EXPECT_FALSE(Child<QPushButton>(dlg, "delete")->isEnabled());
    }
    Press(&dlg, QDialogButtonBox::Ok);
    EXPECT_EQ(stopList.Count(), 0);
}

TEST(WordFilterDlg, CancelLeavesTheStopListAsItWas) {
    CWordList stopList;
    stopList.Add("THE");
    CWordFilterDlg dlg(stopList);
    Child<QListWidget>(dlg, "words")->setCurrentRow(0);
    Child<QPushButton>(dlg, "delete")->click();
    QTest::keyClicks(Child<QLineEdit>(dlg, "newWord"), QStringLiteral("of"));
    Child<QPushButton>(dlg, "add")->click();
    Press(&dlg, QDialogButtonBox::Cancel);
    EXPECT_EQ(Words(stopList), (std::vector<std::string>{"THE"}));
}
