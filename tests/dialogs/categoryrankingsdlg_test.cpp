#include "dialogs/categoryrankingsdlg.h"

#include "common/debuglog.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "tests/support/currentdirectory.h"
#include "tests/support/tempdir.h"

#include <QDialogButtonBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

namespace {
// Five slots: Alpha 0.4, (empty), Beta 0.0, Gamma 1.0, Delta 0.2.
struct Ranked {
    Ranked() {
        alpha = Add("Alpha", 0.4);
        CCategory* gone = Add("Gone", 0.9);
        tree.TakeFromSlot(gone->m_index);
        beta = Add("Beta", 0.0);
        gamma = Add("Gamma", 1.0);
        delta = Add("Delta", 0.2);
    }
    CCategory* Add(const char* name, double score) {
        CCategory* category = tree.Register(std::make_unique<CCategory>(name));
        category->m_score = score;
        return category;
    }
    CSite site{"http://ranked.example/page", "Ranked Page", "<NONE>", 1};
    CCategoryTree tree;
    CCategory* alpha = nullptr;
    CCategory* beta = nullptr;
    CCategory* gamma = nullptr;
    CCategory* delta = nullptr;
};

QStringList Texts(const QListWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) {
        texts << list->item(row)->text();
    }
    return texts;
}

int FilledPixels(const QPixmap& bar) {
    const QImage image = bar.toImage();
    int filled = 0;
    for (int y = 1; y < image.height() - 1; ++y) {
        for (int x = 1; x < image.width() - 1; ++x) {
            if (image.pixelColor(x, y) != QColor(Qt::white)) {
                ++filled;
            }
        }
    }
    return filled;
}
} // namespace

TEST(CategoryRankingsDlg, ScoreLevelsFollowTheTableIncludingItsEdges) {
    EXPECT_EQ(CCategoryRankingsDlg::ScoreLevel(1.0), 0);
    EXPECT_EQ(CCategoryRankingsDlg::ScoreLevel(1.3), 1);
    EXPECT_EQ(CCategoryRankingsDlg::ScoreLevel(0.76), 1);
    EXPECT_EQ(CCategoryRankingsDlg::ScoreLevel(0.75), 2);
    EXPECT_EQ(CCategoryRankingsDlg::ScoreLevel(0.65), 3);
    EXPECT_EQ(CCategoryRankingsDlg::ScoreLevel(0.55), 4);
    EXPECT_EQ(CCategoryRankingsDlg::ScoreLevel(0.45), 5);
    EXPECT_EQ(CCategoryRankingsDlg::ScoreLevel(0.35), 6);
    EXPECT_EQ(CCategoryRankingsDlg::ScoreLevel(0.25), 7);
    EXPECT_EQ(CCategoryRankingsDlg::ScoreLevel(0.16), 7);
    EXPECT_EQ(CCategoryRankingsDlg::ScoreLevel(0.15), 8);
    EXPECT_EQ(CCategoryRankingsDlg::ScoreLevel(0.01), 8);
}

TEST(CategoryRankingsDlg, NineBarsOfRisingLevelEachFullerThanTheNext) {
    int previous = 1 << 30;
    for (int level = 0; level < CCategoryRankingsDlg::kLevelCount; ++level) {
        const QPixmap bar = CCategoryRankingsDlg::BarImage(level);
        EXPECT_EQ(bar.size(), QSize(64, 12));
        const int filled = FilledPixels(bar);
        EXPECT_LT(filled, previous) << "level " << level;
        EXPECT_GT(filled, 0) << "level " << level;
        previous = filled;
    }
}

TEST(CategoryRankingsDlg, ListsPositiveScoresInSlotOrderWithTheFirstSelected) {
    Ranked r;
    CCategoryRankingsDlg dlg(r.site, r.tree);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Ranked Page"));
    EXPECT_EQ(Texts(dlg.List()), (QStringList{"Alpha", "Gamma", "Delta"}));
    EXPECT_EQ(dlg.ListedCategories(), (std::vector<CCategory*>{r.alpha, r.gamma, r.delta}));
    EXPECT_EQ(dlg.List()->item(1)->data(Qt::UserRole + 1).toInt(), 0);
    EXPECT_EQ(dlg.List()->item(0)->data(Qt::UserRole + 1).toInt(), 5);
    EXPECT_EQ(dlg.List()->item(2)->data(Qt::UserRole + 1).toInt(), 7);
    ASSERT_EQ(dlg.List()->selectedItems().size(), 1);
    EXPECT_EQ(dlg.List()->selectedItems().front()->text(), QStringLiteral("Alpha"));
    EXPECT_EQ(dlg.List()->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(dlg.findChild<QLineEdit*>(QStringLiteral("hint"))->text(),
              QStringLiteral("Shift-Left Mouse to select blocks of categories, Ctrl-Left Mouse "
                             "to select multiple categories"));
    EXPECT_TRUE(dlg.findChild<QLineEdit*>(QStringLiteral("hint"))->isReadOnly());
}

TEST(CategoryRankingsDlg, CaptionIsTheUrlWhenTheTitleIsShorterThanTwo) {
    Ranked r;
    r.site.m_title = "X";
    CCategoryRankingsDlg dlg(r.site, r.tree);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("http://ranked.example/page"));
}

TEST(CategoryRankingsDlg, WideEnoughForTheHintAndALongTitleButNotBeyondTheScreen) {
    Ranked r;
    r.site.m_title = "The Complete Illustrated Guide to Optical Instruments, Lenses and Mirrors";
    CCategoryRankingsDlg dlg(r.site, r.tree);
    dlg.show();
    const auto* hint = dlg.findChild<QLineEdit*>(QStringLiteral("hint"));
    EXPECT_GE(hint->contentsRect().width(), hint->fontMetrics().horizontalAdvance(hint->text()));
    EXPECT_GT(dlg.width(), dlg.fontMetrics().horizontalAdvance(dlg.windowTitle()));

    r.site.m_title = std::string(8000, 'w');
    CCategoryRankingsDlg huge(r.site, r.tree);
    huge.show();
    EXPECT_LE(huge.frameGeometry().width(), huge.screen()->availableGeometry().width());
}

TEST(CategoryRankingsDlg, OkFilesTheSiteIntoEverySelectedCategory) {
    Ranked r;
    CCategoryRankingsDlg dlg(r.site, r.tree);
    dlg.List()->item(2)->setSelected(true);
    dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_TRUE(r.alpha->HoldsSite(&r.site));
    EXPECT_FALSE(r.gamma->HoldsSite(&r.site));
    EXPECT_TRUE(r.delta->HoldsSite(&r.site));
    EXPECT_EQ(r.site.m_categories.ActiveKeys(),
              (std::vector<std::int32_t>{r.alpha->m_index, r.delta->m_index}));
}

TEST(CategoryRankingsDlg, CancelFilesNothing) {
    Ranked r;
    CCategoryRankingsDlg dlg(r.site, r.tree);
    dlg.List()->selectAll();
    dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
    for (CCategory* category : {r.alpha, r.beta, r.gamma, r.delta}) {
        EXPECT_FALSE(category->HoldsSite(&r.site));
    }
    EXPECT_EQ(r.site.m_categories.ActiveCount(), 0);
}

TEST(CategoryRankingsDlg, NoPositiveScoreGivesAnEmptyListAndOkChangesNothing) {
    Ranked r;
    for (CCategory* category : {r.alpha, r.gamma, r.delta}) {
        category->m_score = 0.0;
    }
    CCategoryRankingsDlg dlg(r.site, r.tree);
    EXPECT_EQ(dlg.List()->count(), 0);
    dlg.accept();
    EXPECT_EQ(r.site.m_categories.ActiveCount(), 0);
}

TEST(CategoryRankingsDlg, WritesItsThreeDebugLinesInOrder) {
    CTempDir folder;
    CCurrentDirectory here(folder.Path());
    if (!IsDebugMode()) {
        ToggleDebugMode();
    }
    {
        Ranked r;
        CCategoryRankingsDlg dlg(r.site, r.tree);
    }
    ToggleDebugMode();
    std::ifstream in(folder.File("debug.wfx"));
    std::stringstream text;
    text << in.rdbuf();
    const std::string log = text.str();
    const auto creating = log.find("Creating Ranking dialog.");
    const auto initializing = log.find("Initializing ranking dialog.");
    const auto finishing = log.find("Finishing initializing ranking dialog.");
    ASSERT_NE(creating, std::string::npos) << log;
    ASSERT_NE(initializing, std::string::npos) << log;
    ASSERT_NE(finishing, std::string::npos) << log;
    EXPECT_LT(creating, initializing);
    EXPECT_LT(initializing, finishing);
}
