#pragma once
// Gesture recognizers: state machines fed with the touches of their view (and its
// subviews) before the view itself sees them. A recognizer that recognizes sends its
// actions; one that must wait for another to fail holds its recognition until that
// one fails, and gives up when it recognizes. Timing (a tap waiting for the next tap,
// a long press) runs on the main run loop's clock.

#include <functional>
#include <string>
#include <vector>

#include <fnd/RunLoop.h>
#include <ui/TargetAction.h>
#include <ui/Touch.h>
#include <rt/MainThread.h>
#include <rt/KVC.h>

namespace ui {

enum class GestureState { Possible = 0, Began = 1, Changed = 2, Ended = 3, Cancelled = 4, Failed = 5 };
/// A discrete gesture's recognized state is the ended state.
inline constexpr GestureState GestureRecognized = GestureState::Ended;

/// Every method is optional: the defaults answer as if there were no delegate.
/// Asked on the main thread, as the recognizers are; the defaults refuse another thread
/// like the views that adopt them.
class GestureRecognizerDelegate {
public:
    virtual ~GestureRecognizerDelegate() = default;
    virtual bool gestureRecognizerShouldBegin(GestureRecognizer&) {
        RT_MAIN_THREAD_ONLY_CALL("GestureRecognizerDelegate::gestureRecognizerShouldBegin");
        return true;
    }
    virtual bool gestureRecognizerShouldReceiveTouch(GestureRecognizer&, Touch&) {
        RT_MAIN_THREAD_ONLY_CALL("GestureRecognizerDelegate::gestureRecognizerShouldReceiveTouch");
        return true;
    }
    virtual bool gestureRecognizerShouldRecognizeSimultaneously(GestureRecognizer&, GestureRecognizer&) {
        RT_MAIN_THREAD_ONLY_CALL("GestureRecognizerDelegate::gestureRecognizerShouldRecognizeSimultaneously");
        return false;
    }
    virtual bool gestureRecognizerShouldRequireFailureOf(GestureRecognizer&, GestureRecognizer&) {
        RT_MAIN_THREAD_ONLY_CALL("GestureRecognizerDelegate::gestureRecognizerShouldRequireFailureOf");
        return false;
    }
};

class GestureRecognizer : public rt::Object {
    RT_CLASS(GestureRecognizer, rt::Object)
public:
    static void describe(rt::ClassBuilder<GestureRecognizer>& c) { c.mainThreadOnly(); }
    using Action = std::function<void(GestureRecognizer&)>;

    GestureRecognizer() = default;
    ~GestureRecognizer() override;

    GestureState state() const { RT_MAIN_THREAD_ONLY(); return state_; }
    bool isEnabled() const { RT_MAIN_THREAD_ONLY(); return enabled_; }
    /// Disabling a recognizer in the middle of a gesture cancels (or fails) it.
    void setEnabled(bool enabled);
    bool cancelsTouchesInView() const { RT_MAIN_THREAD_ONLY(); return cancelsTouchesInView_; }
    void setCancelsTouchesInView(bool v) { RT_MAIN_THREAD_ONLY(); cancelsTouchesInView_ = v; }

    /// The kinds of touch and press (the platform's type numbers) the recognizer
    /// accepts, kept as given: every touch here is a direct one and nothing produces
    /// presses, so they change no recognition.
    const std::vector<long>& allowedTouchTypes() const { RT_MAIN_THREAD_ONLY(); return allowedTouchTypes_; }
    void setAllowedTouchTypes(std::vector<long> types) { RT_MAIN_THREAD_ONLY(); allowedTouchTypes_ = std::move(types); }
    const std::vector<long>& allowedPressTypes() const { RT_MAIN_THREAD_ONLY(); return allowedPressTypes_; }
    void setAllowedPressTypes(std::vector<long> types) { RT_MAIN_THREAD_ONLY(); allowedPressTypes_ = std::move(types); }

    /// Adds an action run on every state change that reports (began, changed, ended,
    /// cancelled). The target is held weakly; the same target and name are added once.
    void addTarget(const rt::Ref<rt::Object>& target, const std::string& action, Action perform);
    /// Removes the target's action of that name (every action of the target for "").
    void removeTarget(const rt::Object* target, const std::string& action);
    std::size_t numberOfTargets() const { RT_MAIN_THREAD_ONLY(); return actions_.size(); }

    /// The receiver recognizes only after the other one failed.
    void requireGestureRecognizerToFail(const rt::Ref<GestureRecognizer>& other);
    GestureRecognizerDelegate* delegate() const { RT_MAIN_THREAD_ONLY(); return delegate_; }
    /// Not owned; the owner clears it before it goes.
    void setDelegate(GestureRecognizerDelegate* delegate) { RT_MAIN_THREAD_ONLY(); delegate_ = delegate; }

    rt::Ref<View> view() const { RT_MAIN_THREAD_ONLY(); return view_.lock(); }
    /// The centroid of the touches being tracked (the last ones, once they ended).
    Point locationInView(const View* view) const;
    std::size_t numberOfTouches() const { RT_MAIN_THREAD_ONLY(); return touches_.size(); }

    // ---- fed by the window --------------------------------------------------------------
    bool shouldReceiveTouch(Touch& touch);
    void deliverBegan(const TouchSet& touches);
    void deliverMoved(const TouchSet& touches);
    void deliverEnded(const TouchSet& touches);
    void deliverCancelled(const TouchSet& touches);
    /// Whether the recognizer is still in play for its touches.
    bool isActive() const;
    /// Whether another recognizer may recognize together with this one.
    bool canRecognizeWith(GestureRecognizer& other);

protected:
    virtual void touchesBegan(const TouchSet&) {}
    virtual void touchesMoved(const TouchSet&) {}
    virtual void touchesEnded(const TouchSet&) {}
    virtual void touchesCancelled(const TouchSet&) { setState(GestureState::Cancelled); }
    /// Back to possible, ready for the next gesture; subclasses clear their own state.
    virtual void reset();
    /// Moves the state machine; recognitions wait for required failures, terminal
    /// states reset the recognizer once no touch is held.
    void setState(GestureState state);
    const TouchSet& trackedTouches() const { return touches_; }
    Point centroidInWindow() const;
    fnd::TimeInterval now() const;

private:
    friend class View;
    void attach(const rt::Ref<View>& view) { view_ = view; }
    void applyState(GestureState state);
    void sendActions();
    bool waitingForFailure() const;
    void requirementFailed();
    void requirementRecognized();
    void forget(const TouchSet& touches);
    void resetIfDone();

    GestureState state_ = GestureState::Possible;
    bool enabled_ = true;
    bool cancelsTouchesInView_ = true;
    bool pending_ = false;
    GestureState pendingState_ = GestureState::Possible;
    std::vector<TargetAction> actions_;
    std::vector<rt::Weak<GestureRecognizer>> requirements_;
    std::vector<rt::Weak<GestureRecognizer>> dependents_;
    GestureRecognizerDelegate* delegate_ = nullptr;
    rt::Weak<View> view_;
    TouchSet touches_;
    Point lastCentroid_;
    rt::Weak<Window> window_;
    std::vector<long> allowedTouchTypes_{0, 1, 2};
    std::vector<long> allowedPressTypes_{0, 1, 2, 3, 4, 5, 6};
};

/// Taps: a number of touches down and up together, a number of times in a row, each
/// within a short while of the last and near where the first began.
class TapGestureRecognizer : public GestureRecognizer {
    RT_CLASS(TapGestureRecognizer, GestureRecognizer)
public:
    static constexpr double kTapInterval = 0.35;   ///< longest pause between taps
    static constexpr double kAllowableMovement = 10;

    long numberOfTapsRequired() const { RT_MAIN_THREAD_ONLY(); return taps_; }
    void setNumberOfTapsRequired(long n) { RT_MAIN_THREAD_ONLY(); taps_ = n < 1 ? 1 : n; }
    long numberOfTouchesRequired() const { RT_MAIN_THREAD_ONLY(); return touchesRequired_; }
    void setNumberOfTouchesRequired(long n) { RT_MAIN_THREAD_ONLY(); touchesRequired_ = n < 1 ? 1 : n; }

protected:
    void touchesBegan(const TouchSet& touches) override;
    void touchesMoved(const TouchSet& touches) override;
    void touchesEnded(const TouchSet& touches) override;
    void touchesCancelled(const TouchSet& touches) override;
    void reset() override;

private:
    void fail();
    long taps_ = 1;
    long touchesRequired_ = 1;
    long tapsDone_ = 0;
    std::size_t down_ = 0;
    std::size_t maxDown_ = 0;
    Point start_;
    bool haveStart_ = false;
    rt::Ref<fnd::Timer> timer_;
};

/// A press held still for a while; then changes while it moves, ends when lifted.
class LongPressGestureRecognizer : public GestureRecognizer {
    RT_CLASS(LongPressGestureRecognizer, GestureRecognizer)
public:
    double minimumPressDuration() const { RT_MAIN_THREAD_ONLY(); return duration_; }
    void setMinimumPressDuration(double d) { RT_MAIN_THREAD_ONLY(); duration_ = d; }
    double allowableMovement() const { RT_MAIN_THREAD_ONLY(); return movement_; }
    void setAllowableMovement(double m) { RT_MAIN_THREAD_ONLY(); movement_ = m; }
    long numberOfTouchesRequired() const { RT_MAIN_THREAD_ONLY(); return touchesRequired_; }
    void setNumberOfTouchesRequired(long n) { RT_MAIN_THREAD_ONLY(); touchesRequired_ = n < 1 ? 1 : n; }

protected:
    void touchesBegan(const TouchSet& touches) override;
    void touchesMoved(const TouchSet& touches) override;
    void touchesEnded(const TouchSet& touches) override;
    void reset() override;

private:
    double duration_ = 0.5;
    double movement_ = 10;
    long touchesRequired_ = 1;
    Point start_;
    rt::Ref<fnd::Timer> timer_;
};

/// A drag: begins once the touches moved a little, reports translation and velocity.
class PanGestureRecognizer : public GestureRecognizer {
    RT_CLASS(PanGestureRecognizer, GestureRecognizer)
public:
    static constexpr double kHysteresis = 10;

    long minimumNumberOfTouches() const { RT_MAIN_THREAD_ONLY(); return minTouches_; }
    void setMinimumNumberOfTouches(long n) { RT_MAIN_THREAD_ONLY(); minTouches_ = n < 1 ? 1 : n; }
    long maximumNumberOfTouches() const { RT_MAIN_THREAD_ONLY(); return maxTouches_; }
    void setMaximumNumberOfTouches(long n) { RT_MAIN_THREAD_ONLY(); maxTouches_ = n; }

    /// How far the touches moved since the gesture began (or the last setTranslation),
    /// in the view's coordinates (nil: the window's).
    Point translationInView(const View* view) const;
    void setTranslation(Point translation, const View* view);
    /// Points per second, from the last two movements, in the view's coordinates.
    Point velocityInView(const View* view) const;

protected:
    void touchesBegan(const TouchSet& touches) override;
    void touchesMoved(const TouchSet& touches) override;
    void touchesEnded(const TouchSet& touches) override;
    void reset() override;
    /// Whether a pan starting with these touches may begin (the edge pan narrows it).
    virtual bool mayBeginAt(Point /*windowStart*/) const { return true; }

    Point start_;  ///< in the window, where the touches began

private:
    Vector windowDelta(const View* view, Point fromWindow, Point toWindow) const;
    long minTouches_ = 1;
    long maxTouches_ = 1 << 30;
    Point origin_;  ///< in the window, where translation counts from
    Point lastPoint_;
    fnd::TimeInterval lastTime_ = 0;
    Vector velocityWindow_;
};

namespace SwipeDirection {
inline constexpr unsigned Right = 1;
inline constexpr unsigned Left = 2;
inline constexpr unsigned Up = 4;
inline constexpr unsigned Down = 8;
}  // namespace SwipeDirection

/// A quick stroke in one of the allowed directions.
class SwipeGestureRecognizer : public GestureRecognizer {
    RT_CLASS(SwipeGestureRecognizer, GestureRecognizer)
public:
    static constexpr double kMinimumDistance = 50;
    static constexpr double kMaximumDuration = 0.5;

    unsigned direction() const { RT_MAIN_THREAD_ONLY(); return direction_; }
    void setDirection(unsigned d) { RT_MAIN_THREAD_ONLY(); direction_ = d; }
    long numberOfTouchesRequired() const { RT_MAIN_THREAD_ONLY(); return touchesRequired_; }
    void setNumberOfTouchesRequired(long n) { RT_MAIN_THREAD_ONLY(); touchesRequired_ = n < 1 ? 1 : n; }

protected:
    void touchesBegan(const TouchSet& touches) override;
    void touchesMoved(const TouchSet& touches) override;
    void touchesEnded(const TouchSet& touches) override;

private:
    unsigned directionOf(Vector v) const;
    unsigned direction_ = SwipeDirection::Right;
    long touchesRequired_ = 1;
    Point start_;
    fnd::TimeInterval startTime_ = 0;
};

namespace RectEdges {
inline constexpr unsigned Top = 1;
inline constexpr unsigned Left = 2;
inline constexpr unsigned Bottom = 4;
inline constexpr unsigned Right = 8;
inline constexpr unsigned None = 0;
inline constexpr unsigned All = Top | Left | Bottom | Right;
}  // namespace RectEdges

/// A pan that starts near one of the window's edges.
class ScreenEdgePanGestureRecognizer : public PanGestureRecognizer {
    RT_CLASS(ScreenEdgePanGestureRecognizer, PanGestureRecognizer)
public:
    static constexpr double kEdgeWidth = 20;
    unsigned edges() const { RT_MAIN_THREAD_ONLY(); return edges_; }
    void setEdges(unsigned e) { RT_MAIN_THREAD_ONLY(); edges_ = e; }

protected:
    bool mayBeginAt(Point windowStart) const override;

private:
    unsigned edges_ = 0;
};

}  // namespace ui
