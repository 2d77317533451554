#include <rt/MainThread.h>
#include <ui/Control.h>

#include <ui/GestureRecognizer.h>
#include <ui/Touch.h>

namespace ui {

Control::Control(const Rect& frame) : View(frame) {}

void Control::describe(rt::ClassBuilder<Control>& c) {
    c.property(enabledKey, &Control::setEnabled);
    c.property(selectedKey, &Control::setSelected);
    c.property(highlightedKey, &Control::setHighlighted);
}

void Control::setEnabled(bool enabled) {
    RT_MAIN_THREAD_ONLY();
    enabledKey.set(*this, enabled);
    if (!enabled && highlighted_) setHighlighted(false);
}
void Control::setSelected(bool selected) { RT_MAIN_THREAD_ONLY(); selectedKey.set(*this, selected); }
void Control::setHighlighted(bool highlighted) { RT_MAIN_THREAD_ONLY(); highlightedKey.set(*this, highlighted); }

unsigned Control::state() const {
    RT_MAIN_THREAD_ONLY();
    unsigned s = ControlState::Normal;
    if (highlighted_) s |= ControlState::Highlighted;
    if (!enabled_) s |= ControlState::Disabled;
    if (selected_) s |= ControlState::Selected;
    return s;
}

void Control::addTarget(const rt::Ref<rt::Object>& target, const std::string& action, unsigned events,
                        Action perform) {
    RT_MAIN_THREAD_ONLY();
    for (auto& e : actions_) {
        if (e.action.hasTarget == bool(target) && e.action.matches(target.get(), action) && e.action.action == action) {
            e.events |= events;
            return;
        }
    }
    Entry e;
    e.action.target = target;
    e.action.targetId = target.get();
    e.action.hasTarget = bool(target);
    e.action.action = action;
    e.action.perform = [perform = std::move(perform)](const rt::Ref<rt::Object>& sender) {
        if (auto c = rt::cast<Control>(sender)) perform(c);
    };
    e.events = events;
    actions_.push_back(std::move(e));
}

void Control::removeTarget(const rt::Object* target, const std::string& action, unsigned events) {
    RT_MAIN_THREAD_ONLY();
    for (auto& e : actions_) {
        if (e.action.matches(target, action)) e.events &= ~events;
    }
    std::erase_if(actions_, [](const Entry& e) { return e.events == 0; });
}

unsigned Control::allControlEvents() const {
    RT_MAIN_THREAD_ONLY();
    unsigned all = 0;
    for (const auto& e : actions_) all |= e.events;
    return all;
}

void Control::sendActionsForControlEvents(unsigned events) {
    RT_MAIN_THREAD_ONLY();
    auto self = selfAs<Control>();
    for (unsigned bit = 0; bit < 32; ++bit) {
        unsigned event = 1u << bit;
        if (!(events & event)) continue;
        // A copy: actions may add or remove actions while they run.
        auto list = actions_;
        for (const auto& e : list) {
            if (e.events & event) e.action.send(self);
        }
    }
}

bool Control::pointInsideTrackingArea(Point p) const {
    return rectContainsPoint(rectInset(bounds(), -kTrackingMargin, -kTrackingMargin), p);
}

bool Control::beginTrackingWithTouch(Touch&) { RT_MAIN_THREAD_ONLY(); return true; }
bool Control::continueTrackingWithTouch(Touch&) { RT_MAIN_THREAD_ONLY(); return true; }
void Control::endTrackingWithTouch(Touch*) { RT_MAIN_THREAD_ONLY(); }
void Control::cancelTrackingWithTouch(Touch*) { RT_MAIN_THREAD_ONLY(); }

bool Control::takesPrecedenceOver(const GestureRecognizer& recognizer) const {
    RT_MAIN_THREAD_ONLY();
    auto tap = dynamic_cast<const TapGestureRecognizer*>(&recognizer);
    return tap && tap->numberOfTapsRequired() == 1 && tap->numberOfTouchesRequired() == 1;
}

void Control::touchesBegan(const TouchSet& touches) {
    RT_MAIN_THREAD_ONLY();
    if (!enabled_ || tracking_ || touches.empty()) return;
    auto keep = selfAs<Control>();
    auto& touch = *touches.front();
    trackedTouch_ = touches.front();
    touchInside_ = true;
    tracking_ = beginTrackingWithTouch(touch);
    setHighlighted(true);
    unsigned events = ControlEvents::TouchDown;
    if (touch.tapCount() > 1) events |= ControlEvents::TouchDownRepeat;
    sendActionsForControlEvents(events);
}

void Control::touchesMoved(const TouchSet& touches) {
    RT_MAIN_THREAD_ONLY();
    auto touch = trackedTouch_.lock();
    if (!touch || std::find(touches.begin(), touches.end(), touch) == touches.end()) return;
    auto keep = selfAs<Control>();
    bool wasInside = touchInside_;
    touchInside_ = pointInsideTrackingArea(touch->locationInView(this));
    setHighlighted(touchInside_);
    if (tracking_) tracking_ = continueTrackingWithTouch(*touch);
    unsigned events = 0;
    if (touchInside_) events = (wasInside ? 0 : ControlEvents::TouchDragEnter) | ControlEvents::TouchDragInside;
    else events = (wasInside ? ControlEvents::TouchDragExit : 0) | ControlEvents::TouchDragOutside;
    // Enter and exit come before the drag itself, whatever their bit order.
    if (events & (ControlEvents::TouchDragEnter | ControlEvents::TouchDragExit)) {
        sendActionsForControlEvents(events & (ControlEvents::TouchDragEnter | ControlEvents::TouchDragExit));
    }
    sendActionsForControlEvents(events & (ControlEvents::TouchDragInside | ControlEvents::TouchDragOutside));
}

void Control::touchesEnded(const TouchSet& touches) {
    RT_MAIN_THREAD_ONLY();
    auto touch = trackedTouch_.lock();
    if (!touch || std::find(touches.begin(), touches.end(), touch) == touches.end()) return;
    auto keep = selfAs<Control>();
    touchInside_ = pointInsideTrackingArea(touch->locationInView(this));
    setHighlighted(false);
    if (tracking_) endTrackingWithTouch(touch.get());
    tracking_ = false;
    trackedTouch_.reset();
    sendActionsForControlEvents(touchInside_ ? ControlEvents::TouchUpInside : ControlEvents::TouchUpOutside);
    touchInside_ = false;
}

void Control::touchesCancelled(const TouchSet& touches) {
    RT_MAIN_THREAD_ONLY();
    auto touch = trackedTouch_.lock();
    if (!touch || std::find(touches.begin(), touches.end(), touch) == touches.end()) return;
    auto keep = selfAs<Control>();
    setHighlighted(false);
    if (tracking_) cancelTrackingWithTouch(touch.get());
    tracking_ = false;
    touchInside_ = false;
    trackedTouch_.reset();
    sendActionsForControlEvents(ControlEvents::TouchCancel);
}

}  // namespace ui
