#include "shell/korvodoc.h"

#include <QObject>

#include <gtest/gtest.h>

#include <memory>
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

} // namespace
