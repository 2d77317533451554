// Overlays, relocation, dimensions, fullscreen, visibility, first responder, view
// factories by nib name and sensitive info.

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <VirtualTime.h>
#include <fnd/NotificationCenter.h>
#include <rt/Class.h>
#include <rt/MethodTable.h>
#include <ui/Animation.h>
#include <ui/Application.h>
#include <ui/Label.h>
#include <ui/Window.h>

#include "QXFoundation/Listening/IListenable.h"
#include "Extensions/ViewDimensions.h"
#include "Extensions/ViewFullscreen.h"
#include "Extensions/ViewLoadFromNib.h"
#include "Extensions/ViewOverlay.h"
#include "Extensions/ViewRelocate.h"
#include "Extensions/ViewSensitiveInfo.h"
#include "Extensions/ViewVisibility.h"

using namespace zid;
using namespace ui;

namespace {

class Categories : public zidtest::VirtualTimeTest {
protected:
    void TearDown() override {
        Application::sharedApplication()->reset();
        zidtest::VirtualTimeTest::TearDown();
    }
    rt::Ref<Window> window = rt::make<Window>(Rect(0, 0, 320, 480));
};

/// The four corners of the view's bounds in window coordinates: the view's look.
std::vector<Point> corners(const View& v) {
    Rect b = v.bounds();
    std::vector<Point> out;
    for (Point p : {b.origin, Point{maxX(b), minY(b)}, Point{maxX(b), maxY(b)}, Point{minX(b), maxY(b)}})
        out.push_back(v.convertPointToView(p, nullptr));
    return out;
}
void expectSameLook(const std::vector<Point>& a, const std::vector<Point>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_NEAR(a[i].x, b[i].x, 1e-9) << "corner " << i;
        EXPECT_NEAR(a[i].y, b[i].y, 1e-9) << "corner " << i;
    }
}

class Responsive : public View {
    RT_CLASS(Responsive, View)
public:
    using View::View;
    bool canBecomeFirstResponder() const override { return true; }
};

}  // namespace

TEST_F(Categories, OverlaysFillTheViewAndTellListeners) {
    auto host = rt::make<View>(Rect(0, 0, 100, 80));
    EXPECT_FALSE(overlays(*host).has_value()) << "no list before the first use";
    std::vector<std::string> heard;
    auto* cls = rt::Class::allocateClassPair(&rt::Object::staticClass(), "OverlayListenerProbe");
    for (const char* sel : {"view:willPresentOverlay:", "view:didPresentOverlay:", "view:willRemoveOverlay:",
                            "view:didRemoveOverlay:"}) {
        std::string name = sel;
        rt::addMethod(*cls, rt::sel(sel), rt::implementation<void(rt::Object&, rt::Value, rt::Value)>(
                                              [&heard, name](rt::Object&, rt::Value, rt::Value) { heard.push_back(name); }));
    }
    auto listener = rt::make<rt::Object>();
    listener->setObjectClass(*cls);
    addListener(*host, listener);

    auto overlay = rt::make<View>(Rect(5, 5, 10, 10));
    addOverlay(host, overlay);
    addOverlay(host, overlay);  // twice on the list
    EXPECT_EQ(overlay->frame(), host->bounds());
    EXPECT_EQ(overlay->autoresizingMask(), 18u);
    EXPECT_EQ(overlays(*host)->size(), 2u);
    heard.clear();
    removeOverlay(host, overlay);
    EXPECT_EQ(heard, (std::vector<std::string>{"view:willRemoveOverlay:", "view:didRemoveOverlay:"}))
        << "one removal takes every entry and tells once";
    EXPECT_TRUE(overlays(*host)->empty());
    EXPECT_EQ(overlay->superview(), nullptr);
    heard.clear();
    removeOverlay(host, rt::make<View>());
    EXPECT_TRUE(heard.empty()) << "a view that was never added tells nobody";

    auto shown = rt::make<View>();
    presentOverlay(host, shown, 0);
    EXPECT_EQ(shown->superview(), host);
    removeOverlay(host, shown);
    EXPECT_EQ(shown->superview(), host) << "a presented view is not on the list";
    auto a = rt::make<View>(), b = rt::make<View>();
    addOverlay(host, a);
    addOverlay(host, b);
    removeAllOverlays(host);
    EXPECT_TRUE(overlays(*host)->empty());
    EXPECT_EQ(a->superview(), nullptr);
}

TEST_F(Categories, TotalTransformComposesTheViewsOwnFirst) {
    auto container = rt::make<View>(Rect(0, 0, 100, 100));
    container->setTransform(transformMakeScale(2, 1));
    auto v = rt::make<View>(Rect(0, 0, 40, 20));
    v->setTransform(transformMakeRotation(std::numbers::pi / 2));
    container->addSubview(v);
    AffineTransform t = totalTransform(*v);
    // Rotated first (40 x 20 becomes 20 x 40), then stretched: 40 x 40 on screen.
    Rect shown = rectApplyTransform(Rect(0, 0, 40, 20), t);
    EXPECT_NEAR(shown.size.width, 40, 1e-9);
    EXPECT_NEAR(shown.size.height, 40, 1e-9);
}

TEST_F(Categories, RelocationKeepsTheLookUnderNonUniformScalesAndAnyRotation) {
    auto container = rt::make<View>(Rect(30, 40, 200, 200));
    container->setTransform(transformMakeScale(2, 1));
    window->addSubview(container);
    auto v = rt::make<View>(Rect(20, 30, 40, 20));
    v->setTransform(transformMakeRotation(std::numbers::pi / 2));
    container->addSubview(v);
    auto before = corners(*v);
    relocateSubview(window, v);
    EXPECT_EQ(v->superview(), window);
    expectSameLook(corners(*v), before);
    EXPECT_EQ(v->bounds().size, (Size{40, 20})) << "the bounds keep their size";

    // A rotation that is not a quarter turn, into a scaled and turned receiver.
    auto receiver = rt::make<View>(Rect(100, 100, 80, 80));
    receiver->setTransform(transformRotate(transformMakeScale(0.5, 1.5), 0.3));
    window->addSubview(receiver);
    v->setTransform(transformMakeRotation(0.7));
    before = corners(*v);
    relocateSubviewToIndex(receiver, v, 0);
    EXPECT_EQ(receiver->subviews().front(), v);
    expectSameLook(corners(*v), before);

    // Views of different windows are not touched.
    auto other = rt::make<Window>(Rect(0, 0, 100, 100));
    auto stranger = rt::make<View>(Rect(1, 2, 3, 4));
    other->addSubview(stranger);
    relocateGeometry(receiver, stranger);
    EXPECT_EQ(stranger->frame(), Rect(1, 2, 3, 4));
}

TEST_F(Categories, DimensionsAndRectangleFunctions) {
    EXPECT_EQ(CGRectFromCoords(10, 20, 4, 5), Rect(4, 5, 6, 15));
    EXPECT_EQ(CGRectAlignTop(Rect(0, 10, 50, 100), 30), Rect(0, 30, 50, 80));
    EXPECT_EQ(CGRectAlignBottom(Rect(0, 10, 50, 100), 60), Rect(0, 10, 50, 50));
    EXPECT_EQ(CGRectAlignLeft(Rect(10, 0, 50, 100), 20), Rect(20, 0, 40, 100));
    EXPECT_EQ(CGRectAlignRight(Rect(10, 0, 50, 100), 40), Rect(10, 0, 30, 100));
    EXPECT_EQ(CGRectResize(Rect(1, 2, 3, 4), 5, 6), Rect(1, 2, 5, 6));
    EXPECT_EQ(CGRectMove(Rect(1, 2, 3, 4), 7, 8), Rect(7, 8, 3, 4));

    auto v = rt::make<View>(Rect(0, 100, 320, 200));
    window->addSubview(v);
    auto keyboard = [](double y) {
        return rt::make<fnd::Notification>(
            KeyboardWillShowNotification, nullptr,
            rt::Dictionary{{KeyboardFrameEndUserInfoKey, toValue(Rect(0, y, 320, 216))}});
    };
    EXPECT_EQ(keyboardScreenRectWithNotification(*keyboard(250)), Rect(0, 250, 320, 216));
    EXPECT_DOUBLE_EQ(keyboardBottomOverhangWithGap(*v, 10, *keyboard(250)), 60);
    EXPECT_DOUBLE_EQ(keyboardBottomOverhangWithGap(*v, 10, *keyboard(311)), 0) << "keyboard below bottom + gap";
    // A bounds origin does not change how far the keyboard covers the view.
    v->setBounds(Rect(0, 30, 320, 200));
    EXPECT_DOUBLE_EQ(keyboardBottomOverhangWithGap(*v, 10, *keyboard(250)), 60);
    EXPECT_EQ(relativeRectFromScreenRect(*v, Rect(0, 100, 10, 10)), Rect(0, 30, 10, 10));
    EXPECT_EQ(localRectFromScreenRect(*v, Rect(0, 100, 10, 10)), Rect(0, 100, 10, 10));

    showBorders(*v, true);
    EXPECT_EQ(v->layer()->borderWidth(), 1.0);
    EXPECT_TRUE(v->layer()->borderColor()->isEqual(*Color::orangeColor()));
    showBorders(*v, false);
    EXPECT_EQ(v->layer()->borderWidth(), 0.0) << "NO takes the border away";
}

TEST_F(Categories, VisibilityAndFirstResponderSearch) {
    auto parent = rt::make<View>(Rect(0, 0, 100, 100));
    auto v = rt::make<View>(Rect(10, 10, 10, 10));
    parent->addSubview(v);
    EXPECT_FALSE(isVisible(*v)) << "no window";
    window->addSubview(parent);
    EXPECT_TRUE(isVisible(*v));
    EXPECT_TRUE(isVisible(*window));
    v->setAlpha(0.0);
    EXPECT_FALSE(isVisible(*v));
    v->setAlpha(0.001);
    EXPECT_TRUE(isVisible(*v));
    parent->setHidden(true);
    EXPECT_FALSE(isVisible(*v)) << "a hidden superview hides it";
    parent->setHidden(false);
    v->setCenter({-100, -100});
    EXPECT_FALSE(isVisible(*v)) << "outside the window's bounds";

    auto deep = rt::make<Responsive>(Rect(0, 0, 5, 5));
    auto side = rt::make<View>(Rect(0, 0, 5, 5));
    parent->addSubview(side);
    side->addSubview(deep);
    EXPECT_EQ(findFirstResponder(window), nullptr);
    ASSERT_TRUE(deep->becomeFirstResponder());
    EXPECT_EQ(findFirstResponder(window), deep);
    EXPECT_EQ(findFirstResponder(side), deep);
    EXPECT_EQ(findFirstResponder(v), nullptr);
}

TEST_F(Categories, FullscreenEntersTheWindowAndComesBackToThePlaceholder) {
    auto home = rt::make<View>(Rect(10, 20, 200, 150));
    window->addSubview(home);
    auto v = rt::make<View>(Rect(5, 5, 40, 20));
    v->setAutoresizingMask(18);
    home->addSubview(v);
    std::vector<bool> announced;
    auto token = rt::observe(v, "fullscreen", rt::KVONew,
                             [&](const rt::KVOChange& c) { announced.push_back(c.newValue.boolValue()); });
    setFullscreen(v, false, false);
    EXPECT_TRUE(announced.empty()) << "the current value changes nothing";
    EXPECT_EQ(placeholderView(*v), nullptr);

    setFullscreen(v, true, false);
    EXPECT_TRUE(isFullscreen(*v));
    EXPECT_EQ(announced, (std::vector<bool>{true}));
    EXPECT_EQ(v->superview(), window);
    EXPECT_TRUE(nearlyEqual(v->frame(), window->bounds()));
    auto placeholder = placeholderView(*v);
    ASSERT_TRUE(placeholder);
    EXPECT_TRUE(placeholder->isHidden());
    EXPECT_EQ(placeholder->superview(), home);
    EXPECT_EQ(placeholder->frame(), Rect(5, 5, 40, 20));
    EXPECT_EQ(placeholder->autoresizingMask(), 18u);
    EXPECT_EQ(fullscreenPlaceholderViewTag(*v), static_cast<long>(v->hash()));

    setFullscreen(v, false, false);
    EXPECT_EQ(announced, (std::vector<bool>{true, false}));
    EXPECT_EQ(v->superview(), home);
    EXPECT_TRUE(nearlyEqual(v->frame(), Rect(5, 5, 40, 20)));
    EXPECT_EQ(placeholder->superview(), nullptr);
    EXPECT_EQ(placeholderView(*v), nullptr);
    EXPECT_EQ(home->subviews().size(), 1u);
}

TEST_F(Categories, FullscreenWhosePlaceholderLostItsSuperviewStaysInTheWindow) {
    auto home = rt::make<View>(Rect(10, 20, 200, 150));
    window->addSubview(home);
    auto v = rt::make<View>(Rect(5, 5, 40, 20));
    home->addSubview(v);
    setFullscreen(v, true, false);
    home->removeFromSuperview();  // the place the view came from goes away
    setFullscreen(v, false, true);
    advance(0.3);
    EXPECT_FALSE(isFullscreen(*v));
    EXPECT_EQ(v->superview(), window) << "restored to the window, not lost";
    EXPECT_EQ(v->transform(), transformIdentity());
    EXPECT_EQ(v->bounds().size, (Size{40, 20}));
    EXPECT_EQ(v->center(), (Point{160, 240}));
    EXPECT_EQ(placeholderView(*v), nullptr);
}

TEST_F(Categories, FullscreenFollowsTheDeviceOrientation) {
    auto app = Application::sharedApplication();
    auto home = rt::make<View>(Rect(0, 0, 200, 150));
    home->setTransform(transformMakeScale(0.5, 0.5));
    window->addSubview(home);
    auto v = rt::make<View>(Rect(0, 0, 40, 20));
    home->addSubview(v);
    app->setDeviceOrientation(DeviceOrientation::FaceUp);
    setFullscreen(v, true, true);
    advance(0.3);
    EXPECT_EQ(v->transform(), transformMakeScale(0.5, 0.5)) << "face up keeps the previous total transform";
    EXPECT_TRUE(nearlyEqual(v->frame(), window->bounds(), 1e-9));

    int attempts = app->rotationAttempts();
    app->setDeviceOrientation(DeviceOrientation::LandscapeLeft);
    EXPECT_EQ(app->statusBarOrientation(), InterfaceOrientation::LandscapeRight) << "the same number, 3";
    EXPECT_EQ(app->rotationAttempts(), attempts + 1);
    EXPECT_EQ(home->subviews().size(), 1u) << "only the placeholder";
    EXPECT_EQ(window->subviews().size(), 3u) << "home, the black backdrop and the view";
    advance(0.3);
    EXPECT_TRUE(nearlyEqual(v->frame(), window->bounds(), 1e-9));
    EXPECT_NEAR(v->transform().b, 1.0, 1e-12) << "a quarter turn";
    EXPECT_EQ(window->subviews().size(), 2u) << "the backdrop is gone";

    app->setDeviceOrientation(DeviceOrientation::PortraitUpsideDown);
    EXPECT_EQ(app->statusBarOrientation(), InterfaceOrientation::LandscapeRight) << "ignored on a phone";
    setFullscreen(v, false, false);
    app->setDeviceOrientation(DeviceOrientation::Portrait);
    EXPECT_EQ(app->statusBarOrientation(), InterfaceOrientation::LandscapeRight) << "no longer observed";
}

TEST_F(Categories, FullscreenUnderAnyRotationKeepsTheViewsShapeAndComesBackExactly) {
    auto app = Application::sharedApplication();
    app->setDeviceOrientation(DeviceOrientation::FaceUp);
    auto home = rt::make<View>(Rect(40, 60, 200, 150));
    home->setTransform(transformScale(transformMakeRotation(0.3), 1.5, 0.5));
    window->addSubview(home);
    auto v = rt::make<View>(Rect(10, 20, 40, 20));
    v->setTransform(transformMakeRotation(0.2));
    home->addSubview(v);
    auto before = corners(*v);
    setFullscreen(v, true, false);
    EXPECT_EQ(v->bounds().size, (Size{40, 20})) << "a turned view keeps its size";
    EXPECT_TRUE(nearlyEqual(Rect(v->center(), Size{}), Rect(Point{160, 240}, Size{}), 1e-9)) << "and is centred";
    setFullscreen(v, false, false);
    EXPECT_EQ(v->superview(), home);
    expectSameLook(corners(*v), before);
}

TEST_F(Categories, ViewFactoriesStandInForNibs) {
    EXPECT_TRUE(createFromMainBundleWithClass(Label::staticClass()).isNil());
    auto made = rt::make<Label>();
    registerNib("Label", [&](const rt::Dictionary&) { return std::vector<rt::Value>{rt::make<View>(), made}; });
    rt::Value v = createFromMainBundleWithClass(Label::staticClass());
    EXPECT_EQ(v.object(), made) << "the last top-level object";
    registerNib("Label", [](const rt::Dictionary&) { return std::vector<rt::Value>{}; });
    EXPECT_TRUE(createWithClass(Label::staticClass(), nullptr, {}).isNil());
    registerNib("Label", nullptr);
}

TEST_F(Categories, SensitiveInfoMakesOnePairOfTriggers) {
    auto v = rt::make<View>();
    setSensitiveInfo(v, false);
    EXPECT_TRUE(v->associatedObject("QXBackgroundNotificationHandler").isNil());
    setSensitiveInfo(v, true);
    rt::Value first = v->associatedObject("QXBackgroundNotificationHandler");
    ASSERT_TRUE(first.isObject());
    setSensitiveInfo(v, true);
    EXPECT_EQ(v->associatedObject("QXBackgroundNotificationHandler").object(), first.object()) << "one pair";
    EXPECT_TRUE(sensitiveInfo(*v));
    fnd::NotificationCenter::defaultCenter()->post(ApplicationDidEnterBackgroundNotification);
    setSensitiveInfo(v, false);
    EXPECT_TRUE(v->associatedObject("QXBackgroundNotificationHandler").isNil());
    EXPECT_TRUE(v->associatedObject("QXForegroundNotificationHandler").isNil());
}
