#include "views/metaview.h"

#include "common/debuglog.h"
#include "shell/colorref.h"
#include "shell/settings.h"
#include "tests/views/mapframefixture.h"
#include "views/mapnavigator.h"

#include <QFocusEvent>
#include <QImage>
#include <QSettings>
#include <QTest>
#include <QWheelEvent>

#include <array>
#include <memory>

namespace {

using Edges = std::array<int, 4>; // left, top, right, bottom

Edges EdgesOf(const CRect& r) {
    return {r.left, r.top, r.right, r.bottom};
}

// An overview map of 200 x 200 pixels: one pixel stands for 10 world units. The overview
// rectangle starts at the default (15, 15, 150, 150).
class MetaViewTest : public MapFrameFixture {
protected:
    MetaViewTest() {
        m_view = std::make_unique<CMetaView>(*m_frame);
        m_view->resize(200, 200);
        m_view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
    }
    ~MetaViewTest() override { m_view.reset(); }

    void Press(int x, int y) { QTest::mousePress(m_view.get(), Qt::LeftButton, {}, QPoint(x, y)); }
    void MoveTo(int x, int y) { QTest::mouseMove(m_view.get(), QPoint(x, y)); }
    void Release(int x, int y) {
        QTest::mouseRelease(m_view.get(), Qt::LeftButton, {}, QPoint(x, y));
    }
    Edges World() { return EdgesOf(m_frame->Maps().WorldRect()); }

    std::unique_ptr<CMetaView> m_view;
};

TEST_F(MetaViewTest, WorldRectangleFollowsTheOverviewRectangleAndPaneSize) {
    EXPECT_EQ(m_view->ViewRect(), QRect(15, 15, 150, 150));
    EXPECT_EQ(World(), (Edges{150, 150, 1650, 1650}));

    m_view->resize(400, 200);
    QCoreApplication::processEvents();
    // The rectangle keeps its pixels; the world part it stands for changes with the pane.
    EXPECT_EQ(m_view->ViewRect(), QRect(15, 15, 150, 150));
    EXPECT_EQ(World(), (Edges{75, 150, 825, 1650}));
}

TEST_F(MetaViewTest, PressZonesStartNothingMovingOrResizing) {
    struct CCase {
        QPoint point;
        int mode;
    };
    const CCase cases[] = {
        {{15, 80}, CMetaView::kNoDrag},     // on the left border line
        {{80, 165}, CMetaView::kNoDrag},    // on the bottom border line
        {{10, 10}, CMetaView::kNoDrag},     // outside
        {{16, 16}, CMetaView::kMoving},     // just inside
        {{155, 160}, CMetaView::kMoving},   // 10 pixels left of the right edge
        {{156, 156}, CMetaView::kResizing}, // the handle's last 10 pixels in both axes
        {{164, 164}, CMetaView::kResizing}, {{160, 155}, CMetaView::kMoving},
    };
    for (const CCase& c : cases) {
        Press(c.point.x(), c.point.y());
        EXPECT_EQ(m_view->DragMode(), c.mode) << c.point.x() << "," << c.point.y();
        Release(c.point.x(), c.point.y());
        EXPECT_EQ(m_view->DragMode(), CMetaView::kNoDrag);
    }
}

TEST_F(MetaViewTest, MovingSetsTheWorldRectangleOnRelease) {
    Press(50, 50);
    MoveTo(70, 60);
    EXPECT_EQ(m_view->ViewRect(), QRect(35, 25, 150, 150));
    EXPECT_EQ(World(), (Edges{150, 150, 1650, 1650})); // the map waits for the release
    Release(70, 60);

    EXPECT_EQ(World(), (Edges{350, 250, 1850, 1750}));
    EXPECT_EQ(m_frame->Maps().OverviewOrigin().x, 35);
    EXPECT_EQ(m_frame->Maps().OverviewOrigin().y, 25);
}

TEST_F(MetaViewTest, ResizingWithTheHandleZoomsAndRefusesTenPixelsOrLess) {
    Press(160, 160); // grab (5, 5) from the corner
    MoveTo(180, 170);
    EXPECT_EQ(m_view->ViewRect(), QRect(15, 15, 170, 160));
    MoveTo(20, 20); // would give 10 x 10
    EXPECT_EQ(m_view->ViewRect(), QRect(15, 15, 170, 160));
    MoveTo(21, 100);
    EXPECT_EQ(m_view->ViewRect(), QRect(15, 15, 11, 90));
    Release(21, 100);
    EXPECT_EQ(World(), (Edges{150, 150, 260, 1050}));
}

TEST_F(MetaViewTest, ReleaseWithoutDragStillRecomputesTheWorldRectangle) {
    m_frame->Maps().SetWorldRect(CRect{1, 2, 3, 4});
    Press(100, 100);
    Release(100, 100);
    EXPECT_EQ(World(), (Edges{150, 150, 1650, 1650}));
}

TEST_F(MetaViewTest, LosingTheFocusEndsTheDragWithoutUpdatingTheMap) {
    Press(50, 50);
    MoveTo(60, 60);
    QFocusEvent focusOut(QEvent::FocusOut);
    QCoreApplication::sendEvent(m_view.get(), &focusOut);
    EXPECT_EQ(m_view->DragMode(), CMetaView::kNoDrag);
    MoveTo(90, 90);
    EXPECT_EQ(m_view->ViewRect(), QRect(25, 25, 150, 150));
    EXPECT_EQ(World(), (Edges{150, 150, 1650, 1650}));
}

TEST_F(MetaViewTest, WheelDuringADragMovesAsTheMouseWould) {
    Press(50, 50);
    QWheelEvent wheel(QPointF(80, 75), m_view->mapToGlobal(QPointF(80, 75)), QPoint(),
                      QPoint(0, 120), Qt::LeftButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(m_view.get(), &wheel);
    EXPECT_EQ(m_view->ViewRect(), QRect(45, 40, 150, 150));
    Release(80, 75);
}

TEST_F(MetaViewTest, RectangleCannotBeMovedOrResizedOutOfThePane) {
    Press(50, 50);
    MoveTo(-100, 300);
    EXPECT_EQ(m_view->ViewRect(), QRect(0, 50, 150, 150));
    MoveTo(400, -40);
    EXPECT_EQ(m_view->ViewRect(), QRect(50, 0, 150, 150));
    Release(400, -40);
    Press(195, 145); // the handle
    MoveTo(260, 250);
    EXPECT_EQ(m_view->ViewRect(), QRect(50, 0, 150, 200));
    Release(260, 250);
    EXPECT_EQ(World(), (Edges{500, 0, 2000, 2000}));
}

TEST_F(MetaViewTest, CenterOnPutsTheWorldPointInTheMiddleOfTheRectangle) {
    m_view->CenterOn(1000, 500);
    EXPECT_EQ(m_view->ViewRect(), QRect(25, -25, 150, 150));
    // Nothing clamps a rectangle partly outside the pane.
    EXPECT_EQ(World(), (Edges{250, -250, 1750, 1250}));
}

TEST_F(MetaViewTest, OverviewRectangleIsReadAtStartAndWrittenAtDestroy) {
    m_view.reset();
    m_frame->Settings().viewX = 40;
    m_frame->Settings().viewY = 30;
    m_frame->Settings().viewDX = 60;
    m_frame->Settings().viewDY = 50;
    m_view = std::make_unique<CMetaView>(*m_frame);
    EXPECT_EQ(m_view->ViewRect(), QRect(40, 30, 60, 50));
    m_view->resize(200, 200);
    m_view->show();
    Press(50, 40);
    MoveTo(52, 45);
    Release(52, 45);

    m_view.reset();
    QSettings store(QString::fromStdString(m_config.File("Quellon/Wayfold.conf")),
                    QSettings::IniFormat);
    EXPECT_EQ(store.value("Wayfold/View X").toInt(), 42);
    EXPECT_EQ(store.value("Wayfold/View Y").toInt(), 35);
    EXPECT_EQ(store.value("Wayfold/View DX").toInt(), 60);
    EXPECT_EQ(store.value("Wayfold/View DY").toInt(), 50);
}

TEST_F(MetaViewTest, DrawsWhiteDInDebugMode) {
    auto whiteNearCorner = [this] {
        const QImage image = m_view->grab().toImage();
        for (int x = 5; x < 15; ++x)
            for (int y = 5; y < 15; ++y)
                if (image.pixelColor(x, y) == QColor(Qt::white))
                    return true;
        return false;
    };
    const bool before = IsDebugMode();
    EXPECT_EQ(whiteNearCorner(), before);
    ToggleDebugMode();
    EXPECT_EQ(whiteNearCorner(), !before);
    ToggleDebugMode();
}

} // namespace
