// The after-layout step on any view, and scroll views that let a drag pull the content
// past its edges and ease it back.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <VirtualTime.h>
#include <ui/ScrollView.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

using namespace ui;

namespace {

class CountingScrollView : public ScrollView {
    RT_CLASS(CountingScrollView, ScrollView)
public:
    using ScrollView::ScrollView;
    void layoutSubviews() override {
        ScrollView::layoutSubviews();
        log->push_back("layout");
    }
    std::vector<std::string>* log = nullptr;
};

class AfterLayoutHook : public zidtest::VirtualTimeTest {};

}  // namespace

TEST_F(AfterLayoutHook, RunsOnceOnTheNextTurnAfterEachPassOfAnyViewClass) {
    std::vector<std::string> log;
    auto view = rt::make<CountingScrollView>(Rect(0, 0, 100, 100));
    view->log = &log;
    view->setContentSize(Size(100, 500));
    std::vector<double> seen;
    view->setAfterLayoutHook([&](View& v) {
        log.push_back("step");
        seen.push_back(static_cast<ScrollView&>(v).contentOffset().y);
    });
    EXPECT_EQ(view->className(), "CountingScrollView") << "the class stays as it was";

    view->setContentOffset(Point{0, 10});  // a scroll marks the scroll view for layout
    view->setContentOffset(Point{0, 30});
    runLayoutPass();
    EXPECT_EQ(log, (std::vector<std::string>{"layout"})) << "the step waits for the next turn";
    drain();
    EXPECT_EQ(log, (std::vector<std::string>{"layout", "step"}));
    EXPECT_EQ(seen, (std::vector<double>{30}));
    drain();
    EXPECT_EQ(log.size(), 2u) << "once per pass";

    view->setAfterLayoutHook({});
    view->setContentOffset(Point{0, 40});
    runLayoutPass();
    drain();
    EXPECT_EQ(log.back(), "layout");
}

TEST_F(AfterLayoutHook, ABouncingScrollViewFollowsTheFingerPastTheTopAndEasesBack) {
    auto window = rt::make<Window>(Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto s = rt::make<ScrollView>(Rect(0, 0, 320, 480));
    s->setContentSize(Size(320, 1000));
    window->addSubview(s);
    TouchInjector touches(window);
    touches.drag(Point{160, 100}, Point{160, 160});
    EXPECT_EQ(s->contentOffset().y, 0) << "held at the edge by default";

    s->setAlwaysBounceVertical(true);
    touches.drag(Point{160, 100}, Point{160, 160});
    EXPECT_EQ(s->contentOffset().y, -60) << "still where the finger left it";
    EXPECT_TRUE(s->isBouncing());
    advance(1.0 / 60);
    double first = s->contentOffset().y;
    EXPECT_GT(first, -60);
    EXPECT_LT(first, 0);
    // An inset widened meanwhile is where the content comes to rest.
    s->setContentInset(EdgeInsets(20, 0, 0, 0));
    for (int i = 0; i < 40; ++i) advance(1.0 / 60);
    EXPECT_EQ(s->contentOffset().y, -20);
    EXPECT_FALSE(s->isBouncing());
    EXPECT_EQ(s->contentOffset().x, 0);
}
