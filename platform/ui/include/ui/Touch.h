#pragma once
// A finger on the screen: where it is in its window, where it was, its phase, the view
// it began in and the recognizers that watch it. Touches are made by the host's input
// or by ui::TouchInjector and delivered through Window::sendTouches.

#include <vector>

#include <fnd/Clock.h>
#include <ui/View.h>

namespace ui {

enum class TouchPhase { Began = 0, Moved = 1, Stationary = 2, Ended = 3, Cancelled = 4 };

class Touch : public rt::Object {
    RT_CLASS(Touch, rt::Object)
public:
    Touch() = default;

    TouchPhase phase() const { return phase_; }
    void setPhase(TouchPhase phase) { phase_ = phase; }
    /// Taps in a row at about the same place (2 for the second tap of a double tap).
    long tapCount() const { return tapCount_; }
    void setTapCount(long count) { tapCount_ = count; }
    fnd::TimeInterval timestamp() const { return timestamp_; }
    void setTimestamp(fnd::TimeInterval t) { timestamp_ = t; }

    rt::Ref<Window> window() const { return window_.lock(); }
    void setWindow(const rt::Ref<Window>& window) { window_ = window; }
    /// The view the touch began in (the hit view); it keeps getting the touch.
    rt::Ref<View> view() const { return view_.lock(); }
    void setView(const rt::Ref<View>& view) { view_ = view; }

    Point locationInWindow() const { return location_; }
    Point previousLocationInWindow() const { return previous_; }
    /// Moves the touch; the former location becomes the previous one.
    void moveTo(Point windowPoint);
    /// The location in a view's coordinates (nil: the window's).
    Point locationInView(const View* view) const;
    Point previousLocationInView(const View* view) const;

    /// The recognizers still watching the touch (failed ones leave the list).
    const std::vector<rt::Ref<GestureRecognizer>>& gestureRecognizers() const { return recognizers_; }
    void setGestureRecognizers(std::vector<rt::Ref<GestureRecognizer>> list) { recognizers_ = std::move(list); }
    /// Whether the view's own touch handling was cancelled by a recognizer.
    bool isCancelledForView() const { return cancelledForView_; }
    void setCancelledForView(bool v) { cancelledForView_ = v; }
    /// Whether the view has seen the touch end (or be cancelled).
    bool viewSawEnd() const { return viewSawEnd_; }
    void setViewSawEnd(bool v) { viewSawEnd_ = v; }

private:
    TouchPhase phase_ = TouchPhase::Began;
    long tapCount_ = 1;
    fnd::TimeInterval timestamp_ = 0;
    rt::Weak<Window> window_;
    rt::Weak<View> view_;
    Point location_;
    Point previous_;
    std::vector<rt::Ref<GestureRecognizer>> recognizers_;
    bool cancelledForView_ = false;
    bool viewSawEnd_ = false;
};

}  // namespace ui
