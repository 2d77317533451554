// What the controls draw for their state: a slider's track and thumb images, a
// button's image per state, a spinner turning on the loop's clock.

#include <cstdint>
#include <vector>

#include <GoldenImage.h>
#include <SolidImage.h>
#include <TestPaths.h>
#include <VirtualTime.h>
#include <gtest/gtest.h>
#include <ui/Button.h>
#include <ui/GestureRecognizer.h>
#include <ui/Renderer.h>
#include <ui/Slider.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

namespace {

using namespace ui;
using zidtest::solidImage;

/// The pixel at a point of a picture as 0xRRGGBB.
std::uint32_t rgb(const Image& image, int x, int y) { return image.pixelAt(x, y) & 0xFFFFFFu; }

/// Every pixel, to tell two pictures apart.
std::vector<std::uint32_t> allPixels(const Image& image) {
    std::vector<std::uint32_t> out;
    for (int y = 0; y < image.pixelHeight(); ++y)
        for (int x = 0; x < image.pixelWidth(); ++x) out.push_back(image.pixelAt(x, y));
    return out;
}

class ControlPicturesTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<Window>(Rect(0, 0, 400, 100));
    }
    rt::Ref<Window> window;
};

rt::Ref<Slider> pictureSlider() {
    auto s = rt::make<Slider>(Rect(0, 0, 228, 40));
    s->setMinimumTrackImage(solidImage(15, 4, 0xFFFF0000u)->resizableImageWithCapInsets({0, 5, 0, 5}),
                            ControlState::Normal);
    s->setMaximumTrackImage(solidImage(15, 4, 0xFF0000FFu)->resizableImageWithCapInsets({0, 5, 0, 5}),
                            ControlState::Normal);
    s->setThumbImage(solidImage(16, 16, 0xFFFFFFFFu), ControlState::Normal);
    s->setThumbImage(solidImage(16, 16, 0xFF00FF00u), ControlState::Highlighted);
    return s;
}

TEST_F(ControlPicturesTest, SliderSplitsItsTrackAtTheThumbAndShowsTheThumbOfItsState) {
    auto s = pictureSlider();
    s->setMinimumValue(100);
    s->setMaximumValue(400);
    s->setValue(250);
    window->addSubview(s);
    // 200 points of travel: the thumb's centre sits at 14 + 100.
    auto picture = renderToImage(*s);
    EXPECT_EQ(rgb(*picture, 60, 20), 0xFF0000u) << "the played part left of the thumb";
    EXPECT_EQ(rgb(*picture, 180, 20), 0x0000FFu) << "the rest right of it";
    EXPECT_EQ(rgb(*picture, 114, 13), 0xFFFFFFu) << "the thumb, 16 points high, centred";
    EXPECT_EQ(rgb(*picture, 60, 10), 0x000000u) << "the track keeps its own height";
    EXPECT_MATCHES_GOLDEN(*picture, zidtest::testPath("golden"), "slider_images_idle");

    // While a finger holds the thumb it is highlighted and follows the finger.
    TouchInjector in(window);
    int f = in.down(Point{114, 20});
    in.move(f, Point{164, 20});
    EXPECT_DOUBLE_EQ(s->value(), 325);
    picture = renderToImage(*s);
    EXPECT_EQ(rgb(*picture, 164, 20), 0x00FF00u) << "the highlighted thumb under the finger";
    EXPECT_EQ(rgb(*picture, 150, 20), 0xFF0000u);
    EXPECT_MATCHES_GOLDEN(*picture, zidtest::testPath("golden"), "slider_images_dragging");
    in.cancel(f);
    EXPECT_EQ(rgb(*renderToImage(*s), 164, 13), 0xFFFFFFu) << "a cancelled drag drops the highlight";
}

TEST_F(ControlPicturesTest, SliderWithoutImagesDrawsNothing) {
    auto s = rt::make<Slider>(Rect(0, 0, 100, 40));
    s->setValue(0.5);
    auto picture = renderToImage(*s);
    for (int x = 0; x < 100; x += 7) EXPECT_EQ(picture->pixelAt(x, 20) >> 24, 0u) << x;
}

TEST_F(ControlPicturesTest, ButtonShowsTheImageOfTheStateATouchPutsItIn) {
    auto b = Button::buttonWithType(ButtonType::Custom);
    b->setFrame(Rect(10, 10, 40, 40));
    b->setImage(solidImage(30, 30, 0xFFFF0000u), ControlState::Normal);
    b->setImage(solidImage(30, 30, 0xFF00FF00u), ControlState::Highlighted);
    b->setImage(solidImage(30, 30, 0xFF0000FFu), ControlState::Selected);
    b->setImage(solidImage(30, 30, 0xFFFFFF00u), ControlState::Selected | ControlState::Highlighted);
    window->addSubview(b);
    window->layoutIfNeeded();
    auto centre = [&] { return rgb(*renderToImage(*b), 20, 20); };
    EXPECT_EQ(centre(), 0xFF0000u);
    TouchInjector in(window);
    int f = in.down(Point{30, 30});
    window->layoutIfNeeded();
    EXPECT_EQ(centre(), 0x00FF00u) << "highlighted while the finger is inside";
    in.move(f, Point{300, 90});
    window->layoutIfNeeded();
    EXPECT_EQ(centre(), 0xFF0000u) << "not once it has left the tracking area";
    in.up(f);
    b->setSelected(true);
    window->layoutIfNeeded();
    EXPECT_EQ(centre(), 0x0000FFu);
    f = in.down(Point{30, 30});
    window->layoutIfNeeded();
    EXPECT_EQ(centre(), 0xFFFF00u);
    in.up(f);
    b->setEnabled(false);
    window->layoutIfNeeded();
    EXPECT_EQ(centre(), 0xFF0000u) << "disabled and selected has no image of its own: the normal one";
}

TEST_F(ControlPicturesTest, SpinnerTurnsOnTheLoopsClockOnlyWhileAnimating) {
    auto spinner = rt::make<ActivityIndicatorView>(ActivityIndicatorViewStyle::WhiteLarge);
    auto still = renderToImage(*spinner);
    spinner->startAnimating();
    EXPECT_EQ(spinner->phase(), 0);
    TouchInjector::wait(ActivityIndicatorView::kStepInterval * 3 + 0.001);
    EXPECT_EQ(spinner->phase(), 3);
    auto turned = renderToImage(*spinner);
    EXPECT_NE(allPixels(*still), allPixels(*turned));
    TouchInjector::wait(1.0);
    EXPECT_EQ(spinner->phase(), 3) << "a full turn of twelve steps a second";
    spinner->stopAnimating();
    TouchInjector::wait(1.0 / 24);
    TouchInjector::wait(1.0);
    EXPECT_EQ(spinner->phase(), 3) << "stopped, it stays";
}

TEST_F(ControlPicturesTest, RecognizersKeepTheirAllowedTypesAsData) {
    auto tap = rt::make<TapGestureRecognizer>();
    tap->setAllowedTouchTypes({0});
    tap->setAllowedPressTypes({});
    EXPECT_EQ(tap->allowedTouchTypes(), std::vector<long>{0});
    EXPECT_TRUE(tap->allowedPressTypes().empty());
    auto v = rt::make<View>(Rect(0, 0, 100, 100));
    int taps = 0;
    tap->addTarget(nullptr, "tap", [&](GestureRecognizer&) { ++taps; });
    v->addGestureRecognizer(tap);
    window->addSubview(v);
    TouchInjector in(window);
    in.tap(Point{50, 50});
    TouchInjector::wait(1);
    EXPECT_EQ(taps, 1) << "a finger is a direct touch and still taps";
}

}  // namespace

namespace {

TEST_F(ControlPicturesTest, CapsCoveringTheWholeImageStillFillTheTrack) {
    // A 15-pixel track image with 15-point caps on both sides: the caps share the
    // image, and the track is filled from end to end without a gap.
    auto s = rt::make<Slider>(Rect(0, 0, 228, 40));
    s->setMinimumTrackImage(solidImage(15, 4, 0xFFFF0000u)->resizableImageWithCapInsets({0, 15, 0, 15}),
                            ControlState::Normal);
    s->setMaximumTrackImage(solidImage(15, 4, 0xFF0000FFu)->resizableImageWithCapInsets({0, 15, 0, 15}),
                            ControlState::Normal);
    s->setValue(0.5);
    auto picture = renderToImage(*s);
    for (int x = 1; x < 113; x += 4) EXPECT_EQ(rgb(*picture, x, 20), 0xFF0000u) << x;
    for (int x = 116; x < 227; x += 4) EXPECT_EQ(rgb(*picture, x, 20), 0x0000FFu) << x;
}

}  // namespace
