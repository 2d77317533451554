#pragma once
// Custom presentation transitions. A presented controller's transitioning delegate may
// supply an animator for its presentation and for its dismissal; the animator is handed
// a transition context that names the two controllers and their views and the
// container the transition happens in, and tells the context when it is done.
//
// The context owns the outcome: completeTransition(true) finishes the presentation (or
// dismissal), completeTransition(false) undoes it. A test or an interactive driver ends
// a transition early with cancelInteractiveTransition(); the animator then reads
// transitionWasCancelled() when its animation ends.

#include <functional>
#include <memory>

#include <rt/Object.h>

namespace ui {

class View;
class ViewController;

class ViewControllerContextTransitioning : public rt::Object {
    RT_CLASS(ViewControllerContextTransitioning, rt::Object)
public:
    /// Runs once, with whether the transition completed (false when it was cancelled or
    /// the animator reported it did not).
    using Finish = std::function<void(bool didComplete)>;

    ViewControllerContextTransitioning(rt::Ref<ViewController> from, rt::Ref<ViewController> to,
                                       rt::Ref<View> container, bool animated, Finish finish);

    rt::Ref<ViewController> fromViewController() const { return from_; }
    rt::Ref<ViewController> toViewController() const { return to_; }
    /// The controllers' views.
    rt::Ref<View> fromView() const;
    rt::Ref<View> toView() const;
    rt::Ref<View> containerView() const { return container_; }
    bool isAnimated() const { return animated_; }

    /// Marks the transition cancelled; the animator finishes it with
    /// completeTransition(!transitionWasCancelled()).
    void cancelInteractiveTransition() { cancelled_ = true; }
    bool transitionWasCancelled() const { return cancelled_; }

    /// Ends the transition; later calls do nothing.
    void completeTransition(bool didComplete);
    bool isCompleted() const { return completed_; }

private:
    rt::Ref<ViewController> from_;
    rt::Ref<ViewController> to_;
    rt::Ref<View> container_;
    bool animated_;
    bool cancelled_ = false;
    bool completed_ = false;
    Finish finish_;
};

/// What animates a transition.
class ViewControllerAnimatedTransitioning {
public:
    virtual ~ViewControllerAnimatedTransitioning() = default;
    virtual double transitionDuration(ViewControllerContextTransitioning& context) = 0;
    /// Adds the incoming view to the container when it brings one in, animates, and
    /// calls the context's completeTransition when done.
    virtual void animateTransition(ViewControllerContextTransitioning& context) = 0;
};

/// Both answers are optional: nil keeps the toolkit's own transition.
class ViewControllerTransitioningDelegate {
public:
    virtual ~ViewControllerTransitioningDelegate() = default;
    virtual std::shared_ptr<ViewControllerAnimatedTransitioning> animationControllerForPresentedController(
        ViewController& /*presented*/, ViewController& /*presenting*/) {
        return nullptr;
    }
    virtual std::shared_ptr<ViewControllerAnimatedTransitioning> animationControllerForDismissedController(
        ViewController& /*dismissed*/) {
        return nullptr;
    }
};

}  // namespace ui
