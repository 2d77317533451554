#pragma once
// A control: a view that turns touches into events sent to targets by event mask. It
// tracks one touch sequence at a time: touch down, drags inside or outside (with a
// margin around the bounds, so a finger drifting off the edge still counts as inside),
// and the end inside or outside or a cancel.

#include <rt/MainThread.h>
#include <ui/TargetAction.h>
#include <ui/View.h>

namespace ui {

namespace ControlEvents {
inline constexpr unsigned TouchDown = 1u << 0;
inline constexpr unsigned TouchDownRepeat = 1u << 1;
inline constexpr unsigned TouchDragInside = 1u << 2;
inline constexpr unsigned TouchDragOutside = 1u << 3;
inline constexpr unsigned TouchDragEnter = 1u << 4;
inline constexpr unsigned TouchDragExit = 1u << 5;
inline constexpr unsigned TouchUpInside = 1u << 6;
inline constexpr unsigned TouchUpOutside = 1u << 7;
inline constexpr unsigned TouchCancel = 1u << 8;
inline constexpr unsigned ValueChanged = 1u << 12;
inline constexpr unsigned EditingDidBegin = 1u << 16;
inline constexpr unsigned EditingChanged = 1u << 17;
inline constexpr unsigned EditingDidEnd = 1u << 18;
inline constexpr unsigned EditingDidEndOnExit = 1u << 19;
inline constexpr unsigned AllTouchEvents = 0x00000FFFu;
inline constexpr unsigned AllEditingEvents = 0x000F0000u;
inline constexpr unsigned AllEvents = 0xFFFFFFFFu;
}  // namespace ControlEvents

/// Control state bits; combinations are looked up as given, then fall back to normal.
namespace ControlState {
inline constexpr unsigned Normal = 0;
inline constexpr unsigned Highlighted = 1u << 0;
inline constexpr unsigned Disabled = 1u << 1;
inline constexpr unsigned Selected = 1u << 2;
}  // namespace ControlState

class Control : public View {
    RT_CLASS(Control, View)
private:
    bool enabled_ = true;
    bool selected_ = false;
    bool highlighted_ = false;

public:
    static constexpr rt::Key<Control, bool> enabledKey{"enabled", &Control::enabled_};
    static constexpr rt::Key<Control, bool> selectedKey{"selected", &Control::selected_};
    static constexpr rt::Key<Control, bool> highlightedKey{"highlighted", &Control::highlighted_};
    /// How far around the bounds a tracked touch still counts as inside.
    static constexpr double kTrackingMargin = 70;

    explicit Control(const Rect& frame = Rect());
    static void describe(rt::ClassBuilder<Control>& c);

    bool isEnabled() const { RT_MAIN_THREAD_ONLY(); return enabled_; }
    virtual void setEnabled(bool enabled);
    bool isSelected() const { RT_MAIN_THREAD_ONLY(); return selected_; }
    virtual void setSelected(bool selected);
    bool isHighlighted() const { RT_MAIN_THREAD_ONLY(); return highlighted_; }
    virtual void setHighlighted(bool highlighted);
    /// The state bits of the three flags.
    unsigned state() const;

    bool isTracking() const { RT_MAIN_THREAD_ONLY(); return tracking_; }
    bool isTouchInside() const { RT_MAIN_THREAD_ONLY(); return touchInside_; }

    using Action = std::function<void(const rt::Ref<Control>& sender)>;
    /// Adds the action for the events; the same target and name for the same events
    /// are kept once. The target is held weakly.
    void addTarget(const rt::Ref<rt::Object>& target, const std::string& action, unsigned events, Action perform);
    /// Removes the target's action (every action of the target for "") for the events.
    void removeTarget(const rt::Object* target, const std::string& action, unsigned events);
    /// The events some action is registered for.
    unsigned allControlEvents() const;
    std::size_t numberOfActions() const { RT_MAIN_THREAD_ONLY(); return actions_.size(); }
    /// Runs every action registered for any of the events, one event bit at a time in
    /// ascending order, actions in the order they were added.
    void sendActionsForControlEvents(unsigned events);

    // ---- tracking (subclasses refine; they return whether tracking goes on) ----------------
    virtual bool beginTrackingWithTouch(Touch& touch);
    virtual bool continueTrackingWithTouch(Touch& touch);
    virtual void endTrackingWithTouch(Touch* touch);
    virtual void cancelTrackingWithTouch(Touch* touch);
    /// Whether a recognizer of an ancestor gives way to the control's own handling
    /// (a plain single tap does, so a button's tap stays the button's).
    virtual bool takesPrecedenceOver(const GestureRecognizer& recognizer) const;

    void touchesBegan(const TouchSet& touches) override;
    void touchesMoved(const TouchSet& touches) override;
    void touchesEnded(const TouchSet& touches) override;
    void touchesCancelled(const TouchSet& touches) override;

protected:
    bool pointInsideTrackingArea(Point p) const;

private:
    struct Entry {
        TargetAction action;
        unsigned events = 0;
    };
    std::vector<Entry> actions_;
    bool tracking_ = false;
    bool touchInside_ = false;
    rt::Weak<Touch> trackedTouch_;
};

}  // namespace ui
