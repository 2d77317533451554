#pragma once
// A presentation transition: the presented view zooms in from slightly enlarged and
// transparent while the presenting view dims; dismissed, it zooms back out and fades
// while the view under it comes back. Hand it out from a transitioning delegate.

#include <ui/ViewControllerTransitioning.h>

namespace zid {

class QXZoomTransitionAnimator : public rt::Object, public ui::ViewControllerAnimatedTransitioning {
    RT_CLASS(QXZoomTransitionAnimator, rt::Object)
public:
    /// The scale the zoomed view starts from (presenting) or ends at (dismissing).
    static constexpr double kZoomScale = 1.26;
    /// The presenting view's alpha while it is covered.
    static constexpr double kCoveredAlpha = 0.3;

    bool isAppearing() const { return appearing_; }
    void setAppearing(bool appearing) { appearing_ = appearing; }
    double duration() const { return duration_; }
    void setDuration(double seconds) { duration_ = seconds; }

    double transitionDuration(ui::ViewControllerContextTransitioning& context) override;
    /// With a duration of 0 the transition completes before the call returns. A
    /// cancelled presentation takes the presented view out again and gives the view
    /// under it back its touches and its alpha.
    void animateTransition(ui::ViewControllerContextTransitioning& context) override;

private:
    bool appearing_ = false;
    double duration_ = 0;
};

}  // namespace zid
