// Image bodies come from any server an image URL names. Input: one byte choosing the
// scale (1, 2 or 3), then the body as the image loaders hand it to the decoder. A seed
// reaches the code under test when the decoder reads its body as an image; one meant
// to be no image at all is named "refused_*" (see scripts/fuzz.sh).
//
// A decoded image is whole: its pixel buffer holds its declared size, its point size is
// its pixel size over its scale, its pixels are premultiplied, and a small one survives
// a round trip through its own PNG bytes with its size (and, when opaque, its pixels).

#include <cairo.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <ui/Image.h>

#include "FuzzInput.h"

namespace {

bool premultiplied(std::uint32_t argb) {
    const std::uint32_t a = argb >> 24, r = (argb >> 16) & 0xff, g = (argb >> 8) & 0xff, b = argb & 0xff;
    return r <= a && g <= a && b <= a;
}

void checkWhole(const ui::Image& image, double scale) {
    const int width = image.pixelWidth(), height = image.pixelHeight();
    if (width <= 0 || height <= 0) std::abort();
    cairo_surface_t* surface = image.surface();
    if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) std::abort();
    if (cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) std::abort();
    if (cairo_image_surface_get_width(surface) != width || cairo_image_surface_get_height(surface) != height) std::abort();
    if (!cairo_image_surface_get_data(surface)) std::abort();
    if (cairo_image_surface_get_stride(surface) < width * 4) std::abort();
    if (image.scale() != scale) std::abort();
    const ui::Size size = image.size();
    if (size.width != width / scale || size.height != height / scale) std::abort();

    // Every pixel is read once from the buffer, so its whole extent is checked against
    // the declared size (AddressSanitizer sees a short buffer), and each is premultiplied.
    const unsigned char* pixels = cairo_image_surface_get_data(surface);
    const std::size_t stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface));
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = pixels + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < width; ++x) {
            std::uint32_t word;
            std::memcpy(&word, row + 4 * static_cast<std::size_t>(x), 4);
            if (!premultiplied(word)) std::abort();
        }
    }
    // The reader agrees with the buffer at the corners, and answers 0 outside.
    std::uint32_t last;
    std::memcpy(&last, pixels + stride * static_cast<std::size_t>(height - 1) + 4 * static_cast<std::size_t>(width - 1), 4);
    if (image.pixelAt(width - 1, height - 1) != last) std::abort();
    if (image.pixelAt(-1, 0) != 0 || image.pixelAt(0, height) != 0 || image.pixelAt(width, 0) != 0) std::abort();
}

bool opaque(const ui::Image& image) {
    for (int y = 0; y < image.pixelHeight(); ++y)
        for (int x = 0; x < image.pixelWidth(); ++x)
            if (image.pixelAt(x, y) >> 24 != 0xff) return false;
    return true;
}

bool samePixels(const ui::Image& a, const ui::Image& b) {
    for (int y = 0; y < a.pixelHeight(); ++y)
        for (int x = 0; x < a.pixelWidth(); ++x)
            if (a.pixelAt(x, y) != b.pixelAt(x, y)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zidfuzz::FuzzInput input(data, size);
    const double scale = 1 + input.byte() % 3;
    const std::string_view body = input.rest();
    const std::vector<std::uint8_t> bytes(body.begin(), body.end());

    const ui::ImageDecodeResult result = ui::Image::decode(bytes.data(), bytes.size(), scale);
    // Read as an image of some format (made, or refused for the size it declares): a
    // body that lost its first byte to the scale is no image at all.
    if (result.status != ui::ImageDecodeStatus::NotAnImage) zidfuzz::reached();
    const auto& image = result.image;
    if (!image) return 0;
    checkWhole(*image, scale);

    // Small images go through their own PNG bytes and come back the same size.
    if (static_cast<long long>(image->pixelWidth()) * image->pixelHeight() <= 64 * 64) {
        const auto png = image->pngData();
        if (png.empty()) std::abort();
        auto again = ui::Image::imageWithData(png, scale);
        if (!again) std::abort();
        checkWhole(*again, scale);
        if (again->pixelWidth() != image->pixelWidth() || again->pixelHeight() != image->pixelHeight()) std::abort();
        // Premultiplying rounds translucent pixels; opaque ones come back exactly.
        if (opaque(*image) && !samePixels(*image, *again)) std::abort();
    }
    return 0;
}
