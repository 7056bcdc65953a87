#include "dialogs/sortedlistwidget.h"

#include <gtest/gtest.h>

namespace {
QStringList Texts(const CSortedListWidget& list) {
    QStringList texts;
    for (int row = 0; row < list.count(); ++row)
        texts << list.item(row)->text();
    return texts;
}
} // namespace

TEST(SortedListWidget, KeepsEntriesSortedWithoutRegardToCase) {
    CSortedListWidget list;
    for (const char* text : {"gamma", "Alpha", "BETA", "alpha", "Beta2"})
        list.AddString(QString::fromLatin1(text), QString::fromLatin1(text));
    EXPECT_EQ(Texts(list), (QStringList{"Alpha", "alpha", "BETA", "Beta2", "gamma"}));
    EXPECT_EQ(list.RowData(3).toString(), QStringLiteral("Beta2"));
    EXPECT_FALSE(list.RowData(5).isValid());
}

TEST(SortedListWidget, FindStringStartsAfterTheGivenRowAndWrapsAround) {
    CSortedListWidget list;
    for (const char* text : {"AB", "ABC", "ABD", "B"})
        list.AddString(QString::fromLatin1(text));
    // From the second entry on: the later of two matches wins over the first entry.
    EXPECT_EQ(list.FindString(0, QStringLiteral("ab")), 1);
    EXPECT_EQ(list.FindString(1, QStringLiteral("ab")), 2);
    // Nothing after the start row matches: the search wraps around to the first entry.
    EXPECT_EQ(list.FindString(2, QStringLiteral("ab")), 0);
    EXPECT_EQ(list.FindString(3, QStringLiteral("ab")), 0);
    EXPECT_EQ(list.FindString(-1, QStringLiteral("ab")), 0);
    EXPECT_EQ(list.FindString(0, QStringLiteral("b")), 3);
    EXPECT_EQ(list.FindString(3, QStringLiteral("B")), 3);
}

TEST(SortedListWidget, FindStringAnswersMinusOneForNoMatchOrEmptyText) {
    CSortedListWidget list;
    EXPECT_EQ(list.FindString(0, QStringLiteral("a")), -1);
    list.AddString(QStringLiteral("ALPHA"));
    EXPECT_EQ(list.FindString(0, QStringLiteral("alpha")), 0);
    EXPECT_EQ(list.FindString(0, QStringLiteral("alphabet")), -1);
    EXPECT_EQ(list.FindString(0, QStringLiteral("b")), -1);
    EXPECT_EQ(list.FindString(0, QString()), -1);
}

TEST(SortedListWidget, BytesComeBackUnchangedInRowOrder) {
    CSortedListWidget list;
    const std::string latin1("Caf\xe9", 4);
    const std::string withNul("a\0b", 3);
    list.AddBytes(QStringLiteral("zeta"), latin1);
    list.AddBytes(QStringLiteral("Alpha"), withNul);
    list.AddString(QStringLiteral("middle"));
    EXPECT_EQ(list.AllBytes(), (std::vector<std::string>{withNul, "", latin1}));
}
