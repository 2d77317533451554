// The shrinking header by injected drags over a real scroll view: the header and the
// content sharing the finger's movement, the snap at release, equal minimum and
// maximum sizes, and the scroll view chosen under the finger.

#include <gtest/gtest.h>

#include <VirtualTime.h>
#include <ui/CollectionView.h>
#include <ui/TableView.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "QXUIKit/ShrinkingHeader/QXShrinkingHeaderView.h"

using namespace zid;
using ui::Point;
using ui::Rect;

namespace {

class ShrinkingHeader : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<ui::Window>(Rect(0, 0, 320, 480));
        window->makeKeyAndVisible();
        view = rt::make<QXShrinkingHeaderView>(Rect(0, 0, 320, 480));
        window->addSubview(view);
        header = rt::make<ui::View>();
        scroll = rt::make<ui::ScrollView>();
        scroll->setContentSize(ui::Size(320, 1000));
        view->setHeaderView(header);
        view->setContentView(scroll);
        ui::runLayoutPass();
    }
    /// A slow vertical drag by dy from the middle of the content.
    void pull(double dy) {
        ui::TouchInjector(window).drag(Point{160, 240}, Point{160, 240 + dy}, 0.3, 10);
    }
    double headerHeight() const { return header->frame().size.height; }
    double scrolled() const { return scroll->contentOffset().y; }

    rt::Ref<ui::Window> window;
    rt::Ref<QXShrinkingHeaderView> view;
    rt::Ref<ui::View> header;
    rt::Ref<ui::ScrollView> scroll;
};

}  // namespace

TEST_F(ShrinkingHeader, ANewViewShowsAFullHeaderAboveTheContent) {
    EXPECT_EQ(header->frame(), Rect(0, 0, 320, 120));
    EXPECT_EQ(scroll->frame(), Rect(0, 120, 320, 360));
    view->setProgress(1.5);
    EXPECT_EQ(headerHeight(), 160) << "applied unclamped";
}

TEST_F(ShrinkingHeader, PullingDownScrollsTheContentBackBeforeTheHeaderGrows) {
    view->setProgress(0);
    scroll->setContentOffset(Point{0, 100});
    pull(50);
    EXPECT_EQ(headerHeight(), 40);
    EXPECT_EQ(scrolled(), 50);
    EXPECT_FALSE(view->isDragging());
    advance(0.31);
    drain();
    EXPECT_EQ(headerHeight(), 40) << "no change in height, no snap";

    scroll->setContentOffset(Point{0, 100});
    ui::TouchInjector touches(window);
    int finger = touches.down(Point{160, 200});
    for (int i = 1; i <= 10; ++i) {
        ui::TouchInjector::wait(ui::TouchInjector::kStep);
        touches.move(finger, Point{160, 200 + 15.0 * i});
    }
    EXPECT_TRUE(view->isDragging());
    EXPECT_EQ(scrolled(), 0);
    EXPECT_EQ(headerHeight(), 90);
    EXPECT_DOUBLE_EQ(view->progress(), 0.625);
    touches.up(finger);
    EXPECT_EQ(view->progress(), 1) << "it grew: it opens fully";
    advance(0.15);
    double mid = header->presentedFrame().size.height;
    EXPECT_GT(mid, 90);
    EXPECT_LT(mid, 120);
    advance(0.2);
    drain();
    EXPECT_EQ(header->presentedFrame().size.height, 120);
}

TEST_F(ShrinkingHeader, PushingUpShrinksTheHeaderThenScrolls) {
    pull(-100);
    EXPECT_EQ(view->progress(), 0) << "it shrank: it closes";
    EXPECT_EQ(headerHeight(), 40);
    EXPECT_EQ(scrolled(), 20);
    EXPECT_EQ(scroll->frame(), Rect(0, 40, 320, 440));

    view->setProgress(1);
    scroll->setContentOffset(Point{0, 0});
    view->setCanShrink(false);
    pull(-100);
    EXPECT_EQ(headerHeight(), 120);
    EXPECT_EQ(scrolled(), 100) << "the content takes the whole movement";
}

TEST_F(ShrinkingHeader, EqualSizesLeaveTheHeaderAndOnlyScroll) {
    view->setMinHeaderSize(80);
    view->setMaxHeaderSize(80);
    ui::runLayoutPass();
    scroll->setContentOffset(Point{0, 200});
    pull(-60);
    EXPECT_EQ(headerHeight(), 80);
    EXPECT_EQ(view->progress(), 1);
    EXPECT_EQ(scrolled(), 260);
    EXPECT_EQ(scroll->frame(), Rect(0, 80, 320, 400));
}

TEST_F(ShrinkingHeader, ThePanDrivesTheNearestScrollViewThatScrollsVertically) {
    // A row that scrolls only sideways, inside the tall scroll view.
    auto row = rt::make<ui::ScrollView>(Rect(0, 0, 320, 100));
    row->setContentSize(ui::Size(1000, 100));
    scroll->addSubview(row);
    EXPECT_EQ(view->scrollViewAtPoint(Point{160, 150}), scroll);
    EXPECT_EQ(view->scrollViewAtPoint(Point{160, 300}), scroll);
    EXPECT_EQ(view->scrollViewAtPoint(Point{160, 60}), nullptr) << "the header is no scroll view";
    scroll->setContentSize(ui::Size(320, 300));
    EXPECT_EQ(view->scrollViewAtPoint(Point{160, 150}), nullptr) << "content no taller than itself";

    // Without a caught scroll view the pan still moves the header.
    pull(-50);
    EXPECT_EQ(view->catchedScrollView(), nullptr);
    EXPECT_EQ(headerHeight(), 40);
    EXPECT_EQ(scrolled(), 0);
}

TEST_F(ShrinkingHeader, OnlyTheCaughtScrollViewsPanRunsAlongside) {
    auto& pan = *view->gestureRecognizer();
    auto tap = rt::make<ui::TapGestureRecognizer>();
    EXPECT_TRUE(view->gestureRecognizerShouldRecognizeSimultaneously(pan, *tap)) << "nothing caught: any";
    EXPECT_FALSE(view->gestureRecognizerShouldRequireFailureOf(pan, *tap));
    pull(-10);
    ASSERT_EQ(view->catchedScrollView(), scroll);
    EXPECT_TRUE(view->gestureRecognizerShouldRecognizeSimultaneously(pan, *scroll->panGestureRecognizer()));
    EXPECT_FALSE(view->gestureRecognizerShouldRecognizeSimultaneously(pan, *tap));
    EXPECT_FALSE(view->gestureRecognizerShouldRequireFailureOf(pan, *scroll->panGestureRecognizer()));
    EXPECT_TRUE(view->gestureRecognizerShouldRequireFailureOf(pan, *tap));
}

TEST_F(ShrinkingHeader, ShortTablesAndCollectionViewsAreCaughtToo) {
    scroll->setContentSize(ui::Size(320, 100));
    auto table = rt::make<ui::TableView>(Rect(0, 0, 320, 100));
    scroll->addSubview(table);
    auto grid = rt::make<ui::CollectionView>(Rect(0, 200, 320, 100), rt::make<ui::CollectionViewLayout>());
    scroll->addSubview(grid);
    ui::runLayoutPass();
    // Header of 120: the table spans 120 to 220, the collection view 320 to 420.
    EXPECT_EQ(view->scrollViewAtPoint(Point{160, 150}), table);
    EXPECT_EQ(view->scrollViewAtPoint(Point{160, 350}), grid);
    EXPECT_EQ(view->scrollViewAtPoint(Point{160, 260}), nullptr) << "the short plain scroll view is passed over";
}

TEST_F(ShrinkingHeader, ACancelledPanEndsTheDragLikeARelease) {
    ui::TouchInjector touches(window);
    int finger = touches.down(Point{160, 240});
    for (int i = 1; i <= 10; ++i) {
        ui::TouchInjector::wait(ui::TouchInjector::kStep);
        touches.move(finger, Point{160, 240 - 3.0 * i});
    }
    ASSERT_TRUE(view->isDragging());
    EXPECT_EQ(headerHeight(), 90);
    touches.cancel(finger);
    EXPECT_FALSE(view->isDragging());
    EXPECT_EQ(view->progress(), 0) << "it shrank: it snaps closed";
    advance(0.31);
    drain();
    EXPECT_EQ(header->presentedFrame().size.height, 40);
}
