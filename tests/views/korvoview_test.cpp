#include "views/korvoview.h"

#include "common/debuglog.h"
#include "shell/browserlauncher.h"
#include "shell/colorref.h"
#include "shell/drawingobjects.h"
#include "shell/settings.h"
#include "tests/views/mapframefixture.h"
#include "views/mapnavigator.h"
#include "views/maprenderer.h"
#include "views/metaview.h"
#include "views/urllist.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QPrinter>
#include <QTest>
#include <QWheelEvent>

#include <array>
#include <functional>
#include <memory>

namespace {

// A linkage map of 400 x 400 pixels showing world 0..400: one pixel per world unit.
class KorvoViewTest : public MapFrameFixture {
protected:
    KorvoViewTest() {
        m_frame->Settings().viewFlags = kViewTitle | kViewLinks | kViewWords | kViewLines;
        m_view = std::make_unique<CKorvoView>(*m_frame);
        m_view->resize(400, 400);
        m_view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
        m_frame->Maps().SetWorldRect(CRect{0, 0, 400, 400});
    }
    ~KorvoViewTest() override { m_view.reset(); }

    void Press(int x, int y) { QTest::mousePress(m_view.get(), Qt::LeftButton, {}, QPoint(x, y)); }
    void MoveTo(int x, int y) { QTest::mouseMove(m_view.get(), QPoint(x, y)); }
    void Release(int x, int y) {
        QTest::mouseRelease(m_view.get(), Qt::LeftButton, {}, QPoint(x, y));
    }
    void Drag(QPoint from, QPoint to) {
        Press(from.x(), from.y());
        MoveTo(to.x(), to.y());
        Release(to.x(), to.y());
    }
    std::uint32_t Pixel(const QImage& image, int x, int y) {
        return RefFromColor(QColor(image.pixel(x, y)));
    }
    // The view once the picture it asked for is there.
    QImage Shown() {
        m_view->update();
        QElapsedTimer timer;
        timer.start();
        do
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        while (!m_view->IsPictureCurrent() && timer.elapsed() < 20000);
        return m_view->grab().toImage();
    }

    // The enabled state of each action of a menu, by text ("Focus On..." submenu included).
    static QAction* Find(QMenu& menu, const QString& text) {
        for (QAction* action : menu.actions()) {
            if (action->text() == text)
                return action;
            if (action->menu())
                if (QAction* inner = Find(*action->menu(), text))
                    return inner;
        }
        return nullptr;
    }

    std::unique_ptr<CKorvoView> m_view;
};

TEST_F(KorvoViewTest, HitTestIsStrictOnAllFourSidesOfTheDot) {
    CSite* site = Visited("http://a/", 100, 100);
    struct CCase {
        QPoint point;
        bool hit;
    };
    const CCase cases[] = {{{100, 110}, false}, {{101, 110}, true},  {{119, 110}, true},
                           {{120, 110}, false}, {{110, 100}, false}, {{110, 101}, true},
                           {{110, 119}, true},  {{110, 120}, false}, {{130, 105}, false}};
    for (const CCase& c : cases) {
        Press(c.point.x(), c.point.y());
        EXPECT_EQ(site->m_selected, c.hit) << c.point.x() << "," << c.point.y();
        // A miss (the label included) starts the rubber band instead.
        EXPECT_EQ(m_view->IsRubberBandShown(), !c.hit);
        Release(c.point.x(), c.point.y());
        EXPECT_FALSE(site->m_selected);
    }
}

TEST_F(KorvoViewTest, DraggingPutsTheNodesTopLeftUnderThePointer) {
    CSite* site = Visited("http://a/", 100, 100);
    Press(110, 110);
    EXPECT_TRUE(m_view->IsTracking());
    MoveTo(250, 180);
    EXPECT_EQ(site->m_x, 250);
    EXPECT_EQ(site->m_y, 180);
    Release(250, 180);
    EXPECT_FALSE(m_view->IsTracking());
    EXPECT_FALSE(site->m_selected);
}

TEST_F(KorvoViewTest, NoLinesWhileTheButtonIsDown) {
    CSite* site = Visited("http://a/", 100, 100);
    Link(*site, "http://b/", 300, 103); // centres on the row y = 110
    const std::uint32_t background = m_frame->Settings().backgroundColor;

    EXPECT_NE(Pixel(Shown(), 200, 110), background);
    Press(310, 300); // nothing there: a rubber band, but the button is down
    EXPECT_EQ(Pixel(Shown(), 200, 110), background);
    Release(310, 300);
    EXPECT_NE(Pixel(Shown(), 200, 110), background);
}

// While a node is dragged the picture leaves it out and it is drawn over the picture where it
// is now: the whole drawing without lines, as long as it lies over no other node.
TEST_F(KorvoViewTest, PictureDuringADragIsTheWholeDrawingWithoutLines) {
    std::vector<CSite*> sites;
    for (int i = 0; i < 12; ++i) {
        CSite* site = Visited("http://s" + std::to_string(i) + "/", 40 + 25 * i, 60 + 23 * (i % 5));
        Link(*site, "http://l" + std::to_string(i) + "/", 50 + 21 * i, 200 + 17 * (i % 4));
        sites.push_back(site);
    }
    Word("SHARED", 150, 150, {sites[1], sites[2]});
    Word("OTHER", 90, 170, {sites[3], sites[7]});
    Shown();
    Press(sites[4]->m_x + 5, sites[4]->m_y + 5);
    MoveTo(170, 160);
    MoveTo(320, 330);
    Shown();

    const CDrawingObjects objects(m_frame->Settings());
    CMapRenderer renderer(Database(), m_frame->CategoryTree(), objects,
                          m_frame->Settings().viewFlags);
    renderer.SetTracking(true);
    const QImage whole = renderer.RenderImage(CRect{0, 0, 400, 400}, QSize(400, 400));
    for (const QRect& area :
         {QRect(140, 130, 60, 40), QRect(0, 0, 400, 400), QRect(60, 190, 90, 50),
          QRect(210, 40, 30, 120), QRect(300, 310, 100, 60)}) {
        QImage part(400, 400, QImage::Format_RGB32);
        part.fill(Qt::white);
        m_view->render(&part, area.topLeft(), QRegion(area));
        EXPECT_EQ(part.copy(area), whole.copy(area)) << area.x() << "," << area.y();
    }
    Release(320, 330);
    // Settled: the exact picture, lines and all.
    CMapRenderer settled(Database(), m_frame->CategoryTree(), objects,
                         m_frame->Settings().viewFlags);
    EXPECT_EQ(Shown(), settled.RenderImage(CRect{0, 0, 400, 400}, QSize(400, 400)));
}

TEST_F(KorvoViewTest, BandDraggedUpwardsSelectsNothingAndDownwardsSelectsWhatIsInside) {
    CSite* inside = Visited("http://a/", 100, 100);
    CSite* across = Visited("http://b/", 190, 100); // reaches past the band's right edge
    Visited("http://c/", 300, 300);

    Drag(QPoint(200, 200), QPoint(50, 50));
    EXPECT_FALSE(inside->m_selected);
    EXPECT_FALSE(m_view->IsGroupMode());

    Drag(QPoint(50, 50), QPoint(200, 200));
    EXPECT_TRUE(inside->m_selected);
    EXPECT_FALSE(across->m_selected);
    EXPECT_TRUE(m_view->IsGroupMode());
}

TEST_F(KorvoViewTest, GroupMovesTogetherThenGroupModeEnds) {
    CSite* a = Visited("http://a/", 100, 100);
    CSite* b = Visited("http://b/", 150, 150);
    CSite* outside = Visited("http://c/", 300, 300);
    Drag(QPoint(50, 50), QPoint(200, 200));
    ASSERT_TRUE(m_view->IsGroupMode());

    Press(160, 160); // on b, a member of the group
    MoveTo(190, 180);
    Release(190, 180);

    EXPECT_EQ(a->m_x, 130);
    EXPECT_EQ(a->m_y, 120);
    EXPECT_EQ(b->m_x, 180);
    EXPECT_EQ(b->m_y, 170);
    EXPECT_EQ(outside->m_x, 300);
    EXPECT_FALSE(m_view->IsGroupMode());
    EXPECT_FALSE(a->m_selected);
}

TEST_F(KorvoViewTest, PressOutsideTheGroupOnlyEndsGroupMode) {
    CSite* a = Visited("http://a/", 100, 100);
    CSite* other = Visited("http://b/", 300, 300);
    Drag(QPoint(50, 50), QPoint(200, 200));
    ASSERT_TRUE(m_view->IsGroupMode());

    Press(350, 50);
    EXPECT_FALSE(m_view->IsGroupMode());
    EXPECT_FALSE(m_view->IsRubberBandShown());
    MoveTo(360, 60);
    EXPECT_EQ(a->m_x, 100);
    Release(360, 60);
    EXPECT_FALSE(a->m_selected);

    Press(310, 310);
    EXPECT_TRUE(other->m_selected);
    Release(310, 310);
}

TEST_F(KorvoViewTest, LinkNodesCannotBeHitWithoutTheLinksToggle) {
    CSite* site = Visited("http://a/", 100, 100);
    CSite* link = Link(*site, "http://b/", 300, 100);
    Press(307, 107);
    EXPECT_TRUE(link->m_selected);
    MoveTo(320, 120);
    EXPECT_EQ(link->m_x, 320);
    Release(320, 120);

    m_frame->Settings().viewFlags &= ~kViewLinks;
    Press(327, 127);
    EXPECT_FALSE(link->m_selected);
    EXPECT_TRUE(m_view->IsRubberBandShown());
    Release(327, 127);
    EXPECT_FALSE(m_view->PrepareContextMenu(QPoint(327, 127)));
}

TEST_F(KorvoViewTest, HiddenWordOfOneVisibleSiteIsNotGrabbed) {
    CSite* a = Visited("http://a/", 100, 100);
    CSite* b = Visited("http://b/", 300, 300);
    CWordEntry* word = Word("HALF", 200, 200, {a, b});
    b->Hide();
    Press(205, 205);
    EXPECT_EQ(word->m_selected, 0);
    EXPECT_TRUE(m_view->IsRubberBandShown());
    Release(205, 205);

    b->Show();
    Press(205, 205);
    EXPECT_EQ(word->m_selected, 1);
    MoveTo(220, 230);
    EXPECT_EQ(word->m_x, 220);
    Release(220, 230);
}

TEST_F(KorvoViewTest, NodeMenuOffersItsCommandsAndGreysLinkCommandsForLinkNodes) {
    CSite* site = Visited("http://a/", 100, 100);
    CSite* link = Link(*site, "http://b/", 300, 100);

    std::unique_ptr<QMenu> menu = m_view->PrepareContextMenu(QPoint(110, 110));
    ASSERT_TRUE(menu);
    for (const char* text :
         {"Center", "Properties", "Open Site", "Hide", "Hide Links", "Unhide Links", "...this site",
          "...subtree within 1 links", "...subtree within 2 links"}) {
        QAction* action = Find(*menu, QString::fromLatin1(text));
        ASSERT_NE(action, nullptr) << text;
        EXPECT_TRUE(action->isEnabled()) << text;
    }
    EXPECT_NE(Find(*menu, QStringLiteral("Focus On...")), nullptr);
    EXPECT_EQ(m_view->MenuSite(), site);
    EXPECT_EQ(m_view->MenuParent(), nullptr);
    EXPECT_TRUE(site->m_selected);

    menu = m_view->PrepareContextMenu(QPoint(307, 107));
    ASSERT_TRUE(menu);
    EXPECT_FALSE(Find(*menu, QStringLiteral("Hide Links"))->isEnabled());
    EXPECT_FALSE(Find(*menu, QStringLiteral("Unhide Links"))->isEnabled());
    EXPECT_EQ(m_view->MenuSite(), link);
    EXPECT_EQ(m_view->MenuParent(), site);

    EXPECT_FALSE(m_view->PrepareContextMenu(QPoint(200, 300)));
}

TEST_F(KorvoViewTest, HideAndHideLinksCommandsActOnTheSubject) {
    CSite* site = Visited("http://a/", 100, 100);
    CSite* link = Link(*site, "http://b/", 300, 100);

    std::unique_ptr<QMenu> menu = m_view->PrepareContextMenu(QPoint(110, 110));
    m_view->RunMenuCommand(Find(*menu, QStringLiteral("Hide Links")));
    EXPECT_EQ(link->m_hidden, 1);
    EXPECT_EQ(site->m_hidden, 0);

    menu = m_view->PrepareContextMenu(QPoint(110, 110));
    m_view->RunMenuCommand(Find(*menu, QStringLiteral("Unhide Links")));
    EXPECT_EQ(link->m_hidden, 0);

    menu = m_view->PrepareContextMenu(QPoint(110, 110));
    m_view->RunMenuCommand(Find(*menu, QStringLiteral("Hide")));
    EXPECT_EQ(site->m_hidden, 1);
    EXPECT_EQ(link->m_hidden, 1);
}

TEST_F(KorvoViewTest, GroupMenuHidesTheSelectedSites) {
    CSite* a = Visited("http://a/", 100, 100);
    CSite* b = Visited("http://b/", 300, 300);
    Drag(QPoint(50, 50), QPoint(200, 200));

    std::unique_ptr<QMenu> menu = m_view->PrepareContextMenu(QPoint(390, 10));
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions().front()->text(), QStringLiteral("Hide Group"));
    EXPECT_TRUE(menu->actions().front()->isEnabled());
    m_view->RunMenuCommand(menu->actions().front());

    EXPECT_EQ(a->m_hidden, 1);
    EXPECT_EQ(b->m_hidden, 0);
}

// a links to b (visited) and to x (not visited); b links to c (visited); d is apart.
class FocusTest : public KorvoViewTest {
protected:
    FocusTest() {
        a = Visited("http://a/", 100, 100);
        b = Visited("http://b/", 200, 100);
        c = Visited("http://c/", 300, 100);
        d = Visited("http://d/", 100, 300);
        toB = Link(*a, "http://b/", 150, 150);
        toX = Link(*a, "http://x/", 150, 250);
        toC = Link(*b, "http://c/", 250, 150);
    }
    void Focus(const char* text) {
        std::unique_ptr<QMenu> menu = m_view->PrepareContextMenu(QPoint(110, 110));
        ASSERT_TRUE(menu);
        m_view->RunMenuCommand(Find(*menu, QString::fromLatin1(text)));
    }
    std::vector<int> Hidden() const {
        return {a->m_hidden,   b->m_hidden,   c->m_hidden,  d->m_hidden,
                toB->m_hidden, toX->m_hidden, toC->m_hidden};
    }
    CSite *a, *b, *c, *d, *toB, *toX, *toC;
};

TEST_F(FocusTest, ThisSiteShowsTheSiteAndItsLinkNodesOnly) {
    Focus("...this site");
    EXPECT_EQ(Hidden(), (std::vector<int>{0, 1, 1, 1, 0, 0, 1}));
}

TEST_F(FocusTest, WithinOneLinkAddsTheVisitedSitesItsLinksName) {
    Focus("...subtree within 1 links");
    EXPECT_EQ(Hidden(), (std::vector<int>{0, 0, 1, 1, 0, 0, 0}));
}

TEST_F(FocusTest, WithinTwoLinksReachesTheVisitedSitesOneStepFurther) {
    Focus("...subtree within 2 links");
    EXPECT_EQ(Hidden(), (std::vector<int>{0, 0, 0, 1, 0, 0, 0}));
}

TEST_F(FocusTest, FocusOnALinkNodeFocusesOnItsVisitedSite) {
    m_frame->Maps().FocusOnSite(toB, 0, a);
    EXPECT_EQ(b->m_hidden, 0);
    EXPECT_EQ(toC->m_hidden, 0);
    EXPECT_EQ(a->m_hidden, 1);

    m_frame->Maps().FocusOnSite(toX, 0, a);
    EXPECT_EQ(a->m_hidden, 0);
    EXPECT_EQ(toX->m_hidden, 0);
    EXPECT_EQ(toB->m_hidden, 1);
    EXPECT_EQ(b->m_hidden, 1);
}

TEST_F(FocusTest, LogBookOffersCenterAndFocusForSiteItems) {
    CUrlList* logBook = m_frame->LogBook();
    ASSERT_NE(logBook, nullptr);
    logBook->Build();
    CMetaView overview(*m_frame);
    overview.resize(200, 200);
    overview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&overview));
    c->m_x = 1500;
    c->m_y = 500;

    std::unique_ptr<QMenu> menu(logBook->MakeContextMenu(logBook->ItemOfSite(c)));
    QAction* center = Find(*menu, QStringLiteral("Center"));
    ASSERT_NE(center, nullptr);
    center->trigger();
    const CRect& world = m_frame->Maps().WorldRect();
    EXPECT_EQ((std::vector<int>{world.left, world.top, world.right, world.bottom}),
              (std::vector<int>{750, -250, 2250, 1250}));

    menu.reset(logBook->MakeContextMenu(logBook->ItemOfSite(a)));
    QAction* within2 = Find(*menu, QStringLiteral("...subtree within 2 links"));
    ASSERT_NE(within2, nullptr);
    within2->trigger();
    EXPECT_EQ(Hidden(), (std::vector<int>{0, 0, 0, 1, 0, 0, 0}));
}

TEST_F(KorvoViewTest, DoubleClickAndOpenSiteShowTheNodeInTheBrowser) {
    std::vector<std::string> opened;
    ASSERT_NE(m_frame->Launcher(), nullptr);
    m_frame->Launcher()->SetDefaultBrowserOpener([&opened](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    m_frame->Settings().defaultBrowser = 1;
    CSite* site = Visited("http://a/", 100, 100);
    Link(*site, "http://b/", 300, 100);

    QTest::mouseDClick(m_view.get(), Qt::LeftButton, {}, QPoint(110, 110));
    QTest::mouseDClick(m_view.get(), Qt::LeftButton, {}, QPoint(307, 107));
    QTest::mouseDClick(m_view.get(), Qt::LeftButton, {}, QPoint(135, 105)); // the label
    std::unique_ptr<QMenu> menu = m_view->PrepareContextMenu(QPoint(110, 110));
    m_view->RunMenuCommand(Find(*menu, QStringLiteral("Open Site")));

    EXPECT_EQ(opened, (std::vector<std::string>{"http://a/", "http://b/", "http://a/"}));
}

// Moving about the map: the wheel zooms around the pointer, + and - around the middle; the
// middle button, the left button with Space held and the arrow keys move the map. Every step
// keeps the world rectangle inside the world and the overview's rectangle stands for it;
// nodes under the pointer are neither selected nor moved.
TEST_F(KorvoViewTest, WheelKeysAndPanningMoveTheWorldRectangleWithinTheWorld) {
    // Under the pointer where Space and the left button start dragging the map.
    CSite* site = Visited("http://a/", 830, 990);
    CMetaView overview(*m_frame);
    overview.resize(200, 200); // ten world units a pixel
    overview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&overview));
    m_frame->Maps().SetWorldRect(CRect{0, 0, 400, 400});
    auto world = [&] {
        const CRect& r = m_frame->Maps().WorldRect();
        return std::array<int, 4>{r.left, r.top, r.right, r.bottom};
    };
    auto wheel = [&](QPoint at, int notches) {
        QWheelEvent event(QPointF(at), m_view->mapToGlobal(QPointF(at)), QPoint(),
                          QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QCoreApplication::sendEvent(m_view.get(), &event);
    };
    auto key = [&](Qt::Key k) { QTest::keyClick(m_view.get(), k); };
    auto drag = [&](Qt::MouseButton button, QPoint from, QPoint to) {
        QTest::mousePress(m_view.get(), button, {}, from);
        QTest::mouseMove(m_view.get(), to);
        QTest::mouseRelease(m_view.get(), button, {}, to);
    };
    struct CStep {
        const char* name;
        std::function<void()> act;
        std::array<int, 4> expected;
    };
    const CStep steps[] = {
        // The world point under the pointer (100, 300) stays there: 400 / 1.25 = 320 wide.
        {"wheel in", [&] { wheel(QPoint(100, 300), 1); }, {20, 60, 340, 380}},
        {"wheel out", [&] { wheel(QPoint(100, 300), -1); }, {0, 0, 400, 400}},
        {"wheel far out stops at the world",
         [&] { wheel(QPoint(200, 200), -30); },
         {0, 0, 2000, 2000}},
        {"plus zooms around the middle", [&] { key(Qt::Key_Plus); }, {200, 200, 1800, 1800}},
        {"minus", [&] { key(Qt::Key_Minus); }, {0, 0, 2000, 2000}},
        {"plus twice", [&] { key(Qt::Key_Plus), key(Qt::Key_Plus); }, {360, 360, 1640, 1640}},
        // 1280 units on 400 pixels: 3.2 units a pixel.
        {"middle button drags the map",
         [&] { drag(Qt::MiddleButton, QPoint(300, 300), QPoint(250, 200)); },
         {520, 680, 1800, 1960}},
        {"space and left button",
         [&] {
             QTest::keyPress(m_view.get(), Qt::Key_Space);
             drag(Qt::LeftButton, QPoint(100, 100), QPoint(150, 120));
             QTest::keyRelease(m_view.get(), Qt::Key_Space);
         },
         {360, 616, 1640, 1896}},
        {"arrow moves an eighth", [&] { key(Qt::Key_Right); }, {520, 616, 1800, 1896}},
        {"arrow down stops at the edge",
         [&] { key(Qt::Key_Down), key(Qt::Key_Down); },
         {520, 720, 1800, 2000}},
        {"dragged past the edge stops there",
         [&] { drag(Qt::MiddleButton, QPoint(10, 10), QPoint(390, 390)); },
         {0, 0, 1280, 1280}},
    };
    for (const CStep& step : steps) {
        step.act();
        EXPECT_EQ(world(), step.expected) << step.name;
        const CRect shown = overview.WorldRectOfViewRect();
        const std::array<int, 4> expected = step.expected;
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR((std::array<int, 4>{shown.left, shown.top, shown.right, shown.bottom}[i]),
                        expected[i], 10)
                << step.name;
        EXPECT_FALSE(site->m_selected) << step.name;
        EXPECT_FALSE(m_view->IsRubberBandShown()) << step.name;
        EXPECT_FALSE(m_view->IsPanning()) << step.name;
    }
    EXPECT_EQ(site->m_x, 830);
}

TEST_F(KorvoViewTest, DKeyTogglesDebugModeWhateverModifierIsHeld) {
    for (const Qt::KeyboardModifiers modifiers :
         {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier),
          Qt::KeyboardModifiers(Qt::ControlModifier),
          Qt::KeyboardModifiers(Qt::AltModifier | Qt::ShiftModifier)}) {
        const bool before = IsDebugMode();
        QTest::keyClick(m_view.get(), Qt::Key_D, modifiers);
        EXPECT_NE(IsDebugMode(), before) << modifiers.toInt();
        QTest::keyClick(m_view.get(), Qt::Key_D, modifiers);
        EXPECT_EQ(IsDebugMode(), before);
    }
}

TEST_F(KorvoViewTest, OverviewFollowsANodeDraggedOnTheMap) {
    CMetaView overview(*m_frame);
    overview.resize(200, 200);
    overview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&overview));
    m_frame->Maps().SetWorldRect(CRect{0, 0, 400, 400}); // the overview set its own
    Visited("http://a/", 100, 100);
    Drag(QPoint(110, 110), QPoint(300, 300));
    QElapsedTimer timer;
    timer.start();
    do
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    while (!overview.IsPictureCurrent() && timer.elapsed() < 20000);
    const QImage shown = overview.grab().toImage();
    const std::uint32_t site = m_frame->Settings().urlFont.color;
    EXPECT_EQ(Pixel(shown, 31, 31), site);
    EXPECT_EQ(Pixel(shown, 11, 11), m_frame->Settings().backgroundColor);
}

TEST_F(KorvoViewTest, PrintAndExportActOnTheOverviewWhenItWasWorkedInLast) {
    CMetaView overview(*m_frame);
    overview.resize(200, 200);
    overview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&overview));
    Visited("http://a/", 1000, 1000);
    auto focus = [](QWidget* widget) {
        QApplication::setActiveWindow(widget);
        widget->setFocus();
    };
    focus(m_view.get());
    EXPECT_FALSE(overview.IsActivePane());
    focus(&overview);
    EXPECT_TRUE(overview.IsActivePane());
    const QString file = QString::fromStdString(m_home.File("overview.png"));
    ASSERT_TRUE(m_view->ExportOverview(file));
    const QImage written(file, "PNG");
    EXPECT_EQ(written.convertToFormat(QImage::Format_RGB32), overview.RenderOverview());
    EXPECT_EQ(written.size(), QSize(200, 200));
    focus(m_view.get());
    EXPECT_FALSE(overview.IsActivePane());
}

TEST_F(KorvoViewTest, ExportWritesThePngTheRendererDraws) {
    CSite* site = Visited("http://a/", 100, 100);
    Link(*site, "http://b/", 300, 103);
    const QString file = QString::fromStdString(m_home.File("map.png"));

    ASSERT_TRUE(m_view->ExportMap(file, false));
    const QImage written(file, "PNG");

    const CDrawingObjects objects(m_frame->Settings());
    CMapRenderer renderer(Database(), m_frame->CategoryTree(), objects,
                          m_frame->Settings().viewFlags);
    const QImage expected = renderer.RenderImage(CRect{0, 0, 400, 400}, QSize(400, 400));
    ASSERT_EQ(written.size(), QSize(400, 400));
    EXPECT_EQ(written.convertToFormat(QImage::Format_RGB32), expected);

    ASSERT_TRUE(m_view->ExportMap(file, true));
    EXPECT_EQ(QImage(file, "PNG").size(), QSize(2000, 2000));
}

TEST_F(KorvoViewTest, ExportToAnUnwritablePlaceReportsIt) {
    EXPECT_FALSE(m_view->ExportMap(QString::fromStdString(m_home.File("no/such/map.png")), false));
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_NE(m_errors.front().find("no/such/map.png"), std::string::npos);
}

TEST_F(KorvoViewTest, PrintsTheVisiblePartOnOnePage) {
    for (int i = 0; i < 40; ++i)
        Visited("http://site" + std::to_string(i) + "/", 10 * i, 10 * i);
    const QString file = QString::fromStdString(m_home.File("map.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);

    m_view->PrintMap(printer);

    QFile pdf(file);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_EQ(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") +
                  bytes.count("/Type /Page/") + bytes.count("/Type /Page "),
              1);
}

TEST_F(KorvoViewTest, RelaxationExercisesKeepSitesInsideTheWorld) {
    CSite* site = Visited("http://a/", -300, 4000);
    CSite* link = Link(*site, "http://b/", -20, -20);
    bool found = false;
    for (QAction* action : m_view->actions()) {
        if (action->shortcut() ==
            QKeySequence(QString::fromLatin1(CKorvoView::kRelaxationShortcut))) {
            found = true;
            action->trigger();
        }
    }
    EXPECT_TRUE(found);
    EXPECT_GE(site->m_x, 50);
    EXPECT_LE(site->m_y, 1950);
    EXPECT_EQ(link->m_x, -20);
}

TEST_F(KorvoViewTest, FileMenuOffersPrintingAndExportBeforeExit) {
    QStringList texts;
    for (QAction* action : m_frame->FileMenu()->actions())
        texts << action->text();
    const qsizetype print = texts.indexOf(QStringLiteral("&Print..."));
    EXPECT_GE(print, 0);
    EXPECT_GE(texts.indexOf(QStringLiteral("Print Pre&view")), 0);
    EXPECT_GE(texts.indexOf(QStringLiteral("Export Map...")), 0);
    EXPECT_LT(print, texts.indexOf(QStringLiteral("E&xit")));
}

} // namespace
