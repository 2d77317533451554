// Controls driven by injected touches: the exact event sequence of a touch that stays
// inside, drags out and back, lifts outside or is cancelled, and the state flags.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <VirtualTime.h>
#include <ui/Control.h>
#include <ui/GestureRecognizer.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

using namespace ui;

namespace {

class ControlTrackingTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<Window>(Rect(0, 0, 400, 400));
        control = rt::make<Control>(Rect(100, 100, 50, 50));
        window->addSubview(control);
        // One action per bit, so the journal shows each event by its mask.
        for (unsigned bit = 0; bit < 20; ++bit) {
            unsigned mask = 1u << bit;
            control->addTarget(nullptr, "bit" + std::to_string(bit), mask,
                               [this, mask](const rt::Ref<Control>&) { events.push_back(mask); });
        }
    }
    rt::Ref<Window> window;
    rt::Ref<Control> control;
    std::vector<unsigned> events;
};

using E = std::vector<unsigned>;

TEST_F(ControlTrackingTest, TapInsideSendsDownThenUpInside) {
    TouchInjector in(window);
    in.tap(Point{120, 120});
    EXPECT_EQ(events, (E{ControlEvents::TouchDown, ControlEvents::TouchUpInside}));
    EXPECT_FALSE(control->isHighlighted());
    EXPECT_FALSE(control->isTracking());
}

TEST_F(ControlTrackingTest, DragOutAndBackInThenUpOutsideUsesExpandedBounds) {
    TouchInjector in(window);
    int f = in.down(Point{120, 120});
    EXPECT_TRUE(control->isHighlighted());
    in.move(f, Point{130, 130});  // inside
    in.move(f, Point{210, 125});  // within the 70-point margin: still inside
    EXPECT_TRUE(control->isHighlighted());
    in.move(f, Point{230, 125});  // beyond: outside
    EXPECT_FALSE(control->isHighlighted());
    in.move(f, Point{240, 125});
    in.move(f, Point{125, 125});  // back in
    in.move(f, Point{300, 300});  // out again
    in.up(f);
    EXPECT_EQ(events, (E{ControlEvents::TouchDown, ControlEvents::TouchDragInside, ControlEvents::TouchDragInside,
                         ControlEvents::TouchDragExit, ControlEvents::TouchDragOutside,
                         ControlEvents::TouchDragOutside, ControlEvents::TouchDragEnter,
                         ControlEvents::TouchDragInside, ControlEvents::TouchDragExit,
                         ControlEvents::TouchDragOutside, ControlEvents::TouchUpOutside}));
}

TEST_F(ControlTrackingTest, CancelledTouchSendsCancelAndClearsHighlight) {
    TouchInjector in(window);
    int f = in.down(Point{120, 120});
    in.cancel(f);
    EXPECT_EQ(events, (E{ControlEvents::TouchDown, ControlEvents::TouchCancel}));
    EXPECT_FALSE(control->isHighlighted());
}

TEST_F(ControlTrackingTest, SecondTapOfADoubleTapRepeatsTouchDown) {
    TouchInjector in(window);
    in.doubleTap(Point{120, 120});
    EXPECT_EQ(events, (E{ControlEvents::TouchDown, ControlEvents::TouchUpInside, ControlEvents::TouchDown,
                         ControlEvents::TouchDownRepeat, ControlEvents::TouchUpInside}));
}

TEST_F(ControlTrackingTest, DisabledControlSendsNothingAndReportsItsState) {
    control->setEnabled(false);
    TouchInjector in(window);
    in.tap(Point{120, 120});
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(control->state(), ControlState::Disabled);
    control->setEnabled(true);
    control->setSelected(true);
    EXPECT_EQ(control->state(), ControlState::Selected);
}

TEST_F(ControlTrackingTest, TargetsAreWeakAndRemovable) {
    auto target = rt::make<rt::Object>();
    int calls = 0;
    control->addTarget(target, "hit", ControlEvents::TouchUpInside, [&](const rt::Ref<Control>&) { ++calls; });
    control->addTarget(target, "hit", ControlEvents::TouchUpInside, [&](const rt::Ref<Control>&) { ++calls; });
    control->sendActionsForControlEvents(ControlEvents::TouchUpInside);
    EXPECT_EQ(calls, 1);  // the same target and action are kept once
    control->removeTarget(target.get(), "hit", ControlEvents::TouchUpInside);
    control->sendActionsForControlEvents(ControlEvents::TouchUpInside);
    EXPECT_EQ(calls, 1);
    control->addTarget(target, "hit", ControlEvents::TouchUpInside, [&](const rt::Ref<Control>&) { ++calls; });
    target.reset();
    control->sendActionsForControlEvents(ControlEvents::TouchUpInside);
    EXPECT_EQ(calls, 1);  // a gone target's action is skipped
}

TEST_F(ControlTrackingTest, SuperviewSingleTapGivesWayToTheControl) {
    auto single = rt::make<TapGestureRecognizer>();
    int singles = 0;
    single->addTarget(nullptr, "t", [&](GestureRecognizer&) { ++singles; });
    window->addGestureRecognizer(single);
    TouchInjector in(window);
    in.tap(Point{120, 120});
    EXPECT_EQ(singles, 0);
    EXPECT_EQ(events.back(), ControlEvents::TouchUpInside);
    in.wait(1);
    in.tap(Point{300, 300});  // outside the control: the window's recognizer gets it
    EXPECT_EQ(singles, 1);
}

}  // namespace
