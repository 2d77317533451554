// Rectangle operations, transforms, and view geometry under transforms.

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include <ui/View.h>
#include <ui/Window.h>

using namespace ui;

namespace {
void expectRect(const Rect& actual, const Rect& expected, double eps = 1e-9) {
    EXPECT_TRUE(nearlyEqual(actual, expected, eps))
        << "(" << actual.origin.x << ", " << actual.origin.y << ", " << actual.size.width << ", " << actual.size.height
        << ") != (" << expected.origin.x << ", " << expected.origin.y << ", " << expected.size.width << ", "
        << expected.size.height << ")";
}
void expectPoint(Point a, Point e, double eps = 1e-9) {
    EXPECT_NEAR(a.x, e.x, eps);
    EXPECT_NEAR(a.y, e.y, eps);
}
}  // namespace

TEST(Geometry, RectangleOperations) {
    Rect a(0, 0, 10, 10), b(5, 5, 10, 10), c(10, 0, 5, 5);
    expectRect(rectIntersection(a, b), Rect(5, 5, 5, 5));
    EXPECT_TRUE(rectIsNull(rectIntersection(a, Rect(20, 20, 1, 1))));
    EXPECT_FALSE(rectIntersectsRect(a, c)) << "touching edges do not intersect";
    EXPECT_TRUE(rectIntersectsRect(a, b));
    expectRect(rectUnion(a, b), Rect(0, 0, 15, 15));
    expectRect(rectUnion(rectNull(), b), b);
    expectRect(rectStandardize(Rect(10, 10, -4, -6)), Rect(6, 4, 4, 6));
    expectRect(rectInset(a, 2, 3), Rect(2, 3, 6, 4));
    EXPECT_TRUE(rectIsNull(rectInset(a, 6, 0)));
    expectRect(rectIntegral(Rect(0.5, 0.25, 1.0, 1.0)), Rect(0, 0, 2, 2));
    EXPECT_TRUE(rectContainsPoint(a, {0, 0}));
    EXPECT_FALSE(rectContainsPoint(a, {10, 5})) << "the maximum edge is outside";
    EXPECT_TRUE(rectContainsRect(a, Rect(1, 1, 9, 9)));
    EXPECT_FALSE(rectContainsRect(a, b));
    Rect slice, rest;
    rectDivide(Rect(0, 0, 100, 50), &slice, &rest, 30, RectEdge::MaxX);
    expectRect(slice, Rect(70, 0, 30, 50));
    expectRect(rest, Rect(0, 0, 70, 50));
    rectDivide(Rect(0, 0, 100, 50), &slice, &rest, 80, RectEdge::MinY);
    expectRect(slice, Rect(0, 0, 100, 50));
    expectRect(rest, Rect(0, 50, 100, 0));
    expectRect(insetRect(Rect(0, 0, 100, 50), EdgeInsets{1, 2, 3, 4}), Rect(2, 1, 94, 46));
}

TEST(Geometry, TransformsComposeInTheOrderTheyAreApplied) {
    // Scale then translate: (1, 1) -> (2, 2) -> (12, 2).
    AffineTransform t = transformConcat(transformMakeScale(2, 2), transformMakeTranslation(10, 0));
    expectPoint(pointApplyTransform({1, 1}, t), {12, 2});
    // transformTranslate applies the translation first: (1, 1) -> (11, 1) -> (22, 2).
    AffineTransform u = transformTranslate(transformMakeScale(2, 2), 10, 0);
    expectPoint(pointApplyTransform({1, 1}, u), {22, 2});
    AffineTransform r = transformMakeRotation(std::numbers::pi / 2);
    expectPoint(pointApplyTransform({1, 0}, r), {0, 1});
    AffineTransform any = transformRotate(transformScale(transformMakeTranslation(3, -4), 2, 0.5), 0.3);
    AffineTransform back = transformConcat(any, transformInvert(any));
    expectPoint(pointApplyTransform({7, 9}, back), {7, 9});
    expectRect(rectApplyTransform(Rect(0, 0, 10, 20), r), Rect(-20, 0, 20, 10));
    AffineTransform singular = transformMakeScale(0, 1);
    EXPECT_EQ(transformInvert(singular), singular);
}

TEST(Geometry, FrameOfRotatedAndScaledViewIsTheBoundingBoxAboutTheCenter) {
    auto v = rt::make<View>(Rect(10, 20, 40, 20));
    v->setTransform(transformScale(transformMakeRotation(std::numbers::pi / 2), 2, 1));
    // Scaled to 80 x 20 first, then a quarter turn: 20 x 80 about the center (30, 30).
    expectRect(v->frame(), Rect(20, -10, 20, 80), 1e-9);
    expectPoint(v->center(), {30, 30});
    EXPECT_EQ(v->bounds(), Rect(0, 0, 40, 20)) << "the bounds are untouched by the transform";
    // 45 degrees: the bounding box of the rotated rectangle.
    v->setTransform(transformMakeRotation(std::numbers::pi / 4));
    double side = (40 + 20) / std::sqrt(2.0);
    expectRect(v->frame(), Rect(30 - side / 2, 30 - side / 2, side, side), 1e-9);
    // A translation moves the frame, not the center.
    v->setTransform(transformMakeTranslation(5, 7));
    expectRect(v->frame(), Rect(15, 27, 40, 20));
    // Setting the frame under a scale keeps the transform and sizes the bounds.
    v->setTransform(transformMakeScale(2, 2));
    v->setFrame(Rect(0, 0, 100, 60));
    EXPECT_EQ(v->bounds().size, (Size{50, 30}));
    expectRect(v->frame(), Rect(0, 0, 100, 60));
}

TEST(Geometry, ConvertRectRoundTripsBetweenSiblingSubtreesWithTransforms) {
    auto window = rt::make<Window>(Rect(0, 0, 320, 480));
    auto left = rt::make<View>(Rect(10, 10, 100, 200));
    auto right = rt::make<View>(Rect(150, 40, 120, 120));
    auto leftChild = rt::make<View>(Rect(20, 30, 50, 40));
    auto rightChild = rt::make<View>(Rect(10, 10, 60, 30));
    window->addSubview(left);
    window->addSubview(right);
    left->addSubview(leftChild);
    right->addSubview(rightChild);
    left->setTransform(transformMakeRotation(0.4));
    right->setTransform(transformScale(transformMakeRotation(-1.1), 1.5, 0.75));
    rightChild->setTransform(transformMakeRotation(std::numbers::pi / 2));
    right->setBounds(Rect(5, -8, 120, 120));  // a bounds origin shifts the content

    Point p{12.5, 7.25};
    Point there = leftChild->convertPointToView(p, rightChild.get());
    expectPoint(rightChild->convertPointToView(there, leftChild.get()), p, 1e-9);
    expectPoint(leftChild->convertPointFromView(there, rightChild.get()), p, 1e-9);
    // Through the window, step by step, gives the same point.
    Point inWindow = leftChild->convertPointToView(p, nullptr);
    expectPoint(rightChild->convertPointFromView(inWindow, nullptr), there, 1e-9);
    expectPoint(window->convertPointToView(inWindow, rightChild.get()), there, 1e-9);

    // Rectangles: a quarter-turned target keeps the rectangle a rectangle, so the round
    // trip is exact.
    left->setTransform(transformMakeRotation(std::numbers::pi / 2));
    right->setTransform(transformScale(transformMakeRotation(-std::numbers::pi / 2), 2, 0.5));
    Rect r(3, 4, 10, 6);
    Rect moved = leftChild->convertRectToView(r, rightChild.get());
    expectRect(rightChild->convertRectToView(moved, leftChild.get()), r, 1e-9);
    expectRect(leftChild->convertRectFromView(moved, rightChild.get()), r, 1e-9);
}

TEST(Geometry, PlainConversionsAddOriginsAndSubtractBoundsOrigins) {
    auto root = rt::make<View>(Rect(0, 0, 300, 300));
    auto a = rt::make<View>(Rect(10, 20, 100, 100));
    auto b = rt::make<View>(Rect(5, 5, 50, 50));
    root->addSubview(a);
    a->addSubview(b);
    expectPoint(b->convertPointToView({1, 2}, root.get()), {16, 27});
    a->setBounds(Rect(30, 40, 100, 100));
    expectPoint(b->convertPointToView({1, 2}, root.get()), {-14, -13});
    expectPoint(root->convertPointToView({-14, -13}, b.get()), {1, 2});
    // Outside a window, nil means the root of the tree.
    expectPoint(b->convertPointToView({1, 2}, nullptr), {-14, -13});
}
