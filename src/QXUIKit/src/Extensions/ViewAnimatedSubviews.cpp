#include "Extensions/ViewAnimatedSubviews.h"

#include <ui/Animation.h>

namespace zid {

namespace {
constexpr double kFadeDuration = 0.3;
constexpr double kZoomDuration = 0.5;
constexpr double kPushDuration = 0.3;
constexpr double kZoomScale = 5.0;
}  // namespace

ui::Vector pushVectorForAnimation(const ui::View& superview, QXSubviewAnimation animation) {
    ui::Size s = superview.bounds().size;
    switch (animation) {
    case QXSubviewAnimationKind::PushLeft: return {-s.width, 0};
    case QXSubviewAnimationKind::PushRight: return {s.width, 0};
    case QXSubviewAnimationKind::PushUp: return {0, -s.height};
    case QXSubviewAnimationKind::PushDown: return {0, s.height};
    default: return {0, 0};
    }
}

void addSubview(const rt::Ref<ui::View>& superview, const rt::Ref<ui::View>& view, QXSubviewAnimation animation) {
    switch (animation) {
    case QXSubviewAnimationKind::Fade: addSubviewWithFadeIn(superview, view); break;
    case QXSubviewAnimationKind::Zoom: addSubviewWithZoomOut(superview, view); break;
    case QXSubviewAnimationKind::PushLeft:
    case QXSubviewAnimationKind::PushRight:
    case QXSubviewAnimationKind::PushUp:
    case QXSubviewAnimationKind::PushDown:
        addSubviewWithPush(superview, view, pushVectorForAnimation(*superview, animation));
        break;
    default: superview->addSubview(view); break;
    }
}

void removeSubview(const rt::Ref<ui::View>& superview, const rt::Ref<ui::View>& view, QXSubviewAnimation animation,
                   QXCompletion completion) {
    switch (animation) {
    case QXSubviewAnimationKind::Fade: removeSubviewWithFadeOut(superview, view, std::move(completion)); break;
    case QXSubviewAnimationKind::Zoom: removeSubviewWithZoomIn(superview, view, std::move(completion)); break;
    case QXSubviewAnimationKind::PushLeft:
    case QXSubviewAnimationKind::PushRight:
    case QXSubviewAnimationKind::PushUp:
    case QXSubviewAnimationKind::PushDown:
        removeSubviewWithPush(superview, view, pushVectorForAnimation(*superview, animation), std::move(completion));
        break;
    default:
        view->removeFromSuperview();
        if (completion) completion();
        break;
    }
}

void removeFromSuperviewWithAnimation(const rt::Ref<ui::View>& view, QXSubviewAnimation animation,
                                      QXCompletion completion) {
    auto superview = view->superview();
    if (!superview) return;
    removeSubview(superview, view, animation, std::move(completion));
}

void addSubviewWithFadeIn(const rt::Ref<ui::View>& superview, const rt::Ref<ui::View>& view) {
    double alpha = view->alpha();
    ui::performWithoutAnimation([&] { view->setAlpha(0); });
    superview->addSubview(view);
    ui::animate(kFadeDuration, [view, alpha] { view->setAlpha(alpha); });
}

void removeSubviewWithFadeOut(const rt::Ref<ui::View>& /*superview*/, const rt::Ref<ui::View>& view,
                              QXCompletion completion) {
    double alpha = view->alpha();
    ui::animate(kFadeDuration, [view] { view->setAlpha(0); },
                [view, alpha, completion](bool) {
                    view->removeFromSuperview();
                    ui::performWithoutAnimation([&] { view->setAlpha(alpha); });
                    if (completion) completion();
                });
}

void addSubviewWithZoomOut(const rt::Ref<ui::View>& superview, const rt::Ref<ui::View>& view) {
    double alpha = view->alpha();
    ui::AffineTransform t = view->transform();
    ui::performWithoutAnimation([&] {
        view->setAlpha(0);
        view->setTransform(ui::transformScale(t, kZoomScale, kZoomScale));
    });
    superview->addSubview(view);
    ui::animate(kZoomDuration, [view, alpha, t] {
        view->setAlpha(alpha);
        view->setTransform(t);
    });
}

void removeSubviewWithZoomIn(const rt::Ref<ui::View>& /*superview*/, const rt::Ref<ui::View>& view,
                             QXCompletion completion) {
    double alpha = view->alpha();
    ui::AffineTransform t = view->transform();
    ui::animate(kZoomDuration,
                [view, t] {
                    view->setAlpha(0);
                    view->setTransform(ui::transformScale(t, kZoomScale, kZoomScale));
                },
                [view, alpha, t, completion](bool) {
                    view->removeFromSuperview();
                    ui::performWithoutAnimation([&] {
                        view->setAlpha(alpha);
                        view->setTransform(t);
                    });
                    if (completion) completion();
                });
}

// Pushes move the view's center, which lives in the superview's coordinates, so the
// distance is one superview width or height whatever the view's own transform.
void addSubviewWithPush(const rt::Ref<ui::View>& superview, const rt::Ref<ui::View>& view, ui::Vector v) {
    ui::Point c = view->center();
    ui::performWithoutAnimation([&] { view->setCenter({c.x - v.dx, c.y - v.dy}); });
    superview->addSubview(view);
    ui::animate(kPushDuration, [view, c] { view->setCenter(c); });
}

void removeSubviewWithPush(const rt::Ref<ui::View>& /*superview*/, const rt::Ref<ui::View>& view, ui::Vector v,
                           QXCompletion completion) {
    ui::Point c = view->center();
    ui::animate(kPushDuration, [view, c, v] { view->setCenter({c.x + v.dx, c.y + v.dy}); },
                [view, c, completion](bool) {
                    view->removeFromSuperview();
                    ui::performWithoutAnimation([&] { view->setCenter(c); });
                    if (completion) completion();
                });
}

}  // namespace zid
