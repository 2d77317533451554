// Gesture recognizers fed by injected touches on virtual time: taps waiting for a
// double tap's failure, long presses, pans, swipes, cancelling the view's touches,
// enabling and the delegate.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <VirtualTime.h>
#include <ui/GestureRecognizer.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

using namespace ui;

namespace {

class TouchLog : public View {
    RT_CLASS(TouchLog, View)
public:
    using View::View;
    void touchesBegan(const TouchSet&) override { log.push_back("began"); }
    void touchesMoved(const TouchSet&) override { log.push_back("moved"); }
    void touchesEnded(const TouchSet&) override { log.push_back("ended"); }
    void touchesCancelled(const TouchSet&) override { log.push_back("cancelled"); }
    std::vector<std::string> log;
};

class GestureTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<Window>(Rect(0, 0, 400, 400));
        view = rt::make<TouchLog>(Rect(50, 50, 200, 200));
        window->addSubview(view);
    }
    template <class R> rt::Ref<R> add(std::vector<std::string>& journal, const std::string& name) {
        auto r = rt::make<R>();
        r->addTarget(nullptr, name, [&journal, name](GestureRecognizer& g) {
            journal.push_back(name + ":" + std::to_string(int(g.state())));
        });
        view->addGestureRecognizer(r);
        return r;
    }
    rt::Ref<Window> window;
    rt::Ref<TouchLog> view;
};

TEST_F(GestureTest, SingleTapWaitsForTheDoubleTapToFailOnTheRunLoopClock) {
    std::vector<std::string> journal;
    auto single = add<TapGestureRecognizer>(journal, "single");
    auto dbl = add<TapGestureRecognizer>(journal, "double");
    dbl->setNumberOfTapsRequired(2);
    single->requireGestureRecognizerToFail(dbl);
    TouchInjector in(window);
    in.tap(Point{100, 100});
    EXPECT_TRUE(journal.empty());  // still waiting for a second tap
    advance(TapGestureRecognizer::kTapInterval - 0.01);
    EXPECT_TRUE(journal.empty());
    advance(0.02);
    EXPECT_EQ(journal, (std::vector<std::string>{"single:3"}));
    EXPECT_EQ(single->state(), GestureState::Possible);  // reset for the next gesture

    journal.clear();
    in.wait(1);
    in.doubleTap(Point{100, 100});
    advance(1);
    EXPECT_EQ(journal, (std::vector<std::string>{"double:3"}));
}

TEST_F(GestureTest, RecognizedTapCancelsTheViewsTouchUnlessToldNotTo) {
    std::vector<std::string> journal;
    auto tap = add<TapGestureRecognizer>(journal, "tap");
    TouchInjector in(window);
    in.tap(Point{100, 100});
    EXPECT_EQ(view->log, (std::vector<std::string>{"began", "cancelled"}));
    view->log.clear();
    tap->setCancelsTouchesInView(false);
    in.wait(1);
    in.tap(Point{100, 100});
    EXPECT_EQ(view->log, (std::vector<std::string>{"began", "ended"}));
    EXPECT_EQ(journal.size(), 2u);
}

TEST_F(GestureTest, TapFailsWhenTheFingerWanders) {
    std::vector<std::string> journal;
    add<TapGestureRecognizer>(journal, "tap");
    TouchInjector in(window);
    in.drag(Point{100, 100}, Point{160, 100});
    EXPECT_TRUE(journal.empty());
    EXPECT_EQ(view->log.back(), "ended");
}

TEST_F(GestureTest, PanReportsTranslationAndVelocityInTheView) {
    std::vector<std::string> journal;
    auto pan = add<PanGestureRecognizer>(journal, "pan");
    std::vector<Point> translations;
    pan->addTarget(nullptr, "t", [&](GestureRecognizer& g) {
        translations.push_back(static_cast<PanGestureRecognizer&>(g).translationInView(view.get()));
    });
    view->setTransform(transformMakeScale(2, 2));  // view points are half a window point
    TouchInjector in(window);
    int f = in.down(Point{150, 150});
    in.wait(0.1);
    in.move(f, Point{155, 150});  // under the hysteresis
    EXPECT_EQ(pan->state(), GestureState::Possible);
    in.wait(0.1);
    in.move(f, Point{170, 150});
    EXPECT_EQ(pan->state(), GestureState::Began);
    in.wait(0.1);
    in.move(f, Point{190, 170});
    Point v = pan->velocityInView(nullptr);
    EXPECT_NEAR(v.x, 200, 1e-6);
    EXPECT_NEAR(v.y, 200, 1e-6);
    in.up(f);
    ASSERT_EQ(translations.size(), 3u);
    EXPECT_NEAR(translations[0].x, 10, 1e-9);  // 20 window points
    EXPECT_NEAR(translations[2].x, 20, 1e-9);
    EXPECT_NEAR(translations[2].y, 10, 1e-9);
    EXPECT_EQ(journal, (std::vector<std::string>{"pan:1", "pan:2", "pan:3"}));
    EXPECT_EQ(view->log, (std::vector<std::string>{"began", "moved", "cancelled"}));
}

TEST_F(GestureTest, SwipeRecognizesOnlyItsDirections) {
    std::vector<std::string> journal;
    auto left = add<SwipeGestureRecognizer>(journal, "left");
    left->setDirection(SwipeDirection::Left);
    auto right = add<SwipeGestureRecognizer>(journal, "right");
    right->setDirection(SwipeDirection::Right);
    TouchInjector in(window);
    in.swipe(Point{200, 150}, Point{100, 150});
    EXPECT_EQ(journal, (std::vector<std::string>{"left:3"}));
    in.wait(1);
    in.drag(Point{100, 150}, Point{200, 150}, 2.0, 10);  // too slow for a swipe
    EXPECT_EQ(journal.size(), 1u);
}

TEST_F(GestureTest, LongPressBeginsAfterItsDurationOnVirtualTime) {
    std::vector<std::string> journal;
    auto press = add<LongPressGestureRecognizer>(journal, "press");
    TouchInjector in(window);
    int f = in.down(Point{100, 100});
    advance(0.49);
    EXPECT_TRUE(journal.empty());
    advance(0.02);
    EXPECT_EQ(journal, (std::vector<std::string>{"press:1"}));
    in.move(f, Point{140, 100});
    in.up(f);
    EXPECT_EQ(journal, (std::vector<std::string>{"press:1", "press:2", "press:3"}));
    journal.clear();
    in.tap(Point{100, 100});
    advance(1);
    EXPECT_TRUE(journal.empty());
    (void)press;
}

TEST_F(GestureTest, DisablingAPanInProgressCancelsIt) {
    std::vector<std::string> journal;
    auto pan = add<PanGestureRecognizer>(journal, "pan");
    TouchInjector in(window);
    int f = in.down(Point{100, 100});
    in.move(f, Point{130, 100});
    pan->setEnabled(false);
    in.move(f, Point{160, 100});
    in.up(f);
    EXPECT_EQ(journal, (std::vector<std::string>{"pan:1", "pan:4"}));
}

struct Refuser : GestureRecognizerDelegate {
    bool begin = true;
    bool receive = true;
    bool simultaneous = false;
    bool gestureRecognizerShouldBegin(GestureRecognizer&) override { return begin; }
    bool gestureRecognizerShouldReceiveTouch(GestureRecognizer&, Touch&) override { return receive; }
    bool gestureRecognizerShouldRecognizeSimultaneously(GestureRecognizer&, GestureRecognizer&) override {
        return simultaneous;
    }
};

TEST_F(GestureTest, DelegateDecidesBeginningReceivingAndSimultaneity) {
    std::vector<std::string> journal;
    auto a = add<TapGestureRecognizer>(journal, "a");
    auto b = add<TapGestureRecognizer>(journal, "b");
    Refuser d;
    a->setDelegate(&d);
    TouchInjector in(window);
    in.tap(Point{100, 100});
    EXPECT_EQ(journal, (std::vector<std::string>{"a:3"}));  // b lost to a
    journal.clear();
    d.simultaneous = true;
    in.wait(1);
    in.tap(Point{100, 100});
    EXPECT_EQ(journal, (std::vector<std::string>{"a:3", "b:3"}));
    journal.clear();
    d.begin = false;
    in.wait(1);
    in.tap(Point{100, 100});
    EXPECT_EQ(journal, (std::vector<std::string>{"b:3"}));
    journal.clear();
    d.begin = true;
    d.receive = false;
    in.wait(1);
    in.tap(Point{100, 100});
    EXPECT_EQ(journal, (std::vector<std::string>{"b:3"}));
    a->setDelegate(nullptr);
}

TEST_F(GestureTest, RecognizersOfAncestorsSeeTouchesOfSubviews) {
    std::vector<std::string> journal;
    auto r = rt::make<TapGestureRecognizer>();
    r->addTarget(nullptr, "w", [&](GestureRecognizer& g) {
        Point p = g.locationInView(view.get());
        journal.push_back(std::to_string(int(p.x)) + "," + std::to_string(int(p.y)));
    });
    window->addGestureRecognizer(r);
    TouchInjector in(window);
    in.tap(Point{100, 120});
    EXPECT_EQ(journal, (std::vector<std::string>{"50,70"}));
    window->removeGestureRecognizer(r);
    EXPECT_FALSE(r->view());
}

TEST_F(GestureTest, EdgePanBeginsOnlyNearItsEdge) {
    auto edge = rt::make<ScreenEdgePanGestureRecognizer>();
    edge->setEdges(RectEdges::Left);
    int began = 0;
    edge->addTarget(nullptr, "e", [&](GestureRecognizer& g) { began += g.state() == GestureState::Began; });
    window->addGestureRecognizer(edge);
    TouchInjector in(window);
    in.drag(Point{5, 200}, Point{100, 200});
    EXPECT_EQ(began, 1);
    in.drag(Point{150, 300}, Point{300, 300});
    EXPECT_EQ(began, 1);
}

}  // namespace
