#include "QXUIKit/Transitions/QXZoomTransitionAnimator.h"

#include <ui/Animation.h>
#include <ui/View.h>

namespace zid {

double QXZoomTransitionAnimator::transitionDuration(ui::ViewControllerContextTransitioning&) { return duration_; }

void QXZoomTransitionAnimator::animateTransition(ui::ViewControllerContextTransitioning& context) {
    auto ctx = context.selfAs<ui::ViewControllerContextTransitioning>();
    auto from = context.fromView();
    auto to = context.toView();
    auto container = context.containerView();
    double d = transitionDuration(context);
    if (!from || !to || !container) {
        context.completeTransition(false);
        return;
    }
    auto zoomed = ui::transformMakeScale(kZoomScale, kZoomScale);
    // A duration of 0 puts the end state in place at once.
    auto run = [d](const std::function<void()>& changes, const std::function<void()>& done) {
        if (d <= 0) {
            ui::performWithoutAnimation(changes);
            done();
            return;
        }
        ui::animate(d, changes, [done](bool) { done(); });
    };
    if (appearing_) {
        double fromAlpha = from->alpha();
        bool fromTouches = from->isUserInteractionEnabled();
        container->addSubview(to);
        from->setUserInteractionEnabled(false);
        ui::performWithoutAnimation([&] {
            to->setTransform(zoomed);
            to->setAlpha(0);
        });
        run(
            [&] {
                from->setAlpha(kCoveredAlpha);
                to->setTransform(ui::transformIdentity());
                to->setAlpha(1);
            },
            [ctx, from, to, fromAlpha, fromTouches] {
                if (ctx->transitionWasCancelled()) {
                    // Nothing was presented: the screen underneath is as it was.
                    to->removeFromSuperview();
                    ui::performWithoutAnimation([&] { from->setAlpha(fromAlpha); });
                    from->setUserInteractionEnabled(fromTouches);
                    ctx->completeTransition(false);
                    return;
                }
                ctx->completeTransition(true);
            });
        return;
    }
    auto fromTransform = from->transform();
    double fromAlpha = from->alpha();
    double toAlpha = to->alpha();
    bool toTouches = to->isUserInteractionEnabled();
    run(
        [&] {
            from->setTransform(zoomed);
            from->setAlpha(0);
            to->setAlpha(1);
        },
        [ctx, from, to, fromTransform, fromAlpha, toAlpha, toTouches] {
            if (ctx->transitionWasCancelled()) {
                // The presented view stays presented: shown as before, over the dimmed
                // presenter that still takes no touches.
                ui::performWithoutAnimation([&] {
                    from->setTransform(fromTransform);
                    from->setAlpha(fromAlpha);
                    to->setAlpha(toAlpha);
                });
                to->setUserInteractionEnabled(toTouches);
                ctx->completeTransition(false);
                return;
            }
            from->removeFromSuperview();
            to->setUserInteractionEnabled(true);
            ctx->completeTransition(true);
        });
}

}  // namespace zid
