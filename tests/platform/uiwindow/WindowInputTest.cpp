// How the desktop's pointer, touch screen and keys become the toolkit's input, on virtual
// time and without a display: which fingers go down where, what is ignored, what a lost
// focus cancels, and where typing goes.

#include <gtest/gtest.h>

#include <ui/Application.h>
#include <ui/TextField.h>
#include <ui/Touch.h>

#include "VirtualTime.h"
#include "WindowInput.h"

namespace zidtest {
namespace {

/// Records each touch phase it sees, with the touches' window locations.
class TouchLog : public ui::View {
    RT_CLASS(TouchLog, ui::View)
public:
    using ui::View::View;
    void touchesBegan(const ui::TouchSet& t) override { add("began", t); }
    void touchesMoved(const ui::TouchSet& t) override { add("moved", t); }
    void touchesEnded(const ui::TouchSet& t) override { add("ended", t); }
    void touchesCancelled(const ui::TouchSet& t) override { add("cancelled", t); }
    struct Entry {
        std::string phase;
        std::vector<ui::Point> points;
    };
    std::vector<Entry> log;
    std::vector<std::string> phases() const {
        std::vector<std::string> out;
        for (const auto& e : log) out.push_back(e.phase);
        return out;
    }

private:
    void add(const char* phase, const ui::TouchSet& touches) {
        Entry e{phase, {}};
        for (const auto& t : touches) e.points.push_back(t->locationInWindow());
        log.push_back(e);
    }
};

class WindowInputTest : public VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<ui::Window>(ui::Rect(0, 0, 640, 360));
        window->makeKeyAndVisible();
        view = rt::make<TouchLog>(window->bounds());
        window->addSubview(view);
        input = std::make_unique<ui::WindowInput>(window);
    }
    void TearDown() override {
        input.reset();
        ui::Application::sharedApplication()->reset();
        VirtualTimeTest::TearDown();
    }
    using Button = ui::WindowInput::Button;
    rt::Ref<ui::Window> window;
    rt::Ref<TouchLog> view;
    std::unique_ptr<ui::WindowInput> input;
};

TEST_F(WindowInputTest, ThePrimaryButtonIsOneFingerAndTheSecondaryOrAModifierTwo) {
    input->pointerDown(Button::Primary, {100, 100}, false);
    input->pointerMoved({120, 110});
    input->pointerUp(Button::Primary, {130, 120});
    ASSERT_EQ(view->phases(), (std::vector<std::string>{"began", "moved", "moved", "ended"}));
    EXPECT_EQ(view->log[0].points, (std::vector<ui::Point>{{100, 100}}));
    EXPECT_EQ(view->log[2].points, (std::vector<ui::Point>{{130, 120}})) << "the release point is the last move";

    for (bool secondary : {true, false}) {
        view->log.clear();
        input->pointerDown(secondary ? Button::Secondary : Button::Primary, {100, 100}, !secondary);
        input->pointerMoved({100, 200});
        input->pointerUp(secondary ? Button::Secondary : Button::Primary, {100, 200});
        ASSERT_EQ(view->phases(), (std::vector<std::string>{"began", "moved", "moved", "ended"})) << secondary;
        EXPECT_EQ(view->log[0].points, (std::vector<ui::Point>{{100, 100}, {140, 100}})) << "two fingers side by side";
        EXPECT_EQ(view->log.back().points.size(), 2u);
    }

    // At the right edge the second finger goes to the left of the first.
    view->log.clear();
    input->pointerDown(Button::Secondary, {630, 100}, false);
    input->pointerUp(Button::Secondary, {630, 100});
    ASSERT_FALSE(view->log.empty());
    EXPECT_EQ(view->log[0].points, (std::vector<ui::Point>{{630, 100}, {590, 100}}));
}

TEST_F(WindowInputTest, OtherButtonsAndSecondPressesAreIgnoredAndALostFocusCancels) {
    input->pointerDown(Button::Middle, {100, 100}, false);
    input->pointerMoved({120, 100});
    EXPECT_TRUE(view->log.empty()) << "the middle button does nothing";

    input->pointerDown(Button::Primary, {100, 100}, false);
    input->pointerDown(Button::Secondary, {200, 100}, false);
    input->pointerUp(Button::Secondary, {200, 100});
    EXPECT_EQ(view->phases(), std::vector<std::string>{"began"}) << "a press while one is held, and its release, are ignored";
    input->cancelPointer();
    EXPECT_EQ(view->phases(), (std::vector<std::string>{"began", "cancelled"}));
    EXPECT_FALSE(input->pointerHeld());
    input->pointerUp(Button::Primary, {100, 100});
    EXPECT_EQ(view->log.size(), 2u) << "nothing left to lift";

    // Touch-screen fingers by the device's ids, each its own finger.
    view->log.clear();
    input->fingerDown(7, {10, 10});
    input->fingerDown(9, {50, 10});
    input->fingerDown(7, {99, 99});
    input->fingerMoved(9, {60, 20});
    input->fingerUp(7, {12, 12});
    input->cancelFingers();
    EXPECT_EQ(view->phases(), (std::vector<std::string>{"began", "began", "moved", "moved", "ended", "cancelled"}));
    EXPECT_EQ(view->log.back().points, (std::vector<ui::Point>{{60, 20}}));
}

TEST_F(WindowInputTest, TypingGoesToATextTakingFirstResponderOnly) {
    EXPECT_FALSE(input->text("a")) << "no first responder";
    EXPECT_FALSE(input->key(ui::WindowInput::Key::Backspace));
    auto field = rt::make<ui::TextField>(ui::Rect(10, 10, 200, 30));
    window->addSubview(field);
    ASSERT_TRUE(field->becomeFirstResponder());
    struct Returns : ui::TextFieldDelegate {
        int returns = 0;
        bool textFieldShouldReturn(ui::TextField&) override { return ++returns, true; }
    } delegate;
    field->setDelegate(&delegate);
    EXPECT_TRUE(input->text("héllo"));
    EXPECT_TRUE(input->key(ui::WindowInput::Key::Backspace));
    EXPECT_EQ(field->text(), "héll");
    EXPECT_TRUE(input->key(ui::WindowInput::Key::Return));
    EXPECT_EQ(delegate.returns, 1);
    EXPECT_TRUE(input->key(ui::WindowInput::Key::Escape));
    EXPECT_FALSE(field->isFirstResponder());
    EXPECT_FALSE(input->text("x"));
    EXPECT_EQ(field->text(), "héll");
    field->setDelegate(nullptr);
}

}  // namespace
}  // namespace zidtest
