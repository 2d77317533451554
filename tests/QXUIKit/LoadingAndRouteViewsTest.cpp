// The loading view's endless spin on virtual time, its alignment and factories, and
// the route view that follows route availability (never available on Linux).

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include <VirtualTime.h>
#include <fnd/NotificationCenter.h>
#include <ui/Animation.h>

#include "LoadingView/LoadingView.h"
#include "QXUIKit/Resources/QXUIKitResources.h"
#include "QXUIKit/RouteView/QXAirplayView.h"

using namespace zid;
using ui::Rect;

namespace {

constexpr double pi = std::numbers::pi;

// The turn of the presented transform, 0..pi.
double presentedTurn(const ui::View& view) {
    ui::AffineTransform t = view.presentedTransform();
    return std::fabs(std::atan2(t.b, t.a));
}

rt::Ref<ui::Image> squareImage(int side) {
    std::vector<std::uint8_t> px(static_cast<std::size_t>(side * side * 4), 0xFF);
    return ui::Image::imageWithPixels(px.data(), px.size(), side, side);
}

class LoadingViews : public zidtest::VirtualTimeTest {};

// A route view that has a route to offer once told so.
bool routesAvailable = false;
class RoutedButtonView : public RouteButtonView {
    RT_CLASS(RoutedButtonView, RouteButtonView)
public:
    bool areWirelessRoutesAvailable() const override { return routesAvailable; }
};
class RoutedAirplayView : public QXAirplayView {
    RT_CLASS(RoutedAirplayView, QXAirplayView)
public:
    using QXAirplayView::QXAirplayView;

protected:
    rt::Ref<RouteButtonView> makeVolumeView() override { return rt::make<RoutedButtonView>(); }
};

void postRouteChange() {
    fnd::NotificationCenter::defaultCenter()->post(
        RouteButtonView::WirelessRoutesAvailableDidChangeNotification, nullptr);
}

}  // namespace

TEST_F(LoadingViews, DefaultViewCentresTheKitImageAndSpinsWithoutEnd) {
    auto view = LoadingView::createDefaultLoadingView();
    EXPECT_EQ(view->frame(), Rect(0, 0, 320, 62));
    EXPECT_TRUE(view->backgroundColor()->isEqual(*ui::Color::whiteColor()));
    EXPECT_EQ(view->autoresizingMask(), ui::Autoresizing::FlexibleWidth);
    auto imageView = view->loadingImageView();
    ASSERT_NE(imageView->image(), nullptr);
    EXPECT_EQ(imageView->image()->pngData(), qxUIKitImageNamed(LoadingView::kDefaultImageName)->pngData());
    ui::Size s = imageView->image()->size();
    EXPECT_EQ(imageView->frame(), Rect((320 - s.width) / 2, (62 - s.height) / 2, s.width, s.height));

    EXPECT_FALSE(ui::isAnimating(*imageView)) << "the spin starts on a later turn";
    drain();
    ASSERT_TRUE(ui::isAnimating(*imageView));
    EXPECT_EQ(imageView->transform(), ui::AffineTransform()) << "the model rests at no turn";
    EXPECT_NEAR(presentedTurn(*imageView), pi, 1e-9);
    advance(0.075);
    EXPECT_NEAR(presentedTurn(*imageView), pi * 0.75, 1e-6) << "linear: a quarter of the way";
    advance(0.075);
    EXPECT_NEAR(presentedTurn(*imageView), pi * 0.5, 1e-6);
    advance(0.3);
    EXPECT_NEAR(presentedTurn(*imageView), pi * 0.5, 1e-6) << "the half turn repeats";
    advance(3600);
    EXPECT_TRUE(ui::isAnimating(*imageView)) << "an hour later it still turns";
    EXPECT_NEAR(presentedTurn(*imageView), pi * 0.5, 1e-6);
    EXPECT_NEAR(imageView->presentedFrame().size.width, s.width, 1e-6) << "it turns at full size";
    advance(0.075);
    EXPECT_NEAR(imageView->presentedFrame().size.width, s.width * std::sqrt(2.0), 1e-6)
        << "an eighth of a turn from rest: the square stands on a corner";
}

TEST_F(LoadingViews, NewFrameOrSizeRecentresAndRestartsTheSpin) {
    auto view = LoadingView::createDefaultLoadingView();
    auto imageView = view->loadingImageView();
    view->setLoadingImage(squareImage(20));
    drain();
    advance(0.1);
    EXPECT_NEAR(presentedTurn(*imageView), pi * 2 / 3, 1e-6);

    view->setFrame(Rect(5, 5, 200, 100));
    EXPECT_EQ(imageView->frame(), Rect(90, 40, 20, 20));
    drain();
    EXPECT_NEAR(presentedTurn(*imageView), pi, 1e-9) << "restarted from the half turn";

    // A size that autoresizing gives re-centres too.
    auto host = rt::make<ui::View>(Rect(0, 0, 300, 100));
    view->setFrame(Rect(0, 0, 300, 100));
    host->addSubview(view);
    host->setFrame(Rect(0, 0, 400, 100));
    EXPECT_EQ(view->bounds().size.width, 400);
    EXPECT_EQ(imageView->frame(), Rect(190, 40, 20, 20));

    // Without an image nothing is aligned or scheduled any more.
    view->setLoadingImage(nullptr);
    EXPECT_EQ(imageView->image(), nullptr);
    drain();
    ui::removeAllAnimations(*imageView);
    drain();
    Rect before = imageView->frame();
    view->setFrame(Rect(0, 0, 100, 50));
    drain();
    EXPECT_EQ(imageView->frame(), before);
    EXPECT_FALSE(ui::isAnimating(*imageView));
}

TEST_F(LoadingViews, FullscreenFactoryMakesAPlainLoadingViewAndTintMakesATemplate) {
    auto view = FullscreenLoadingView::createDefaultFullscreenLoadingView();
    EXPECT_EQ(view->className(), "LoadingView");
    EXPECT_EQ(view->autoresizingMask(), 58u);
    EXPECT_EQ(view->frame(), Rect());
    auto full = rt::make<FullscreenLoadingView>(Rect(0, 0, 10, 10));
    EXPECT_TRUE(full->isKindOf(LoadingView::staticClass()));

    auto ownTint = view->tintColor();
    view->setTintColor(ui::Color::redColor());
    EXPECT_EQ(view->loadingImage()->renderingMode(), ui::ImageRenderingMode::AlwaysTemplate);
    EXPECT_EQ(view->loadingImageView()->image(), view->loadingImage());
    EXPECT_TRUE(view->loadingImageView()->tintColor()->isEqual(*ui::Color::redColor()));
    EXPECT_TRUE(view->tintColor()->isEqual(*ownTint)) << "the view's own tint stays";
}

TEST_F(LoadingViews, RouteViewIsHiddenOnLinuxAndFollowsTheAvailabilityNotification) {
    auto view = rt::make<QXAirplayView>(Rect(0, 0, 44, 44));
    auto button = view->volumeViewForAirplay();
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->areWirelessRoutesAvailable());
    EXPECT_TRUE(view->isHidden());
    EXPECT_TRUE(button->showsRouteButton());
    EXPECT_EQ(button->autoresizingMask(), 63u);
    EXPECT_EQ(button->superview(), view);
    postRouteChange();
    EXPECT_TRUE(view->isHidden()) << "still no route";

    routesAvailable = false;
    auto routed = rt::make<RoutedAirplayView>(Rect(0, 0, 44, 44));
    EXPECT_TRUE(routed->isHidden());
    routesAvailable = true;
    EXPECT_TRUE(routed->isHidden()) << "nothing changes before the notification";
    postRouteChange();
    EXPECT_FALSE(routed->isHidden());
    routesAvailable = false;
    postRouteChange();
    EXPECT_TRUE(routed->isHidden());

    rt::Weak<QXAirplayView> gone = routed;
    routed.reset();
    EXPECT_TRUE(gone.expired()) << "the trigger keeps nothing alive";
    postRouteChange();
}

TEST_F(LoadingViews, RouteButtonIsSizedToItsImageAndCentredInTheViewsOwnBounds) {
    auto host = rt::make<ui::View>(Rect(0, 0, 320, 44));
    auto view = rt::make<QXAirplayView>(Rect(200, 0, 44, 44));
    host->addSubview(view);
    view->setAirPlayIconImage(squareImage(20), ui::ControlState::Normal);
    view->setAirPlayIconImage(squareImage(24), ui::ControlState::Highlighted);
    auto button = view->volumeViewForAirplay();
    EXPECT_FALSE(button->showsVolumeSlider());
    EXPECT_EQ(button->routeButtonImageForState(ui::ControlState::Highlighted)->pixelWidth(), 24);
    EXPECT_EQ(button->routeButtonImageForState(ui::ControlState::Selected)->pixelWidth(), 20)
        << "a state without an image shows the normal one";
    EXPECT_EQ(button->frame(), Rect(12, 12, 20, 20)) << "in the middle of the view, not offset by its origin";
}
