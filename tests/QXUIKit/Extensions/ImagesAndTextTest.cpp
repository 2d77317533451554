// Image effects, low-level images, text measuring and the weighted system font.

#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include <TestPaths.h>
#include <ui/ImageContext.h>
#include <ui/PixelOps.h>
#include <ui/Screen.h>

#include "QXUIKit/Extensions/FontSystemFont.h"
#include "Extensions/ImageEffects.h"
#include "Extensions/ImageLowLevel.h"
#include "Extensions/StringMeasuring.h"
#include "QXUIKit/Support/QXConsole.h"
#include "CairoDrawing.h"

using namespace zid;
using namespace ui;

namespace {

class ScreenScale : public ::testing::Test {
protected:
    void SetUp() override { saved_ = Screen::mainScreen()->scale(); }
    void TearDown() override {
        Screen::mainScreen()->setScale(saved_);
        setConsoleLogSink(nullptr);
    }
    double saved_ = 1;
};

rt::Ref<Image> stripes(Size size, double scale) {
    auto ctx = rt::make<ImageContext>(size, false, scale);
    for (int i = 0; i * 8 < size.width; ++i)
        ctx->fillRect(Rect(i * 8, 0, 8, size.height), i % 2 ? *Color::rgba(0.9, 0.1, 0.1, 1) : *Color::rgba(0.1, 0.2, 0.9, 1));
    return ctx->image();
}

}  // namespace

TEST_F(ScreenScale, BlurKernelSizesFollowTheRadius) {
    EXPECT_EQ(blurKernelSize(60), 113) << "radius 30 at scale 2";
    EXPECT_EQ(blurKernelSize(30), 57) << "56 is even, so 57";
    std::int16_t m[16];
    saturationMatrix(1.0, m);
    const std::int16_t identity[16] = {256, 0, 0, 0, 0, 256, 0, 0, 0, 0, 256, 0, 0, 0, 0, 256};
    EXPECT_TRUE(std::equal(m, m + 16, identity));
    saturationMatrix(0.0, m);
    EXPECT_EQ(m[0], 18);  // 0.0722 * 256 = 18.48
    EXPECT_EQ(m[4], 183);  // 0.7152 * 256 = 183.09
    EXPECT_EQ(m[8], 54);   // 0.2126 * 256 = 54.43
}

TEST_F(ScreenScale, InvalidImagesAnswerNilWithALogLine) {
    std::vector<std::string> lines;
    setConsoleLogSink([&](const std::string& l) { lines.push_back(l); });
    auto empty = rt::make<ImageContext>(Size{0, 10}, false, 1.0)->image();
    EXPECT_EQ(applyLightEffect(*empty), nullptr);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("*** error: invalid size: (0.00 x 10.00). Both dimensions must be >= 1: ", 0), 0u);
}

TEST_F(ScreenScale, TintWithoutBlurOnlyCoversTheImage) {
    Screen::mainScreen()->setScale(1);
    auto image = stripes({16, 8}, 1);
    auto out = applyBlurWithRadius(*image, 0, Color::white(1, 0.5), 1.0, nullptr);
    ASSERT_TRUE(out);
    std::uint32_t p = out->pixelAt(2, 2);  // blue stripe (0.1, 0.2, 0.9) half covered by white
    EXPECT_NEAR(int(p >> 16 & 255), int((0.1 * 0.5 + 0.5) * 255), 2);
    EXPECT_NEAR(int(p & 255), int((0.9 * 0.5 + 0.5) * 255), 2);
}

TEST_F(ScreenScale, EffectsBlurAndMask) {
    Screen::mainScreen()->setScale(2);
    auto image = stripes({40, 20}, 2);
    auto light = applyLightEffect(*image);
    ASSERT_TRUE(light);
    EXPECT_EQ(light->size(), (Size{40, 20}));
    EXPECT_EQ(light->scale(), 2);
    // The blur evens the stripes out: neighbouring pixels of different stripes meet.
    std::uint32_t a = light->pixelAt(20, 20), b = light->pixelAt(36, 20);
    EXPECT_NEAR(int(a >> 16 & 255), int(b >> 16 & 255), 12);

    // With a mask, the blur shows only where the mask is opaque (left half).
    auto maskCtx = rt::make<ImageContext>(Size{40, 20}, false, 2);
    maskCtx->fillRect(Rect(0, 0, 20, 20), *Color::whiteColor());
    auto masked = applyBlurWithRadius(*image, 5, nullptr, 1.0, maskCtx->image());
    ASSERT_TRUE(masked);
    EXPECT_EQ(masked->pixelAt(60, 10), image->pixelAt(60, 10)) << "right half untouched";
    EXPECT_NE(masked->pixelAt(14, 10), image->pixelAt(14, 10)) << "left half blurred";

    Screen::mainScreen()->setScale(1);
    auto picture = rt::make<ImageContext>(Size{480, 40}, false, 1);
    auto source = rt::make<ImageContext>(Size{80, 40}, false, 1);
    for (int i = 0; i < 4; ++i)
        source->fillRect(Rect(i * 20, 0, 20, 40), i % 2 ? *Color::rgba(0.9, 0.1, 0.1, 1) : *Color::rgba(0.1, 0.2, 0.9, 1));
    source->fillRect(Rect(30, 10, 20, 20), *Color::whiteColor());
    auto small = source->image();
    auto leftHalf = rt::make<ImageContext>(Size{80, 40}, false, 1);
    leftHalf->fillRect(Rect(0, 0, 40, 40), *Color::whiteColor());
    picture->drawImage(*small, Rect(0, 0, 80, 40));
    picture->drawImage(*applyLightEffect(*small), Rect(80, 0, 80, 40));
    picture->drawImage(*applyExtraLightEffect(*small), Rect(160, 0, 80, 40));
    picture->drawImage(*applyDarkEffect(*small), Rect(240, 0, 80, 40));
    picture->drawImage(*applyTintEffectWithColor(*small, Color::greenColor()), Rect(320, 0, 80, 40));
    picture->drawImage(*applyBlurWithRadius(*small, 4, nullptr, 0.0, leftHalf->image()), Rect(400, 0, 80, 40));
    EXPECT_MATCHES_GOLDEN(*picture->image(), zidtest::testPath("golden"), "image_effects");
}

TEST_F(ScreenScale, PixelBuffersAndClippedCopies) {
    Screen::mainScreen()->setScale(2);
    std::vector<std::uint8_t> red = {0x00, 0x00, 0xFF, 0xFF};
    auto one = imageFromRGBABuffer(red.data(), red.size(), 1, 1);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->pixelAt(0, 0), 0xFFFF0000u);
    EXPECT_EQ(one->scale(), 2);
    red.assign(4, 0);
    EXPECT_EQ(one->pixelAt(0, 0), 0xFFFF0000u) << "the caller's buffer may be reused";
    EXPECT_EQ(imageFromRGBABuffer(red.data(), red.size(), 2, 1), nullptr) << "buffer shorter than w * h * 4";
    EXPECT_EQ(imageFromRGBABuffer(red.data(), red.size(), -1, -1), nullptr);
    EXPECT_EQ(imageFromRGBABuffer(red.data(), 16, INT_MAX, 2), nullptr);

    auto ctx = rt::make<ImageContext>(Size{50, 50}, false, 2);
    ctx->fillRect(Rect(0, 0, 50, 50), *Color::blackColor());
    auto rounded = imageWithRoundedCorners(*ctx->image(), 10);
    EXPECT_EQ(rounded->pixelWidth(), 100);
    EXPECT_EQ(rounded->scale(), 1);
    EXPECT_EQ(rounded->pixelAt(1, 1) >> 24, 0u) << "a 20-pixel corner radius";
    EXPECT_EQ(rounded->pixelAt(8, 8) >> 24, 255u);
    EXPECT_EQ(rounded->pixelAt(50, 0) >> 24, 255u);

    auto wide = rt::make<ImageContext>(Size{100, 50}, false, 1);
    wide->fillRect(Rect(0, 0, 100, 50), *Color::blackColor());
    auto oval = ovalImage(*wide->image());
    EXPECT_EQ(oval->pixelAt(10, 25) >> 24, 255u) << "an ellipse, not a circle";
    EXPECT_EQ(oval->pixelAt(2, 2) >> 24, 0u);
}

TEST(TextHelpers, MeasuringRoundsOutToWholePoints) {
    auto font = Font::systemFontOfSize(13);
    Size s = boundingSizeWithFont("Highlights of the week", font, {1000, 1000});
    EXPECT_EQ(s.width, std::ceil(s.width));
    EXPECT_EQ(s.height, std::ceil(s.height));
    TextLayout l;
    l.font = font;
    Size raw = measureText(AttributedString("Highlights of the week"), {1000, 1000}, l);
    EXPECT_EQ(s, (Size{std::ceil(raw.width), std::ceil(raw.height)}));
    Size narrow = boundingSizeWithFont("Highlights of the week", font, {60, 1000});
    EXPECT_LE(narrow.width, 60);
    EXPECT_GT(narrow.height, s.height);
    TextAttributes attributes;
    attributes.font = Font::boldSystemFontOfSize(13);
    EXPECT_GT(boundingSizeWithAttributes("Highlights of the week", attributes, {1000, 1000}).width, s.width);
}

TEST(TextHelpers, SystemFontWeights) {
    EXPECT_EQ(UIFontWeightFromQXFontWeight(0), FontWeight::UltraLight);
    EXPECT_EQ(UIFontWeightFromQXFontWeight(5), FontWeight::Semibold);
    EXPECT_EQ(UIFontWeightFromQXFontWeight(8), FontWeight::Black);
    EXPECT_EQ(UIFontWeightFromQXFontWeight(12), FontWeight::Regular);
    EXPECT_EQ(UIFontWeightPostfixFromQXFontWeight(5), std::optional<std::string>("Bold"));
    EXPECT_EQ(UIFontWeightPostfixFromQXFontWeight(6), std::optional<std::string>("Bold"));
    EXPECT_EQ(UIFontWeightPostfixFromQXFontWeight(3), std::nullopt);
    EXPECT_EQ(UIFontWeightPostfixFromQXFontWeight(7), std::nullopt);
    auto f = qx_systemFontOfSize(14, 12);
    EXPECT_EQ(f->pointSize(), 14);
    EXPECT_EQ(f->weight(), FontWeight::Regular);
    EXPECT_EQ(qx_systemFontOfSize(14, 6)->numericWeight(), 700);
}
