// Control, bar button and gesture signals, all driven by injected touches: one cached
// signal per configuration, recognizers that come and go with their signals, replay
// rules, and a bar button item whose own action keeps working.

#include <vector>

#include <gtest/gtest.h>

#include <RuzEzo/Interface/FKActionSignal.h>
#include <VirtualTime.h>
#include <ui/NavigationController.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

using namespace zid;
using namespace ui;

namespace {

class InterfaceSignalTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<Window>(Rect(0, 0, 320, 480));
        view = rt::make<View>(Rect(0, 100, 320, 200));
        window->addSubview(view);
        button = Button::buttonWithType(ButtonType::Custom);
        button->setFrame(Rect(10, 10, 80, 40));
        window->addSubview(button);
    }
    rt::Ref<Window> window;
    rt::Ref<View> view;
    rt::Ref<Button> button;
};

TEST_F(InterfaceSignalTest, ControlSignalsAreCachedPerMaskAndFireOnlyForTheirEvents) {
    auto up = signalForEvents(*button, ControlEvents::TouchUpInside);
    EXPECT_EQ(signalForEvents(*button, ControlEvents::TouchUpInside), up);
    auto down = signalForEvents(*button, ControlEvents::TouchDown);
    EXPECT_NE(up, down);
    int ups = 0, downs = 0;
    rt::Value sent;
    up->addValueHandler([&](const rt::Value& v) { ++ups; sent = v; });
    down->addValueHandler([&](const rt::Value&) { ++downs; });
    TouchInjector in(window);
    in.tap(Point{50, 30});
    in.wait(1);
    in.tap(Point{50, 30});  // the same event again reaches the handlers again
    EXPECT_EQ(ups, 2);
    EXPECT_EQ(downs, 2);
    EXPECT_EQ(sent.as<Button>(), button);
    // Events are not kept: a late handler hears only the next touch.
    int late = 0;
    up->addValueHandler([&](const rt::Value&) { ++late; });
    EXPECT_EQ(late, 0);
    in.wait(1);
    in.tap(Point{50, 30});
    EXPECT_EQ(late, 1);
}

TEST_F(InterfaceSignalTest, FreedActionSignalLeavesItsControl) {
    std::size_t before = button->numberOfActions();
    {
        auto s = signalForEvents(*button, ControlEvents::TouchUpInside);
        EXPECT_EQ(button->numberOfActions(), before + 1);
    }
    EXPECT_EQ(button->numberOfActions(), before);
}

TEST_F(InterfaceSignalTest, TapSignalSharesOneRecognizerWhileHeldAndReplaysTheLastTap) {
    auto tap = singleTapSignal(*view);
    EXPECT_EQ(singleTapSignal(*view), tap);
    EXPECT_EQ(view->gestureRecognizers().size(), 1u);
    TouchInjector in(window);
    in.tap(Point{100, 200});
    int late = 0;
    rt::Value got;
    tap->addValueHandler([&](const rt::Value& v) { ++late; got = v; });
    EXPECT_EQ(late, 1);  // the recognized tap is kept and replayed
    EXPECT_EQ(got.as<GestureRecognizer>(), view->gestureRecognizers().front());
    tap.reset();
    EXPECT_TRUE(view->gestureRecognizers().empty());
    auto again = singleTapSignal(*view);
    EXPECT_EQ(view->gestureRecognizers().size(), 1u);
}

TEST_F(InterfaceSignalTest, DoubleTapPanAndSwipeSignalsFollowTheirGestures) {
    auto dbl = doubleTapSignal(*view);
    auto pan = panGestureSignal(*view);
    auto left = leftSwipeSignal(*view);
    std::vector<int> panStates;
    int doubles = 0, swipes = 0;
    dbl->addValueHandler([&](const rt::Value&) { ++doubles; });
    pan->addValueHandler([&](const rt::Value& v) { panStates.push_back(int(v.as<GestureRecognizer>()->state())); });
    left->addValueHandler([&](const rt::Value&) { ++swipes; });
    TouchInjector in(window);
    in.doubleTap(Point{100, 200});
    EXPECT_EQ(doubles, 1);
    in.wait(1);
    in.drag(Point{100, 200}, Point{200, 200}, 1.0, 10);
    EXPECT_EQ(panStates.front(), int(GestureState::Began));
    EXPECT_EQ(panStates.back(), int(GestureState::Ended));
    auto swipe = swipeSignal(*view, SwipeDirection::Left, 1);
    EXPECT_EQ(swipe, left);
    pan.reset();  // the pan would take the swipe's stroke
    in.wait(1);
    in.swipe(Point{250, 200}, Point{100, 200});
    EXPECT_EQ(swipes, 1);
}

TEST_F(InterfaceSignalTest, GestureSignalsAreKeptPerKindAndSettingsWithTheirRecognizerSetUp) {
    auto recognizerOf = [](const FKSignalRef& s) {
        auto gesture = std::dynamic_pointer_cast<FKGestureSignal>(s);
        return gesture ? gesture->gestureRecognizer() : nullptr;
    };
    auto twoFingers = tapSignal(*view, 3, 2);
    EXPECT_EQ(tapSignal(*view, 3, 2), twoFingers);
    EXPECT_NE(singleTapSignal(*view), twoFingers);
    auto tap = std::dynamic_pointer_cast<TapGestureRecognizer>(recognizerOf(twoFingers));
    ASSERT_TRUE(tap);
    EXPECT_EQ(tap->numberOfTapsRequired(), 3);
    EXPECT_EQ(tap->numberOfTouchesRequired(), 2);

    auto pan = std::dynamic_pointer_cast<PanGestureRecognizer>(recognizerOf(panGestureSignal(*view, 2, 4)));
    ASSERT_TRUE(pan);
    EXPECT_EQ(pan->minimumNumberOfTouches(), 2);
    EXPECT_EQ(pan->maximumNumberOfTouches(), 4);

    auto up = upSwipeSignal(*view);
    EXPECT_NE(downSwipeSignal(*view), up);
    auto swipe = std::dynamic_pointer_cast<SwipeGestureRecognizer>(recognizerOf(swipeSignal(*view, SwipeDirection::Up, 3)));
    ASSERT_TRUE(swipe);
    EXPECT_EQ(swipe->direction(), SwipeDirection::Up);
    EXPECT_EQ(swipe->numberOfTouchesRequired(), 3);
    EXPECT_EQ(recognizerOf(up)->view(), view);
}

TEST_F(InterfaceSignalTest, RecognizerDateSignalSendsEveryRecognition) {
    auto r = rt::make<TapGestureRecognizer>();
    view->addGestureRecognizer(r);
    auto s = actionSignal(*r);
    EXPECT_EQ(actionSignal(*r), s);
    int n = 0;
    s->addValueHandler([&](const rt::Value&) { ++n; });
    TouchInjector in(window);
    in.tap(Point{100, 200});
    in.wait(1);
    in.tap(Point{100, 200});
    EXPECT_EQ(n, 2);
}

TEST_F(InterfaceSignalTest, BarButtonSignalChainsTheHostsActionAndGivesItBack) {
    auto root = rt::make<ViewController>();
    auto item = rt::make<BarButtonItem>("Share", BarButtonItemStyle::Plain);
    auto host = rt::make<rt::Object>();
    int hostPresses = 0;
    item->setTarget(host);
    item->setAction("share", [&](const rt::Ref<BarButtonItem>&) { ++hostPresses; });
    root->navigationItem()->setRightBarButtonItem(item);
    auto nav = rt::make<NavigationController>(root);
    window->setRootViewController(nav);
    auto v = item->itemView();
    Rect f = v->convertRectToView(v->bounds(), nullptr);
    TouchInjector in(window);
    int presses = 0;
    {
        auto s = actionSignal(*item);
        EXPECT_EQ(actionSignal(*item), s);
        s->addValueHandler([&](const rt::Value& value) {
            ++presses;
            EXPECT_EQ(value.as<BarButtonItem>(), item);
        });
        in.tap(Point{midX(f), midY(f)});
        EXPECT_EQ(presses, 1);
        EXPECT_EQ(hostPresses, 1);
    }
    EXPECT_EQ(item->target(), host);
    EXPECT_EQ(item->action(), "share");
    in.wait(1);
    in.tap(Point{midX(f), midY(f)});
    EXPECT_EQ(hostPresses, 2);
    EXPECT_EQ(presses, 1);
}

TEST_F(InterfaceSignalTest, FreedBarButtonSignalLeavesAnItemWithoutActionEmpty) {
    auto item = rt::make<BarButtonItem>("X", BarButtonItemStyle::Plain);
    { auto s = actionSignal(*item); }
    EXPECT_FALSE(item->target());
    EXPECT_EQ(item->action(), "");
    EXPECT_FALSE(item->actionBlock());
}

}  // namespace
