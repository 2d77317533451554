// Adding and removing subviews with fades, zooms and pushes, on virtual time.

#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include <VirtualTime.h>
#include <ui/Animation.h>

#include "Extensions/ViewAnimatedSubviews.h"

using namespace zid;
using namespace ui;

namespace {
class AnimatedSubviews : public zidtest::VirtualTimeTest {
protected:
    rt::Ref<View> parent = rt::make<View>(Rect(0, 0, 200, 100));
};
}  // namespace

TEST_F(AnimatedSubviews, KindsOutsideOneToSixAddAndRemoveAtOnce) {
    for (QXSubviewAnimation kind : {0L, 7L, -1L}) {
        auto v = rt::make<View>(Rect(10, 10, 20, 20));
        addSubview(parent, v, kind);
        EXPECT_EQ(v->superview(), parent) << kind;
        EXPECT_FALSE(isAnimating(*v)) << kind;
        bool done = false;
        removeSubview(parent, v, kind, [&] { done = true; });
        EXPECT_EQ(v->superview(), nullptr) << kind;
        EXPECT_TRUE(done) << "the completion runs right away for kind " << kind;
    }
}

TEST_F(AnimatedSubviews, FadeAndZoomTimingAndRestoreOnRemoval) {
    auto v = rt::make<View>(Rect(10, 10, 20, 20));
    v->setAlpha(0.8);
    addSubview(parent, v, QXSubviewAnimationKind::Fade);
    EXPECT_EQ(v->alpha(), 0.8) << "the model is at its end value at once";
    EXPECT_DOUBLE_EQ(v->presentedAlpha(), 0.0);
    advance(0.3);
    EXPECT_DOUBLE_EQ(v->presentedAlpha(), 0.8);

    bool removed = false;
    removeSubview(parent, v, QXSubviewAnimationKind::Zoom, [&] { removed = true; });
    advance(0.25);
    EXPECT_EQ(v->superview(), parent);
    EXPECT_GT(v->presentedTransform().a, 1.0);
    advance(0.25);
    EXPECT_TRUE(removed);
    EXPECT_EQ(v->superview(), nullptr);
    EXPECT_EQ(v->alpha(), 0.8) << "a removed view keeps its old alpha";
    EXPECT_EQ(v->transform(), transformIdentity()) << "and its old transform";

    addSubview(parent, v, QXSubviewAnimationKind::Zoom);
    EXPECT_DOUBLE_EQ(v->presentedTransform().a, 5.0);
    advance(0.5);
    EXPECT_EQ(v->presentedTransform(), transformIdentity());
}

TEST_F(AnimatedSubviews, PushesTravelOneSuperviewWidthWhateverTheViewsTransform) {
    // A view scaled by 2: the push still starts exactly one superview width away.
    auto scaled = rt::make<View>(Rect(50, 40, 20, 20));
    scaled->setTransform(transformMakeScale(2, 2));
    Rect home = scaled->frame();
    addSubview(parent, scaled, QXSubviewAnimationKind::PushLeft);  // vector (-200, 0)
    Rect start = scaled->presentedFrame();
    EXPECT_NEAR(start.origin.x - home.origin.x, 200, 1e-9);
    EXPECT_NEAR(start.origin.y, home.origin.y, 1e-9);
    advance(0.3);
    EXPECT_TRUE(nearlyEqual(scaled->presentedFrame(), home));

    // A rotated view moves along the vector, not sideways.
    auto turned = rt::make<View>(Rect(50, 40, 40, 20));
    turned->setTransform(transformMakeRotation(std::numbers::pi / 2));
    Rect turnedHome = turned->frame();
    addSubview(parent, turned, QXSubviewAnimationKind::PushDown);  // vector (0, 100)
    Rect turnedStart = turned->presentedFrame();
    EXPECT_NEAR(turnedStart.origin.x, turnedHome.origin.x, 1e-9);
    EXPECT_NEAR(turnedHome.origin.y - turnedStart.origin.y, 100, 1e-9);

    // Removal slides out along the vector and leaves the view where it was.
    advance(0.3);
    bool done = false;
    removeSubview(parent, turned, QXSubviewAnimationKind::PushRight, [&] { done = true; });
    advance(0.15);
    EXPECT_NEAR(turned->presentedFrame().origin.x - turnedHome.origin.x, 100, 1e-6) << "half way at half time (ease)";
    advance(0.15);
    EXPECT_TRUE(done);
    EXPECT_TRUE(nearlyEqual(turned->frame(), turnedHome));
    EXPECT_EQ(turned->transform(), transformMakeRotation(std::numbers::pi / 2));
}

TEST_F(AnimatedSubviews, RemovingAViewWithoutSuperviewDoesNothing) {
    auto loose = rt::make<View>();
    bool called = false;
    removeFromSuperviewWithAnimation(loose, QXSubviewAnimationKind::Fade, [&] { called = true; });
    removeFromSuperviewWithAnimation(loose, 0, [&] { called = true; });
    advance(1.0);
    EXPECT_FALSE(called);

    auto child = rt::make<View>();
    parent->addSubview(child);
    removeFromSuperviewWithAnimation(child, QXSubviewAnimationKind::Fade, [&] { called = true; });
    advance(0.3);
    EXPECT_TRUE(called);
    EXPECT_EQ(child->superview(), nullptr);
}
