// Images: pixel buffers (and their size checks), PNG and JPEG, image contexts.

#include <climits>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include <ui/ImageContext.h>

using namespace ui;

TEST(Images, PixelBuffersOfTheWrongSizeAnswerNil) {
    std::vector<std::uint8_t> red = {0x00, 0x00, 0xFF, 0xFF};
    auto one = Image::imageWithPixels(red.data(), red.size(), 1, 1);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->pixelAt(0, 0), 0xFFFF0000u) << "blue green red alpha in memory: opaque red";
    red[2] = 0;  // the image owns a copy
    EXPECT_EQ(one->pixelAt(0, 0), 0xFFFF0000u);

    std::vector<std::uint8_t> buf(2 * 3 * 4);
    EXPECT_TRUE(Image::imageWithPixels(buf.data(), buf.size(), 2, 3));
    EXPECT_FALSE(Image::imageWithPixels(buf.data(), buf.size() - 1, 2, 3)) << "too short";
    EXPECT_FALSE(Image::imageWithPixels(buf.data(), buf.size() + 4, 2, 3)) << "too long";
    EXPECT_FALSE(Image::imageWithPixels(buf.data(), buf.size(), -2, -3)) << "negative sizes";
    EXPECT_FALSE(Image::imageWithPixels(buf.data(), buf.size(), 0, 6));
    EXPECT_FALSE(Image::imageWithPixels(buf.data(), 0, INT_MAX, INT_MAX)) << "overflowing sizes";
    EXPECT_FALSE(Image::imageWithPixels(nullptr, 0, 1, 1));
}

TEST(Images, PngRoundTripIsExactAndByteStable) {
    auto ctx = rt::make<ImageContext>(Size{20, 10}, false, 2.0);
    ctx->fillRect(Rect(0, 0, 10, 10), *Color::rgba(1, 0, 0, 1));
    ctx->fillRect(Rect(10, 0, 10, 10), *Color::rgba(0, 0, 1, 0.5));
    auto image = ctx->image();
    EXPECT_EQ(image->pixelWidth(), 40);
    EXPECT_EQ(image->size(), (Size{20, 10}));
    auto png = image->pngData();
    EXPECT_EQ(png, image->pngData());
    auto decoded = Image::imageWithData(png, 2.0);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->size(), (Size{20, 10}));
    EXPECT_EQ(decoded->pixelAt(5, 5), 0xFFFF0000u);
    std::uint32_t half = decoded->pixelAt(30, 5);
    EXPECT_NEAR(int(half >> 24), 128, 1);
    EXPECT_NEAR(int(half & 255), 128, 1) << "premultiplied blue";
    EXPECT_FALSE(Image::imageWithData({1, 2, 3, 4}));
    EXPECT_FALSE(Image::imageWithContentsOfFile("/nonexistent/picture.png"));
}

TEST(Images, JpegEncodesAtAQualityAndDecodes) {
    auto ctx = rt::make<ImageContext>(Size{32, 32}, true, 1.0);
    ctx->fillRect(Rect(0, 0, 32, 32), *Color::rgba(0.2, 0.6, 0.4, 1));
    auto image = ctx->image();
    auto high = image->jpegData(0.95), low = image->jpegData(0.05);
    ASSERT_FALSE(high.empty());
    EXPECT_EQ(high[0], 0xFF);
    EXPECT_EQ(high[1], 0xD8);
    auto decoded = Image::imageWithData(high);
    ASSERT_TRUE(decoded);
    std::uint32_t p = decoded->pixelAt(16, 16);
    EXPECT_NEAR(int(p >> 16 & 255), 51, 4);
    EXPECT_NEAR(int(p >> 8 & 255), 153, 4);
    EXPECT_NEAR(int(p & 255), 102, 4);
    EXPECT_LE(low.size(), high.size());
}

TEST(Images, ContextsClipToShapesAndMasks) {
    auto ctx = rt::make<ImageContext>(Size{20, 20}, false, 1.0);
    ctx->saveState();
    ctx->clipToOval(Rect(0, 0, 20, 20));
    ctx->fillRect(Rect(0, 0, 20, 20), *Color::blackColor());
    ctx->restoreState();
    auto oval = ctx->image();
    EXPECT_EQ(oval->pixelAt(0, 0) >> 24, 0u) << "corners are outside the oval";
    EXPECT_EQ(oval->pixelAt(10, 10) >> 24, 255u);

    // An image mask: left half opaque, right half clear.
    auto maskCtx = rt::make<ImageContext>(Size{20, 20}, false, 1.0);
    maskCtx->fillRect(Rect(0, 0, 10, 20), *Color::whiteColor());
    auto mask = maskCtx->image();
    auto masked = rt::make<ImageContext>(Size{20, 20}, false, 1.0);
    masked->saveState();
    masked->clipToMask(Rect(0, 0, 20, 20), *mask);
    masked->fillRect(Rect(0, 0, 20, 20), *Color::redColor());
    masked->restoreState();
    auto result = masked->image();
    EXPECT_EQ(result->pixelAt(5, 5), 0xFFFF0000u);
    EXPECT_EQ(result->pixelAt(15, 5), 0u);

    // Template images draw in the tint colour; cap insets keep the corners.
    auto tmpl = mask->imageWithRenderingMode(ImageRenderingMode::AlwaysTemplate);
    auto tinted = rt::make<ImageContext>(Size{20, 20}, false, 1.0);
    tinted->drawImage(*tmpl, Rect(0, 0, 20, 20), Color::blueColor().get());
    EXPECT_EQ(tinted->image()->pixelAt(5, 5), 0xFF0000FFu);
    EXPECT_EQ(tinted->image()->pixelAt(15, 5), 0u);
}

TEST(Images, CapInsetsKeepTheCornersWhenStretched) {
    // 10 x 10: a red 2-point frame around a blue middle.
    auto src = rt::make<ImageContext>(Size{10, 10}, false, 1.0);
    src->fillRect(Rect(0, 0, 10, 10), *Color::redColor());
    src->fillRect(Rect(2, 2, 6, 6), *Color::blueColor());
    auto resizable = src->image()->resizableImageWithCapInsets(EdgeInsets{2, 2, 2, 2});
    EXPECT_EQ(resizable->capInsets(), (EdgeInsets{2, 2, 2, 2}));
    auto out = rt::make<ImageContext>(Size{40, 20}, false, 1.0);
    out->drawImage(*resizable, Rect(0, 0, 40, 20));
    auto img = out->image();
    EXPECT_EQ(img->pixelAt(0, 0), 0xFFFF0000u);
    EXPECT_EQ(img->pixelAt(1, 10), 0xFFFF0000u) << "the left cap stays 2 points wide";
    EXPECT_EQ(img->pixelAt(3, 10), 0xFF0000FFu) << "the middle stretches";
    EXPECT_EQ(img->pixelAt(36, 10), 0xFF0000FFu);
    EXPECT_EQ(img->pixelAt(38, 10), 0xFFFF0000u);
    EXPECT_EQ(img->pixelAt(20, 18), 0xFFFF0000u) << "the bottom cap";
}
