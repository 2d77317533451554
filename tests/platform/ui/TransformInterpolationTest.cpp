// Transforms in flight: a turn stays a turn (no shrinking through a point), scales
// and translations move linearly, and the ends are exact.

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include <VirtualTime.h>
#include <ui/Animation.h>
#include <ui/GeometryValues.h>
#include <ui/View.h>

using namespace ui;

namespace {
constexpr double pi = std::numbers::pi;
double det(const AffineTransform& m) { return m.a * m.d - m.b * m.c; }
}  // namespace

TEST(TransformInterpolation, HalfTurnBackToIdentityTurnsAtFullSize) {
    AffineTransform half = transformRotate(AffineTransform(), pi);
    for (double t : {0.25, 0.5, 0.75}) {
        SCOPED_TRACE(t);
        AffineTransform m = interpolateTransform(half, AffineTransform(), t);
        EXPECT_NEAR(det(m), 1, 1e-12) << "no shrinking on the way";
        EXPECT_NEAR(std::hypot(m.a, m.b), 1, 1e-12);
        EXPECT_NEAR(std::fabs(std::atan2(m.b, m.a)), pi * (1 - t), 1e-9);
    }
    EXPECT_EQ(interpolateTransform(half, AffineTransform(), 0), half);
    EXPECT_EQ(interpolateTransform(half, AffineTransform(), 1), AffineTransform());
}

TEST(TransformInterpolation, TurnsTakeTheShorterWayAndScalesAndShiftsMoveLinearly) {
    AffineTransform from = transformRotate(AffineTransform(), pi * 0.9);
    AffineTransform to = transformRotate(AffineTransform(), -pi * 0.9);
    AffineTransform mid = interpolateTransform(from, to, 0.5);
    EXPECT_NEAR(std::fabs(std::atan2(mid.b, mid.a)), pi, 1e-9) << "through the half turn, not through 0";

    AffineTransform scaled{3, 0, 0, 5, 10, -20};
    AffineTransform m = interpolateTransform(AffineTransform(), scaled, 0.5);
    EXPECT_NEAR(m.a, 2, 1e-12);
    EXPECT_NEAR(m.d, 3, 1e-12);
    EXPECT_NEAR(m.b, 0, 1e-12);
    EXPECT_NEAR(m.c, 0, 1e-12);
    EXPECT_NEAR(m.tx, 5, 1e-12);
    EXPECT_NEAR(m.ty, -10, 1e-12);

    AffineTransform flat{0, 0, 0, 1, 0, 0};  // collapses x: moves component by component
    AffineTransform f = interpolateTransform(flat, AffineTransform(), 0.5);
    EXPECT_NEAR(f.a, 0.5, 1e-12);
    EXPECT_NEAR(f.d, 1, 1e-12);
}

class TurningView : public zidtest::VirtualTimeTest {};

TEST_F(TurningView, PresentedTransformTurnsAtFullSize) {
    auto view = rt::make<View>(Rect(0, 0, 40, 20));
    view->setTransform(transformRotate(AffineTransform(), pi));
    animate(1.0, 0, AnimationOptions::CurveLinear, [&] { view->setTransform(AffineTransform()); });
    advance(0.5);
    AffineTransform m = view->presentedTransform();
    EXPECT_NEAR(det(m), 1, 1e-9);
    EXPECT_NEAR(std::fabs(std::atan2(m.b, m.a)), pi / 2, 1e-9);
    EXPECT_NEAR(view->presentedFrame().size.width, 20, 1e-9) << "a 40 x 20 view a quarter turned is 20 wide";
    advance(0.6);
    EXPECT_EQ(view->presentedTransform(), AffineTransform());
}
