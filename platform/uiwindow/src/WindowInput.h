#pragma once
// Turns a desktop's pointer, touch-screen and keyboard input into what the toolkit
// takes: touches through ui::TouchInjector (the path tests use too) and typing for the
// window's first responder. Knows nothing of the event source, so the mapping is the
// same whatever delivers the events.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <ui/TouchInjector.h>
#include <ui/Window.h>

namespace ui {

class WindowInput {
public:
    explicit WindowInput(rt::Ref<Window> window);

    enum class Button { Primary, Secondary, Middle };
    /// Distance between the two fingers a secondary drag puts down.
    static constexpr double kSecondFingerOffset = 40;

    /// A button went down. The primary button alone is one finger; the secondary
    /// button, or the primary one with `twoFingers` (a modifier key held), puts two
    /// fingers down side by side. A press while another is held is ignored.
    void pointerDown(Button button, Point p, bool twoFingers);
    /// The pointer moved; the fingers down follow it.
    void pointerMoved(Point p);
    void pointerUp(Button button, Point p);
    /// Cancels whatever the pointer holds (the window lost the pointer or its focus).
    void cancelPointer();

    /// Touch-screen fingers, by the device's own finger id.
    void fingerDown(std::int64_t id, Point p);
    void fingerMoved(std::int64_t id, Point p);
    void fingerUp(std::int64_t id, Point p);
    void cancelFingers();

    enum class Key { Backspace, Return, Escape };
    /// Text typed (already composed by the input method): inserted into the first
    /// responder when it takes text. Answers whether someone took it.
    bool text(const std::string& utf8);
    bool key(Key key);

    bool pointerHeld() const { return !pointerFingers_.empty(); }

private:
    Point clampToWindow(Point p) const;
    rt::Ref<Window> window_;
    TouchInjector injector_;
    Button pointerButton_ = Button::Primary;
    std::vector<int> pointerFingers_;
    std::vector<Point> pointerOffsets_;
    std::map<std::int64_t, int> fingers_;
};

}  // namespace ui
