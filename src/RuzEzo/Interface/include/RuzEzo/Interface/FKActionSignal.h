#pragma once
// Interface events as signals: control events, bar button presses and gestures.
//
// Each control, item and view hands out one cached signal per configuration (event
// mask; the item's press; tap, pan or swipe settings), held weakly: a signal lives
// while somebody holds it, and when it goes it takes its target-action (and, for a
// gesture signal, its recognizer) with it.

#include <RuzEzo/Signal/FKSignal.h>
#include <ui/BarItem.h>
#include <ui/Control.h>
#include <ui/GestureRecognizer.h>

namespace zid {

/// Sends the control for every event of its mask, straight to the handlers (not kept
/// as the last value).
class FKActionSignal : public FKSignal {
    RT_CLASS(FKActionSignal, FKSignal)
public:
    FKActionSignal(const rt::Ref<ui::Control>& target = nullptr, unsigned events = 0);
    static rt::Ref<FKActionSignal> signalWithTarget(const rt::Ref<ui::Control>& target, unsigned events);
    bool repetitive() const override { return true; }
    rt::Ref<ui::Control> target() const { return target_.lock(); }
    unsigned events() const { return events_; }
    /// The target-action entry.
    void action(const rt::Ref<ui::Control>& sender);

protected:
    void didInitialize() override;
    void willDestroy() override;

private:
    rt::Weak<ui::Control> target_;
    unsigned events_;
};

/// Sends the item for every press. The item's own target and action, if it had any,
/// keep working: the signal runs them first and gives them back when it goes.
class FKBarButtonItemActionSignal : public FKSignal {
    RT_CLASS(FKBarButtonItemActionSignal, FKSignal)
public:
    explicit FKBarButtonItemActionSignal(const rt::Ref<ui::BarButtonItem>& target = nullptr);
    static rt::Ref<FKBarButtonItemActionSignal> signalWithTarget(const rt::Ref<ui::BarButtonItem>& target);
    bool repetitive() const override { return true; }
    rt::Ref<ui::BarButtonItem> target() const { return target_.lock(); }
    /// The target-action entry.
    void action();

protected:
    void didInitialize() override;
    void willDestroy() override;

private:
    rt::Weak<ui::BarButtonItem> target_;
    rt::Weak<rt::Object> previousTarget_;
    bool hadTarget_ = false;
    std::string previousName_;
    ui::BarButtonItem::Action previousAction_;
};

/// Sets the recognizer as its value on every recognized state change (kept, so a
/// handler added later gets the last one). Closing removes the recognizer from its view.
class FKGestureSignal : public FKSignal {
    RT_CLASS(FKGestureSignal, FKSignal)
public:
    explicit FKGestureSignal(const rt::Ref<ui::GestureRecognizer>& recognizer = nullptr);
    static rt::Ref<FKGestureSignal> signalWithGestureRecognizer(const rt::Ref<ui::GestureRecognizer>& recognizer);
    bool repetitive() const override { return true; }
    rt::Ref<ui::GestureRecognizer> gestureRecognizer() const { return recognizer_.lock(); }
    /// The target-action entry.
    void fire();
    void close() override;

protected:
    void didInitialize() override;

private:
    rt::Weak<ui::GestureRecognizer> recognizer_;
};

// ---- the cached signals ----------------------------------------------------------------

/// The control's signal for an event mask.
FKSignalRef signalForEvents(ui::Control& control, unsigned events);
/// The item's press signal.
FKSignalRef actionSignal(ui::BarButtonItem& item);
/// A signal of the recognizer itself, kept by the recognizer for its life: a new date
/// (a number of seconds) for every recognized state change.
FKSignalRef actionSignal(ui::GestureRecognizer& recognizer);

FKSignalRef tapSignal(ui::View& view, int numberOfTaps, int numberOfTouches);
FKSignalRef singleTapSignal(ui::View& view);
FKSignalRef doubleTapSignal(ui::View& view);
FKSignalRef panGestureSignal(ui::View& view, int minimumTouches, int maximumTouches);
FKSignalRef panGestureSignal(ui::View& view);
FKSignalRef swipeSignal(ui::View& view, unsigned direction, int numberOfTouches);
FKSignalRef rightSwipeSignal(ui::View& view);
FKSignalRef leftSwipeSignal(ui::View& view);
FKSignalRef upSwipeSignal(ui::View& view);
FKSignalRef downSwipeSignal(ui::View& view);

}  // namespace zid
