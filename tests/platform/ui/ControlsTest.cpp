// Concrete controls under injected touches: button content per state with fallback,
// slider drags (continuous or not, cancelled), switch, segmented control, activity
// indicator.



#include <gtest/gtest.h>

#include <VirtualTime.h>
#include <algorithm>

#include <ui/Button.h>
#include <ui/GestureRecognizer.h>
#include <ui/Slider.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

using namespace ui;

namespace {

class ControlsTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<Window>(Rect(0, 0, 400, 400));
    }
    void record(const rt::Ref<Control>& c) {
        for (unsigned bit = 0; bit < 20; ++bit) {
            unsigned mask = 1u << bit;
            c->addTarget(nullptr, "bit" + std::to_string(bit), mask,
                         [this, mask](const rt::Ref<Control>&) { events.push_back(mask); });
        }
    }
    rt::Ref<Window> window;
    std::vector<unsigned> events;
};

TEST_F(ControlsTest, ButtonContentFallsBackToNormalAndFollowsTheStateDuringATouch) {
    auto b = Button::buttonWithType(ButtonType::Custom);
    b->setFrame(Rect(10, 10, 100, 40));
    window->addSubview(b);
    b->setTitle("Play", ControlState::Normal);
    b->setTitle("Pressed", ControlState::Highlighted);
    b->setTitle("Both", ControlState::Highlighted | ControlState::Selected);
    b->setTitleColor(Color::blackColor(), ControlState::Normal);
    EXPECT_EQ(b->titleForState(ControlState::Disabled), "Play");
    EXPECT_EQ(b->titleForState(ControlState::Selected), "Play");
    EXPECT_TRUE(b->titleColorForState(ControlState::Highlighted)->isEqual(*Color::blackColor()));
    std::vector<std::string> seen;
    b->addTarget(nullptr, "down", ControlEvents::TouchDown, [&](const rt::Ref<Control>&) {
        seen.push_back(b->titleLabel()->text());
    });
    TouchInjector in(window);
    int f = in.down(Point{50, 30});
    EXPECT_EQ(b->currentTitle(), "Pressed");
    b->setSelected(true);
    EXPECT_EQ(b->titleLabel()->text(), "Both");
    in.up(f);
    EXPECT_EQ(b->titleLabel()->text(), "Play");
    EXPECT_EQ(seen, (std::vector<std::string>{"Pressed"}));
    b->setTitle(std::nullopt, ControlState::Highlighted);
    b->setHighlighted(true);
    b->setSelected(false);
    EXPECT_EQ(b->currentTitle(), "Play");  // removed: back to the normal title
}

TEST_F(ControlsTest, ButtonSizesToFitItsContentAndInsets) {
    auto b = Button::buttonWithType(ButtonType::System);
    b->setTitle("OK", ControlState::Normal);
    b->setContentEdgeInsets(EdgeInsets{5, 10, 5, 10});
    Size title = b->titleLabel()->sizeThatFits(Size{1000, 1000});
    b->sizeToFit();
    EXPECT_DOUBLE_EQ(b->bounds().size.width, title.width + 20);
    EXPECT_DOUBLE_EQ(b->bounds().size.height, title.height + 10);
    b->setEnabled(false);
    EXPECT_TRUE(b->currentTitleColor()->isEqual(*Color::grayColor()));
}

TEST_F(ControlsTest, SliderDragSendsValueChangesThenTouchUp) {
    auto s = rt::make<Slider>(Rect(0, 100, 228, 40));  // 200 points of travel
    window->addSubview(s);
    s->setMinimumValue(10);
    s->setMaximumValue(20);
    s->setValue(10);
    record(s);
    TouchInjector in(window);
    int f = in.down(Point{14, 120});  // on the thumb
    in.move(f, Point{114, 120});
    EXPECT_NEAR(s->value(), 15, 1e-9);
    in.move(f, Point{400, 130});      // past the end, outside the bounds and margin
    EXPECT_DOUBLE_EQ(s->value(), 20);
    in.up(f);
    EXPECT_EQ(events, (std::vector<unsigned>{ControlEvents::TouchDown, ControlEvents::ValueChanged,
                                             ControlEvents::TouchDragInside, ControlEvents::ValueChanged,
                                             ControlEvents::TouchDragExit, ControlEvents::TouchDragOutside,
                                             ControlEvents::TouchUpOutside}));
}

TEST_F(ControlsTest, NonContinuousSliderReportsOnceAndACancelledDragKeepsItsValue) {
    auto s = rt::make<Slider>(Rect(0, 100, 228, 40));
    window->addSubview(s);
    s->setContinuous(false);
    record(s);
    TouchInjector in(window);
    int f = in.down(Point{14, 120});
    in.move(f, Point{64, 120});
    in.move(f, Point{114, 120});
    in.up(f);
    EXPECT_EQ(std::count(events.begin(), events.end(), ControlEvents::ValueChanged), 1);
    EXPECT_EQ(events.back(), ControlEvents::TouchUpInside);
    events.clear();
    f = in.down(Point{114, 120});
    in.move(f, Point{164, 120});
    in.cancel(f);
    EXPECT_NEAR(s->value(), 0.75, 1e-9);
    EXPECT_EQ(events.back(), ControlEvents::TouchCancel);
}

TEST_F(ControlsTest, SliderKeepsItsDragFromAnAncestorPan) {
    auto s = rt::make<Slider>(Rect(0, 100, 228, 40));
    window->addSubview(s);
    auto pan = rt::make<PanGestureRecognizer>();
    int pans = 0;
    pan->addTarget(nullptr, "p", [&](GestureRecognizer&) { ++pans; });
    window->addGestureRecognizer(pan);
    TouchInjector(window).drag(Point{14, 120}, Point{214, 120});
    EXPECT_EQ(pans, 0);
    EXPECT_DOUBLE_EQ(s->value(), 1);
}

TEST_F(ControlsTest, SwitchFlipsOnTapAndSegmentsSelectOnTouchDown) {
    auto sw = rt::make<Switch>();
    window->addSubview(sw);
    record(sw);
    TouchInjector in(window);
    in.tap(Point{20, 15});
    EXPECT_TRUE(sw->isOn());
    EXPECT_EQ(events, (std::vector<unsigned>{ControlEvents::TouchDown, ControlEvents::ValueChanged,
                                             ControlEvents::TouchUpInside}));
    auto seg = rt::make<SegmentedControl>(std::vector<std::string>{"A", "B", "C"});
    seg->setFrame(Rect(0, 200, 300, 30));
    window->addSubview(seg);
    events.clear();
    record(seg);
    in.wait(1);
    int f = in.down(Point{250, 210});
    EXPECT_EQ(seg->selectedSegmentIndex(), 2);
    EXPECT_EQ(events, (std::vector<unsigned>{ControlEvents::ValueChanged, ControlEvents::TouchDown}));
    in.up(f);
    seg->removeSegmentAtIndex(0);
    EXPECT_EQ(seg->selectedSegmentIndex(), 1);
    seg->setMomentary(true);
    in.wait(1);
    in.tap(Point{10, 210});
    EXPECT_EQ(seg->selectedSegmentIndex(), SegmentedControl::kNoSegment);
}

TEST_F(ControlsTest, ActivityIndicatorHidesWhenStopped) {
    auto a = rt::make<ActivityIndicatorView>(ActivityIndicatorViewStyle::WhiteLarge);
    EXPECT_EQ(a->bounds().size, (Size{37, 37}));
    EXPECT_TRUE(a->isHidden());
    a->startAnimating();
    EXPECT_TRUE(a->isAnimating());
    EXPECT_FALSE(a->isHidden());
    a->setHidesWhenStopped(false);
    a->stopAnimating();
    EXPECT_FALSE(a->isHidden());
    a->setHidesWhenStopped(true);
    EXPECT_TRUE(a->isHidden());
}

}  // namespace
