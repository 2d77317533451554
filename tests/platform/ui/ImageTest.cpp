// Images: pixel buffers (and their size checks), PNG and JPEG, image contexts.

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include <rt/Exception.h>
#include <ui/ImageContext.h>

#include <SolidImage.h>
#include <TestPaths.h>
#include "CairoDrawing.h"

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

namespace {

/// The PNG of a white image.
std::vector<std::uint8_t> solidPNG(int w, int h) { return zidtest::solidImage(w, h, 0xFFFFFFFF)->pngData(); }

long peakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

/// The body of a seed of the image fuzz target's corpus, which begins with the byte that
/// picks the scale.
std::vector<std::uint8_t> corpusBody(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> seed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!seed.empty()) seed.erase(seed.begin());
    return seed;
}

/// Puts the process-wide limits back however a test ends.
struct LimitsGuard {
    ImageDecodingLimits saved = Image::decodingLimits();
    ~LimitsGuard() { Image::setDecodingLimits(saved); }
};

}  // namespace

TEST(ImageDecoding, HostileBodiesAreRefusedOnTheSizeTheyDeclareBeforeAnyPixelIsMade) {
    namespace fs = std::filesystem;
    int files = 0;
    long peakBefore = peakResidentKiB();
    auto started = std::chrono::steady_clock::now();
    for (const auto& entry : fs::directory_iterator(zidtest::testPath("image_corpus"))) {
        // The corpus also holds ordinary images the fuzzer starts from; the hostile bodies
        // say what they declare in their names.
        if (entry.path().filename().string().find("_declares_") == std::string::npos) continue;
        SCOPED_TRACE(entry.path().filename().string());
        const std::vector<std::uint8_t> body = corpusBody(entry.path());
        auto result = Image::decode(body.data(), body.size());
        EXPECT_FALSE(result.image);
        EXPECT_EQ(result.status, ImageDecodeStatus::TooLarge);
        auto limits = Image::decodingLimits();
        EXPECT_TRUE(result.declaredWidth > limits.maxWidth || result.declaredHeight > limits.maxHeight ||
                    (long long)result.declaredWidth * result.declaredHeight > limits.maxPixels)
            << result.declaredWidth << " x " << result.declaredHeight;
        EXPECT_FALSE(Image::imageWithData(body));
        ++files;
    }
    EXPECT_GE(files, 9);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // Refusing is cheap (milliseconds); decoding them would take seconds each and the
    // memory below. Room for a loaded machine.
    EXPECT_LT(seconds, 10.0) << "refusing is cheap";
    EXPECT_LT(peakResidentKiB() - peakBefore, 64 * 1024) << "no pixel memory was taken for them";
}

namespace {

void appendChunk(std::vector<std::uint8_t>& png, const char* type, const std::vector<std::uint8_t>& data) {
    auto be32 = [&](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<std::uint8_t>(v >> shift));
    };
    be32(static_cast<std::uint32_t>(data.size()));
    std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    be32(static_cast<std::uint32_t>(crc32(0, png.data() + start, static_cast<uInt>(png.size() - start))));
}

/// A PNG of about 2.6 MB that declares 100 x 700000 pixels and carries compressed text
/// chunks before its pixels: a reader that learns the size only where the pixels begin
/// inflates all of them first.
std::vector<std::uint8_t> pngWithTextBeforeAnOversizedImage() {
    std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    appendChunk(png, "IHDR", {0, 0, 0, 100, 0, 0x0a, 0xae, 0x60, 8, 0, 0, 0, 0});
    std::vector<std::uint8_t> zeros(4 << 20, 0);
    uLongf packedSize = compressBound(static_cast<uLong>(zeros.size()));
    std::vector<std::uint8_t> packed(packedSize);
    compress2(packed.data(), &packedSize, zeros.data(), static_cast<uLong>(zeros.size()), 9);
    packed.resize(packedSize);
    std::vector<std::uint8_t> text{'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
    text.insert(text.end(), packed.begin(), packed.end());
    while (png.size() < 2600 * 1000) appendChunk(png, "zTXt", text);
    appendChunk(png, "IDAT", {0x78, 0x9c, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
    appendChunk(png, "IEND", {});
    return png;
}

double secondsToDecode(const std::vector<std::uint8_t>& body, ImageDecodeResult& result) {
    auto started = std::chrono::steady_clock::now();
    result = Image::decode(body.data(), body.size());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

}  // namespace

TEST(ImageDecoding, AnOversizedDeclarationIsRefusedFromTheHeaderAlone) {
    auto png = pngWithTextBeforeAnOversizedImage();
    ImageDecodeResult result;
    double seconds = secondsToDecode(png, result);
    EXPECT_EQ(result.status, ImageDecodeStatus::TooLarge);
    EXPECT_EQ(result.declaredWidth, 100);
    EXPECT_EQ(result.declaredHeight, 700000);
    // Microseconds; decoding 70 million pixels would take seconds. Room for a loaded machine.
    EXPECT_LT(seconds, 1.0) << png.size() << " bytes";

    for (const auto& entry : std::filesystem::directory_iterator(zidtest::testPath("image_corpus"))) {
        if (entry.path().filename().string().find("_declares_") == std::string::npos) continue;
        SCOPED_TRACE(entry.path().filename().string());
        const std::vector<std::uint8_t> body = corpusBody(entry.path());
        EXPECT_LT(secondsToDecode(body, result), 1.0);
        EXPECT_EQ(result.status, ImageDecodeStatus::TooLarge);
    }
}

TEST(ImageDecoding, TheLimitsAreASettingAndTheBoundaryDecodes) {
    LimitsGuard guard;
    auto defaults = Image::decodingLimits();
    EXPECT_EQ(defaults.maxWidth, 8192);
    EXPECT_EQ(defaults.maxHeight, 8192);
    EXPECT_EQ(defaults.maxPixels, 8192LL * 8192);
    auto wide = solidPNG(8192, 1);
    EXPECT_EQ(Image::decode(wide.data(), wide.size()).status, ImageDecodeStatus::Decoded) << "at the bound";
    auto wider = solidPNG(8193, 1);
    auto refused = Image::decode(wider.data(), wider.size());
    EXPECT_EQ(refused.status, ImageDecodeStatus::TooLarge);
    EXPECT_EQ(refused.declaredWidth, 8193);
    EXPECT_EQ(refused.declaredHeight, 1);

    Image::setDecodingLimits({64, 64, 1000});
    for (auto [w, h, fits] : std::vector<std::tuple<int, int, bool>>{{30, 30, true}, {65, 1, false}, {1, 65, false},
                                                                    {30, 40, false}, {64, 15, true}}) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        auto png = solidPNG(w, h);
        auto jpeg = Image::imageWithPixels(std::vector<std::uint8_t>(std::size_t(w) * h * 4, 0xFF).data(),
                                           std::size_t(w) * h * 4, w, h)
                        ->jpegData(0.9);
        EXPECT_EQ(Image::decode(png.data(), png.size()).status,
                  fits ? ImageDecodeStatus::Decoded : ImageDecodeStatus::TooLarge);
        EXPECT_EQ(Image::decode(jpeg.data(), jpeg.size()).status,
                  fits ? ImageDecodeStatus::Decoded : ImageDecodeStatus::TooLarge);
    }
    std::vector<std::uint8_t> text{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
    EXPECT_EQ(Image::decode(text.data(), text.size()).status, ImageDecodeStatus::NotAnImage);
    EXPECT_EQ(Image::decode(nullptr, 0).status, ImageDecodeStatus::NotAnImage);
    EXPECT_THROW(Image::setDecodingLimits({0, 64, 1000}), rt::Exception);
    EXPECT_THROW(Image::setDecodingLimits({64, 64, -1}), rt::Exception);
    EXPECT_EQ(Image::decodingLimits().maxPixels, 1000) << "a refused setting changes nothing";
}

TEST(ImageDecoding, ImageFilesAreReadOnlyWhenTheyAreRegularFiles) {
    EXPECT_FALSE(Image::imageWithContentsOfFile("/dev/zero")) << "a device is never read";
    std::string fifo = ::testing::TempDir() + "ui-image-fifo-" + std::to_string(::getpid());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(Image::imageWithContentsOfFile(fifo)) << "a pipe without a writer does not block";
    ::unlink(fifo.c_str());
    std::string file = ::testing::TempDir() + "ui-image-" + std::to_string(::getpid()) + ".png";
    auto png = solidPNG(3, 2);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    auto image = Image::imageWithContentsOfFile(file);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), 3);
    ::unlink(file.c_str());
}
