// Pull-to-refresh by injected drags on a real scroll view: the threshold at release,
// a held pull, the refresh's inset and delegate call, finishing, the top layout guide,
// the icon following the pull, the host's own insets, a delegate that is gone, and a
// picture of the indicator half pulled.

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include <TestPaths.h>
#include <VirtualTime.h>
#include <ui/Animation.h>
#include <ui/Renderer.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "QXUIKit/PullToRefresh/ScrollViewPullToRefresh.h"

using namespace zid;
using ui::Point;
using ui::Rect;

namespace {

class Owner : public rt::Object, public PullToRefreshDelegate {
    RT_CLASS(Owner, rt::Object)
public:
    void requestRefresh(ui::ScrollView& scrollView) override {
        ++requests;
        stateWhenAsked = pullToRefreshState(scrollView);
    }
    int requests = 0;
    unsigned stateWhenAsked = 0;
};

class PullToRefresh : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<ui::Window>(Rect(0, 0, 320, 480));
        window->makeKeyAndVisible();
        scroll = rt::make<ui::ScrollView>(Rect(0, 0, 320, 480));
        scroll->setContentSize(ui::Size(320, 1000));
        window->addSubview(scroll);
        indicator = PullToRefreshView::createDefaultPullToRefreshView();
        setPullToRefreshView(*scroll, indicator);
        owner = rt::make<Owner>();
        setPullToRefreshDelegate(*scroll, owner);
    }
    /// A pull by dy points, released.
    void pullAndRelease(double dy) {
        ui::TouchInjector(window).drag(Point{160, 100}, Point{160, 100 + dy}, 0.3, 10);
        drain();
    }
    void settle() {
        for (int i = 0; i < 40; ++i) {
            advance(1.0 / 60);
            drain();
        }
    }
    rt::Ref<ui::Window> window;
    rt::Ref<ui::ScrollView> scroll;
    rt::Ref<PullToRefreshView> indicator;
    rt::Ref<Owner> owner;
};

}  // namespace

TEST_F(PullToRefresh, TheIndicatorSitsJustAboveTheContent) {
    EXPECT_EQ(indicator->frame(), Rect(0, -62, 320, 62));
    EXPECT_EQ(indicator->superview(), scroll);
    ASSERT_NE(indicator->actionImage(), nullptr);
    EXPECT_EQ(indicator->actionImageView()->center(), (Point{160, 31}));

    // A second indicator replaces the first.
    auto second = rt::make<PullToRefreshView>(Rect(0, 0, 100, 40));
    setPullToRefreshView(*scroll, second);
    EXPECT_EQ(indicator->superview(), nullptr);
    EXPECT_EQ(second->frame(), Rect(0, -40, 320, 40));
    setPullToRefreshView(*scroll, nullptr);
    EXPECT_EQ(second->superview(), nullptr);
    pullAndRelease(100);
    EXPECT_EQ(owner->requests, 0) << "without an indicator the steps do nothing";
}

TEST_F(PullToRefresh, AReleaseAtTheThresholdRefreshesAndJustShortOfItDoesNot) {
    pullAndRelease(46);
    EXPECT_EQ(owner->requests, 0);
    EXPECT_EQ(pullToRefreshState(*scroll), PullToRefreshState::Idle);
    settle();
    EXPECT_EQ(scroll->contentOffset().y, 0) << "the content eases back to its top";

    pullAndRelease(46.5);  // 0.75 x 62
    EXPECT_EQ(owner->requests, 1);
    EXPECT_EQ(owner->stateWhenAsked, PullToRefreshState::Refreshing);
    EXPECT_TRUE(indicator->isRefreshing());
    EXPECT_TRUE(ui::isAnimating(*indicator->actionImageView())) << "the icon spins";
    EXPECT_EQ(scroll->contentInset().top, 62);
    settle();
    EXPECT_EQ(scroll->contentOffset().y, -46.5) << "inside the widened inset the content stays";
    EXPECT_EQ(owner->requests, 1) << "asked once";

    pullAndRelease(120);
    EXPECT_EQ(owner->requests, 1) << "no second refresh while one runs";

    finishRefresh(*scroll);
    EXPECT_EQ(pullToRefreshState(*scroll), PullToRefreshState::Idle);
    EXPECT_FALSE(indicator->isRefreshing());
    EXPECT_FALSE(ui::isAnimating(*indicator->actionImageView()) && indicator->isRefreshing());
    EXPECT_EQ(scroll->contentInset().top, 0);
    settle();
    EXPECT_EQ(scroll->contentOffset().y, 0);
}

TEST_F(PullToRefresh, AHeldPullNeverRefreshes) {
    ui::TouchInjector touches(window);
    int finger = touches.down(Point{160, 100});
    for (int i = 1; i <= 10; ++i) {
        ui::TouchInjector::wait(ui::TouchInjector::kStep);
        touches.move(finger, Point{160, 100 + 20.0 * i});
    }
    ui::TouchInjector::wait(1);
    drain();
    EXPECT_EQ(scroll->contentOffset().y, -200);
    EXPECT_EQ(owner->requests, 0);
    EXPECT_EQ(indicator->actionImageView()->alpha(), 1);
    touches.up(finger);
    drain();
    EXPECT_EQ(owner->requests, 1);
    settle();
    EXPECT_EQ(scroll->contentOffset().y, -62) << "the content comes to rest just below the indicator";
}

TEST_F(PullToRefresh, FinishingWhileIdleChangesNothing) {
    scroll->setContentInset(ui::EdgeInsets(10, 0, 0, 0));
    finishRefresh(*scroll);
    commitRefresh(*scroll);
    cancelRefresh(*scroll);
    EXPECT_EQ(scroll->contentInset().top, 10);
}

TEST_F(PullToRefresh, TheTopLayoutGuideMovesTheRestAndTheThreshold) {
    setTopLayoutGuide(*scroll, 64);
    EXPECT_EQ(scroll->contentInset().top, 64);
    EXPECT_EQ(topLayoutGuide(*scroll), 64);
    scroll->setContentOffset(Point{0, -64});
    pullAndRelease(46);  // to -110, short of -110.5
    EXPECT_EQ(owner->requests, 0);
    settle();
    pullAndRelease(46.5);
    EXPECT_EQ(owner->requests, 1);
    EXPECT_EQ(scroll->contentInset().top, 126);
    cancelRefresh(*scroll);
    EXPECT_EQ(scroll->contentInset().top, 64);
}

TEST_F(PullToRefresh, TheHostsOtherInsetsAreKept) {
    scroll->setContentInset(ui::EdgeInsets(0, 5, 44, 7));
    setTopLayoutGuide(*scroll, 20);
    EXPECT_EQ(scroll->contentInset(), ui::EdgeInsets(20, 5, 44, 7));
    scroll->setContentOffset(Point{0, -20});
    pullAndRelease(60);
    ASSERT_EQ(owner->requests, 1);
    EXPECT_EQ(scroll->contentInset(), ui::EdgeInsets(82, 5, 44, 7));
    finishRefresh(*scroll);
    EXPECT_EQ(scroll->contentInset(), ui::EdgeInsets(20, 5, 44, 7));
}

TEST_F(PullToRefresh, TheIconFadesInAndTurnsWithThePull) {
    indicator->updateContentOffset(Point{0, -26.8});
    EXPECT_NEAR(indicator->actionImageView()->alpha(), 0.5, 1e-9);
    indicator->updateContentOffset(Point{0, -53.6});
    EXPECT_NEAR(indicator->actionImageView()->alpha(), 1, 1e-9) << "fully opaque at 0.8 x (62 + 5)";
    // Two steps forward while the content moved down, one back as it moves up.
    ui::AffineTransform t = indicator->actionImageView()->transform();
    EXPECT_NEAR(std::atan2(t.b, t.a), 2 * std::numbers::pi / 15, 1e-9);
    indicator->updateContentOffset(Point{0, -40});
    t = indicator->actionImageView()->transform();
    EXPECT_NEAR(std::atan2(t.b, t.a), std::numbers::pi / 15, 1e-9);
    EXPECT_EQ(indicator->currentVerticalOffset(), -40);
}

TEST_F(PullToRefresh, ADelegateThatIsGoneIsNotAsked) {
    owner.reset();
    EXPECT_EQ(pullToRefreshDelegate(*scroll), nullptr);
    pullAndRelease(80);
    EXPECT_EQ(pullToRefreshState(*scroll), PullToRefreshState::Refreshing);
}

TEST_F(PullToRefresh, Picture) {
    auto small = rt::make<ui::ScrollView>(Rect(0, 0, 320, 160));
    small->setContentSize(ui::Size(320, 400));
    auto content = rt::make<ui::View>(Rect(0, 0, 320, 400));
    content->setBackgroundColor(ui::Color::white(0.93, 1));
    small->addSubview(content);
    window->addSubview(small);
    auto view = PullToRefreshView::createDefaultPullToRefreshView();
    view->setBackgroundColor(ui::Color::whiteColor());
    setPullToRefreshView(*small, view);
    ui::TouchInjector touches(window);
    int finger = touches.down(Point{160, 40});
    for (int i = 1; i <= 4; ++i) {
        ui::TouchInjector::wait(ui::TouchInjector::kStep);
        touches.move(finger, Point{160, 40 + 8.0 * i});
    }
    drain();
    EXPECT_EQ(small->contentOffset().y, -32);
    EXPECT_MATCHES_GOLDEN(*ui::renderToImage(*small, 2), zidtest::testPath("golden"), "pull_to_refresh_half");
    touches.cancel(finger);
}
