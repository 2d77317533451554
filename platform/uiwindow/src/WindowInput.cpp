#include "WindowInput.h"

#include <algorithm>

#include <ui/TextField.h>
#include <ui/TextView.h>

namespace ui {

WindowInput::WindowInput(rt::Ref<Window> window) : window_(window), injector_(std::move(window)) {}

Point WindowInput::clampToWindow(Point p) const {
    Rect b = window_->bounds();
    return Point{std::clamp(p.x, b.origin.x, b.origin.x + b.size.width),
                 std::clamp(p.y, b.origin.y, b.origin.y + b.size.height)};
}

void WindowInput::pointerDown(Button button, Point p, bool twoFingers) {
    if (pointerHeld() || button == Button::Middle) return;
    pointerButton_ = button;
    pointerOffsets_ = {Point{0, 0}};
    if (button == Button::Secondary || twoFingers) {
        // The second finger beside the first, inside the window.
        Rect b = window_->bounds();
        double dx = p.x + kSecondFingerOffset <= b.origin.x + b.size.width ? kSecondFingerOffset : -kSecondFingerOffset;
        pointerOffsets_.push_back(Point{dx, 0});
    }
    std::vector<Point> points;
    for (Point o : pointerOffsets_) points.push_back(clampToWindow(Point{p.x + o.x, p.y + o.y}));
    pointerFingers_ = injector_.downMany(points);
}

void WindowInput::pointerMoved(Point p) {
    if (!pointerHeld()) return;
    std::vector<Point> points;
    for (Point o : pointerOffsets_) points.push_back(Point{p.x + o.x, p.y + o.y});
    injector_.moveMany(pointerFingers_, points);
}

void WindowInput::pointerUp(Button button, Point p) {
    if (!pointerHeld() || button != pointerButton_) return;
    pointerMoved(p);
    auto fingers = std::move(pointerFingers_);
    pointerFingers_.clear();
    injector_.upMany(fingers);
}

void WindowInput::cancelPointer() {
    auto fingers = std::move(pointerFingers_);
    pointerFingers_.clear();
    for (int f : fingers) injector_.cancel(f);
}

void WindowInput::fingerDown(std::int64_t id, Point p) {
    if (fingers_.count(id)) return;
    fingers_[id] = injector_.down(p);
}

void WindowInput::fingerMoved(std::int64_t id, Point p) {
    auto it = fingers_.find(id);
    if (it != fingers_.end()) injector_.move(it->second, p);
}

void WindowInput::fingerUp(std::int64_t id, Point p) {
    auto it = fingers_.find(id);
    if (it == fingers_.end()) return;
    int finger = it->second;
    fingers_.erase(it);
    injector_.move(finger, p);
    injector_.up(finger);
}

void WindowInput::cancelFingers() {
    auto fingers = std::move(fingers_);
    fingers_.clear();
    for (auto& [id, finger] : fingers) injector_.cancel(finger);
}

bool WindowInput::text(const std::string& utf8) {
    auto responder = window_->firstResponderView();
    if (auto field = rt::cast<TextField>(responder)) {
        field->insertText(utf8);
        return true;
    }
    if (auto view = rt::cast<TextView>(responder)) {
        view->insertText(utf8);
        return true;
    }
    return false;
}

bool WindowInput::key(Key key) {
    auto responder = window_->firstResponderView();
    if (!responder) return false;
    auto field = rt::cast<TextField>(responder);
    auto view = rt::cast<TextView>(responder);
    switch (key) {
        case Key::Backspace:
            if (field) field->deleteBackward();
            else if (view) view->deleteBackward();
            else return false;
            return true;
        case Key::Return:
            if (field) field->returnKey();
            else if (view) view->insertText("\n");
            else return false;
            return true;
        case Key::Escape:
            return responder->resignFirstResponder();
    }
    return false;
}

}  // namespace ui
