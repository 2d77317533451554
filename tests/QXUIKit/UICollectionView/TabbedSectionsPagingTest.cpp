// Tab selection and paging of the tabbed-sections layout by calls and by injected
// drags on virtual time: the quarter-width threshold, the first and last tabs, the
// axis decision between the tab pan and the vertical scroll, drags on the header's
// scroll-away part, and each tab's vertical position kept relative to the header.

#include <gtest/gtest.h>

#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "TabbedSectionsSupport.h"

using namespace tabbedtest;
using ui::Point;
using ui::Rect;

namespace {

class TabbedPaging : public TabbedSectionsTest {
protected:
    void SetUp() override {
        TabbedSectionsTest::SetUp();
        window = rt::make<ui::Window>(Rect(0, 0, 320, 480));
        window->makeKeyAndVisible();
        window->addSubview(cv);
        show({2, 20, 20, 20});
    }
    // The application keeps its key window after the test: the collection view leaves it
    // before the data source it reads goes with the fixture.
    void TearDown() override {
        cv->removeFromSuperview();
        window->setHidden(true);
        TabbedSectionsTest::TearDown();
    }
    /// A slow drag from one point of the window to another, then the paging settles.
    void drag(Point from, Point to) {
        ui::TouchInjector(window).drag(from, to, 0.3, 10);
        settle();
    }
    void settle() {
        advance(1);
        drain();
        cv->layoutIfNeeded();
    }
    void select(long section) {
        layout->showSection(section, false);
        settle();
        delegate.selected.clear();
    }
    double offsetY() const { return cv->contentOffset().y; }
    rt::Ref<ui::Window> window;
};

TEST_F(TabbedPaging, ShowingASectionAnnouncesItAndLaysOutAtOnce) {
    EXPECT_EQ(layout->selectedSection(), 1);
    ASSERT_TRUE(layout->panGestureRecognizer());
    EXPECT_EQ(layout->panGestureRecognizer()->view(), cv) << "installed once on the collection view";
    layout->showSection(1, false);
    EXPECT_EQ(delegate.selected, std::vector<long>{1}) << "announced also when already selected";
    layout->showSection(3, false);
    EXPECT_EQ(layout->selectedSection(), 3);
    EXPECT_EQ(delegate.selected, (std::vector<long>{1, 3}));
    EXPECT_FALSE(layout->paging()) << "a change without animation completes at once";
    EXPECT_EQ(cell(3, 0)->frame().origin, (Point{0, 200}));
    EXPECT_EQ(cell(2, 0)->frame().origin.x, -320) << "the neighbours stand one width apart";
}

TEST_F(TabbedPaging, APanPastAQuarterWidthPagesAndLessSpringsBack) {
    select(2);
    drag(Point{100, 300}, Point{180, 300});  // exactly a quarter
    EXPECT_EQ(layout->selectedSection(), 2);
    EXPECT_TRUE(delegate.selected.empty());
    EXPECT_EQ(layout->cDeltaX(), 0);
    drag(Point{100, 300}, Point{190, 300});
    EXPECT_EQ(layout->selectedSection(), 1);
    EXPECT_EQ(delegate.selected, std::vector<long>{1});
    drag(Point{100, 300}, Point{250, 300});
    EXPECT_EQ(layout->selectedSection(), 1) << "nothing before the first tab";
    drag(Point{250, 300}, Point{100, 300});
    EXPECT_EQ(layout->selectedSection(), 2);
    select(3);
    drag(Point{250, 300}, Point{100, 300});
    EXPECT_EQ(layout->selectedSection(), 3) << "nothing after the last tab";
    EXPECT_EQ(layout->tabMarkerOffset(), 0);
    EXPECT_FALSE(layout->paging());
}

TEST_F(TabbedPaging, TheTabsFollowTheFingerAndTheMarkerMirrorsThem) {
    ui::TouchInjector touches(window);
    int finger = touches.down(Point{200, 300});
    for (int i = 1; i <= 8; ++i) {
        ui::TouchInjector::wait(0.02);
        touches.move(finger, Point{200.0 - 10 * i, 300});
    }
    cv->layoutIfNeeded();
    double dx = layout->cDeltaX();
    EXPECT_LT(dx, -40);
    EXPECT_DOUBLE_EQ(layout->tabMarkerOffset(), -dx / 320);
    EXPECT_EQ(cell(1, 0)->frame().origin.x, dx);
    EXPECT_EQ(cell(2, 0)->frame().origin.x, 320 + dx);
    touches.up(finger);
    settle();
    EXPECT_EQ(layout->tabMarkerOffset(), 0);
}

TEST_F(TabbedPaging, AVerticalDragCancelsTheTabPanAndAHorizontalOneKeepsTheScroll) {
    drag(Point{160, 300}, Point{163, 200});
    EXPECT_EQ(layout->cDeltaX(), 0);
    EXPECT_EQ(layout->selectedSection(), 1);
    EXPECT_GT(offsetY(), 0) << "the content scrolled";

    double before = offsetY();
    drag(Point{100, 300}, Point{250, 280});
    EXPECT_EQ(layout->selectedSection(), 1) << "first tab: springs back";
    EXPECT_EQ(offsetY(), before) << "the vertical scroll goes back to where the pan began";
}

TEST_F(TabbedPaging, ADragOnTheHeadersScrollAwayPartLeavesTheTabs) {
    select(2);
    drag(Point{250, 60}, Point{50, 60});
    EXPECT_EQ(layout->selectedSection(), 2);
    EXPECT_TRUE(delegate.selected.empty());
}

TEST_F(TabbedPaging, EachTabKeepsItsPositionRelativeToTheHeadersBottom) {
    scrollTo(300);  // the header is gone; tab 1's top is 100 above the header's bottom
    EXPECT_EQ(layout->vYForHeader(), -200);
    layout->showSection(2, true);
    EXPECT_TRUE(layout->paging());
    settle();
    EXPECT_FALSE(layout->paging());
    EXPECT_EQ(offsetY(), 200) << "a tab never shown starts at the header's bottom";
    EXPECT_EQ(layout->vYFromCY(cell(2, 0)->frame().origin.y), 0);

    layout->showSection(1, true);
    settle();
    EXPECT_EQ(offsetY(), 300);

    // The header comes back while tab 2 is shown; tab 1 keeps its place below it.
    layout->showSection(2, true);
    settle();
    scrollTo(0);
    EXPECT_EQ(layout->vYForHeader(), 0);
    layout->showSection(1, true);
    settle();
    EXPECT_EQ(offsetY(), 100);
    EXPECT_EQ(layout->vYForHeader(), 0) << "restoring does not move the header";
    double tabTopFromHeaderBottom = layout->bYFromCY(cell(1, 0)->frame().origin.y);
    EXPECT_EQ(tabTopFromHeaderBottom, 100);
}

TEST_F(TabbedPaging, ThePanRunsWithRecognizersInsideTheViewAndWaitsForThoseOutside) {
    auto pan = layout->panGestureRecognizer();
    auto inner = rt::make<ui::PanGestureRecognizer>();
    auto content = rt::make<ui::View>(Rect(0, 0, 10, 10));
    cv->addSubview(content);
    content->addGestureRecognizer(inner);
    auto outer = rt::make<ui::PanGestureRecognizer>();
    window->addGestureRecognizer(outer);
    EXPECT_TRUE(layout->gestureRecognizerShouldRecognizeSimultaneously(*pan, *cv->panGestureRecognizer()));
    EXPECT_TRUE(layout->gestureRecognizerShouldRecognizeSimultaneously(*pan, *inner));
    EXPECT_FALSE(layout->gestureRecognizerShouldRecognizeSimultaneously(*pan, *outer));
    EXPECT_TRUE(layout->gestureRecognizerShouldRecognizeSimultaneously(*outer, *pan)) << "another asking: yes";
    EXPECT_TRUE(layout->gestureRecognizerShouldRequireFailureOf(*pan, *outer));
    EXPECT_FALSE(layout->gestureRecognizerShouldRequireFailureOf(*pan, *inner));
    EXPECT_FALSE(layout->gestureRecognizerShouldRequireFailureOf(*outer, *pan));

    // A layout that goes takes its pan with it.
    cv->setCollectionViewLayout(rt::make<ui::CollectionViewFlowLayout>());
    rt::Weak<ui::PanGestureRecognizer> weakPan = pan;
    pan.reset();
    layout.reset();
    EXPECT_FALSE(weakPan.lock());
}

}  // namespace
