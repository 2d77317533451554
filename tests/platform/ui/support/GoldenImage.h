#pragma once
// Compares a rendered picture with a committed reference PNG, pixel by pixel with a
// per-channel tolerance for antialiasing. On a mismatch it reports how many pixels
// differ and writes a diff image (differences in red over a faded copy of the
// reference) beside the test binary. ZID_UPDATE_GOLDEN=1 rewrites the references.

#include <cairo.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include <ui/Image.h>

namespace zidtest {

struct GoldenResult {
    bool matched = false;
    long differing = 0;
    std::string message;
};

inline GoldenResult compareWithGolden(const ui::Image& actual, const std::string& goldenDir, const std::string& name,
                                      int channelTolerance = 24, long allowedPixels = 0) {
    GoldenResult r;
    std::string path = goldenDir + "/" + name + ".png";
    const char* update = std::getenv("ZID_UPDATE_GOLDEN");
    if (update && std::string(update) == "1") {
        actual.writePNG(path);
        r.matched = true;
        r.message = "reference rewritten: " + path;
        return r;
    }
    auto expected = ui::Image::imageWithContentsOfFile(path);
    if (!expected) {
        r.message = "no reference picture at " + path + " (run with ZID_UPDATE_GOLDEN=1 to make it)";
        return r;
    }
    if (expected->pixelWidth() != actual.pixelWidth() || expected->pixelHeight() != actual.pixelHeight()) {
        r.message = "size differs from " + path;
        return r;
    }
    int w = actual.pixelWidth(), h = actual.pixelHeight();
    cairo_surface_t* diff = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_surface_flush(diff);
    auto* out = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(diff));
    int stride = cairo_image_surface_get_stride(diff) / 4;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint32_t a = actual.pixelAt(x, y), e = expected->pixelAt(x, y);
            int worst = 0;
            for (int shift = 0; shift < 32; shift += 8)
                worst = std::max(worst, std::abs(int(a >> shift & 255) - int(e >> shift & 255)));
            if (worst > channelTolerance) {
                ++r.differing;
                out[y * stride + x] = 0xFFFF0000u;
            } else {
                std::uint32_t grey = ((e >> 8 & 255) / 4 + 160) & 255;
                out[y * stride + x] = 0xFF000000u | grey << 16 | grey << 8 | grey;
            }
        }
    }
    cairo_surface_mark_dirty(diff);
    r.matched = r.differing <= allowedPixels;
    r.message = std::to_string(r.differing) + " of " + std::to_string(long(w) * h) + " pixels differ from " + path;
    if (!r.matched) {
        std::string diffPath = std::filesystem::current_path().string() + "/" + name + ".diff.png";
        std::string actualPath = std::filesystem::current_path().string() + "/" + name + ".actual.png";
        cairo_surface_write_to_png(diff, diffPath.c_str());
        actual.writePNG(actualPath);
        r.message += "; diff image " + diffPath + ", picture " + actualPath;
    }
    cairo_surface_destroy(diff);
    return r;
}

}  // namespace zidtest

#define EXPECT_MATCHES_GOLDEN(image, dir, name)                           \
    do {                                                                  \
        auto golden_ = ::zidtest::compareWithGolden((image), (dir), (name)); \
        std::cout << "[ golden ] " << golden_.message << std::endl;       \
        EXPECT_TRUE(golden_.matched) << golden_.message;                  \
    } while (0)
