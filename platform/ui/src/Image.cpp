#include <ui/Image.h>

#include <algorithm>

#include <cairo.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <mutex>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <fnd/Directories.h>
#include <rt/Exception.h>
#include <ui/Color.h>
#include "CairoDrawing.h"

namespace ui {

Image::Image(cairo_surface_t* surface, double scale) : surface_(surface), scale_(scale > 0 ? scale : 1) {}
Image::~Image() {
    if (surface_) cairo_surface_destroy(surface_);
}

namespace {

/// A new ARGB32 surface ready for writing its pixels, or nullptr.
cairo_surface_t* newSurface(int w, int h) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    cairo_surface_flush(s);
    return s;
}

/// Converts a pixbuf (straight RGB or RGBA) into a premultiplied ARGB32 surface.
cairo_surface_t* surfaceFromPixbuf(GdkPixbuf* pixbuf) {
    int w = gdk_pixbuf_get_width(pixbuf), h = gdk_pixbuf_get_height(pixbuf);
    int channels = gdk_pixbuf_get_n_channels(pixbuf);
    bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
    int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const guchar* src = gdk_pixbuf_read_pixels(pixbuf);
    cairo_surface_t* s = newSurface(w, h);
    if (!s) return nullptr;
    unsigned char* dst = cairo_image_surface_get_data(s);
    int dstride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < h; ++y) {
        const guchar* p = src + std::size_t(y) * stride;
        auto* q = reinterpret_cast<std::uint32_t*>(dst + std::size_t(y) * dstride);
        for (int x = 0; x < w; ++x, p += channels) {
            unsigned a = alpha ? p[3] : 255;
            unsigned r = (p[0] * a + 127) / 255, g = (p[1] * a + 127) / 255, b = (p[2] * a + 127) / 255;
            q[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty(s);
    return s;
}

/// The reverse: straight RGBA (or RGB when opaque) pixbuf from a surface.
GdkPixbuf* pixbufFromSurface(cairo_surface_t* s, bool withAlpha) {
    cairo_surface_flush(s);
    int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
    int stride = cairo_image_surface_get_stride(s);
    const unsigned char* src = cairo_image_surface_get_data(s);
    GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, withAlpha, 8, w, h);
    if (!pb) return nullptr;
    int channels = gdk_pixbuf_get_n_channels(pb);
    int dstride = gdk_pixbuf_get_rowstride(pb);
    guchar* dst = gdk_pixbuf_get_pixels(pb);
    for (int y = 0; y < h; ++y) {
        auto* p = reinterpret_cast<const std::uint32_t*>(src + std::size_t(y) * stride);
        guchar* q = dst + std::size_t(y) * dstride;
        for (int x = 0; x < w; ++x, q += channels) {
            std::uint32_t v = p[x];
            unsigned a = v >> 24, r = (v >> 16) & 255, g = (v >> 8) & 255, b = v & 255;
            if (a > 0 && a < 255) {
                r = std::min(255u, (r * 255 + a / 2) / a);
                g = std::min(255u, (g * 255 + a / 2) / a);
                b = std::min(255u, (b * 255 + a / 2) / a);
            }
            if (!withAlpha && a < 255) {
                // Flatten onto white, as a JPEG has no transparency.
                r = (v >> 16 & 255) + (255 - a);
                g = (v >> 8 & 255) + (255 - a);
                b = (v & 255) + (255 - a);
            }
            q[0] = static_cast<guchar>(r);
            q[1] = static_cast<guchar>(g);
            q[2] = static_cast<guchar>(b);
            if (withAlpha) q[3] = static_cast<guchar>(a);
        }
    }
    return pb;
}

double scaleFromName(const std::string& path) {
    auto dot = path.find_last_of('.');
    std::string stem = path.substr(0, dot == std::string::npos ? path.size() : dot);
    if (stem.size() >= 3 && stem.compare(stem.size() - 3, 3, "@2x") == 0) return 2;
    if (stem.size() >= 3 && stem.compare(stem.size() - 3, 3, "@3x") == 0) return 3;
    return 1;
}

}  // namespace

rt::Ref<Image> Image::imageWithContentsOfFile(const std::string& path) {
    // Regular files only (a device or a pipe would be read for ever), and none larger
    // than the largest image the limits allow, stored without compression.
    std::size_t bound = static_cast<std::size_t>(decodingLimits().maxPixels) * 4 + (1u << 20);
    auto bytes = fnd::readRegularFile(path, bound);
    return bytes ? imageWithData(*bytes, scaleFromName(path)) : nullptr;
}

namespace {

std::mutex& limitsMutex() {
    static auto* m = new std::mutex;
    return *m;
}
ImageDecodingLimits& limitsSlot() {
    static auto* limits = new ImageDecodingLimits;
    return *limits;
}

struct SizeCheck {
    ImageDecodingLimits limits;
    bool prepared = false;
    bool refused = false;
    int width = 0;
    int height = 0;
};

bool withinLimits(const ImageDecodingLimits& limits, long long w, long long h) {
    return w > 0 && h > 0 && w <= limits.maxWidth && h <= limits.maxHeight && w * h <= limits.maxPixels;
}

// The loader announces the size the data declares before its module takes memory for
// the pixels. Asking for 0 x 0 tells the module to stop without allocating; the loader
// then fails, and the refusal is remembered to say why.
void sizePrepared(GdkPixbufLoader* loader, gint width, gint height, gpointer data) {
    auto* check = static_cast<SizeCheck*>(data);
    check->prepared = true;
    check->width = width;
    check->height = height;
    if (withinLimits(check->limits, width, height)) return;
    check->refused = true;
    gdk_pixbuf_loader_set_size(loader, 0, 0);
}

// The size a PNG declares, read from its header chunk, which must come first. The
// loader announces the size only where the pixel data begins, after every chunk before
// it has been read (compressed text included), so an oversized PNG is refused here.
bool pngDeclaredSize(const std::uint8_t* bytes, std::size_t length, long long& width, long long& height) {
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (length < 24 || std::memcmp(bytes, kSignature, 8) != 0 || std::memcmp(bytes + 12, "IHDR", 4) != 0) return false;
    auto be32 = [&](std::size_t at) {
        return (static_cast<long long>(bytes[at]) << 24) | (bytes[at + 1] << 16) | (bytes[at + 2] << 8) | bytes[at + 3];
    };
    width = be32(16);
    height = be32(20);
    return true;
}

// Whether a BMP declares an info header longer than any the format defines (124 bytes
// for the latest). The loader takes a buffer of the declared length before it looks at
// it, so a body of a few bytes would make it ask for up to 4 GB.
bool bmpDeclaresOversizedHeader(const std::uint8_t* bytes, std::size_t length) {
    if (length < 18 || bytes[0] != 'B' || bytes[1] != 'M') return false;
    const std::uint32_t headerSize = static_cast<std::uint32_t>(bytes[14]) | static_cast<std::uint32_t>(bytes[15]) << 8 |
                                     static_cast<std::uint32_t>(bytes[16]) << 16 |
                                     static_cast<std::uint32_t>(bytes[17]) << 24;
    return headerSize > 124;
}

}  // namespace

ImageDecodingLimits Image::decodingLimits() {
    std::lock_guard lock(limitsMutex());
    return limitsSlot();
}

void Image::setDecodingLimits(const ImageDecodingLimits& limits) {
    if (limits.maxWidth <= 0 || limits.maxHeight <= 0 || limits.maxPixels <= 0)
        throw rt::Exception(rt::Exception::InvalidArgument,
                            "Image::setDecodingLimits needs a positive width, height and pixel count");
    std::lock_guard lock(limitsMutex());
    limitsSlot() = limits;
}

rt::Ref<Image> Image::imageWithData(const std::vector<std::uint8_t>& bytes, double scale) {
    return decode(bytes.data(), bytes.size(), scale).image;
}

ImageDecodeResult Image::decode(const std::uint8_t* bytes, std::size_t length, double scale) {
    ImageDecodeResult result;
    if (!bytes || length == 0) return result;
    SizeCheck check;
    check.limits = decodingLimits();
    long long declaredWidth = 0, declaredHeight = 0;
    // A zero size is left to the loader, which fails it as malformed.
    if (pngDeclaredSize(bytes, length, declaredWidth, declaredHeight) && declaredWidth > 0 && declaredHeight > 0 &&
        !withinLimits(check.limits, declaredWidth, declaredHeight)) {
        result.status = ImageDecodeStatus::TooLarge;
        result.declaredWidth = static_cast<int>(std::min<long long>(declaredWidth, INT_MAX));
        result.declaredHeight = static_cast<int>(std::min<long long>(declaredHeight, INT_MAX));
        return result;
    }
    if (bmpDeclaresOversizedHeader(bytes, length)) return result;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    g_signal_connect(loader, "size-prepared", G_CALLBACK(sizePrepared), &check);
    GError* error = nullptr;
    bool ok = true;
    // In slices, so that a refused size stops the work at the next slice at the latest.
    constexpr std::size_t kSlice = 64 * 1024;
    for (std::size_t at = 0; ok && !check.refused && at < length; at += kSlice) {
        ok = gdk_pixbuf_loader_write(loader, bytes + at, std::min(kSlice, length - at), &error);
        if (error) {
            g_error_free(error);
            error = nullptr;
        }
    }
    ok = gdk_pixbuf_loader_close(loader, &error) && ok;
    if (error) g_error_free(error);
    GdkPixbuf* pixbuf = ok && !check.refused ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
    // A module that made its pixels without announcing their size first is held to the
    // same limits afterwards.
    if (pixbuf && !withinLimits(check.limits, gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf))) {
        check.refused = true;
        check.width = gdk_pixbuf_get_width(pixbuf);
        check.height = gdk_pixbuf_get_height(pixbuf);
        pixbuf = nullptr;
    }
    cairo_surface_t* s = pixbuf ? surfaceFromPixbuf(pixbuf) : nullptr;
    g_object_unref(loader);
    if (check.refused) {
        result.status = ImageDecodeStatus::TooLarge;
        result.declaredWidth = check.width;
        result.declaredHeight = check.height;
        return result;
    }
    if (!s) return result;
    result.image = rt::make<Image>(s, scale);
    result.status = ImageDecodeStatus::Decoded;
    return result;
}

rt::Ref<Image> Image::imageWithPixels(const std::uint8_t* pixels, std::size_t length, int width, int height,
                                      double scale) {
    if (!pixels || width <= 0 || height <= 0) return nullptr;
    // width * 4 * height must fit, in bytes and in Cairo's int stride.
    if (std::size_t(width) > std::size_t(INT_MAX) / 4) return nullptr;
    std::size_t row = std::size_t(width) * 4;
    if (std::size_t(height) > SIZE_MAX / row) return nullptr;
    if (row * std::size_t(height) != length) return nullptr;
    cairo_surface_t* s = newSurface(width, height);
    if (!s) return nullptr;
    unsigned char* dst = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < height; ++y) std::memcpy(dst + std::size_t(y) * stride, pixels + y * row, row);
    cairo_surface_mark_dirty(s);
    return rt::make<Image>(s, scale);
}

int Image::pixelWidth() const { return cairo_image_surface_get_width(surface_); }
int Image::pixelHeight() const { return cairo_image_surface_get_height(surface_); }
Size Image::size() const { return {pixelWidth() / scale_, pixelHeight() / scale_}; }

std::uint32_t Image::pixelAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= pixelWidth() || y >= pixelHeight()) return 0;
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    return reinterpret_cast<const std::uint32_t*>(data + std::size_t(y) * cairo_image_surface_get_stride(surface_))[x];
}

rt::Ref<Image> Image::imageWithRenderingMode(ImageRenderingMode mode) const {
    auto copy = rt::make<Image>(cairo_surface_reference(surface_), scale_);
    copy->mode_ = mode;
    copy->capInsets_ = capInsets_;
    return copy;
}

rt::Ref<Image> Image::resizableImageWithCapInsets(const EdgeInsets& insets) const {
    auto copy = rt::make<Image>(cairo_surface_reference(surface_), scale_);
    copy->mode_ = mode_;
    copy->capInsets_ = insets;
    return copy;
}

namespace {
cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}
}  // namespace

std::vector<std::uint8_t> Image::pngData() const {
    std::vector<std::uint8_t> out;
    if (cairo_surface_write_to_png_stream(surface_, appendBytes, &out) != CAIRO_STATUS_SUCCESS) out.clear();
    return out;
}

std::vector<std::uint8_t> Image::jpegData(double quality) const {
    GdkPixbuf* pb = pixbufFromSurface(surface_, false);
    if (!pb) return {};
    int q = static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100));
    std::string qs = std::to_string(std::max(q, 1));
    gchar* buffer = nullptr;
    gsize size = 0;
    GError* error = nullptr;
    bool ok = gdk_pixbuf_save_to_buffer(pb, &buffer, &size, "jpeg", &error, "quality", qs.c_str(), nullptr);
    std::vector<std::uint8_t> out;
    if (ok) out.assign(reinterpret_cast<std::uint8_t*>(buffer), reinterpret_cast<std::uint8_t*>(buffer) + size);
    if (error) g_error_free(error);
    g_free(buffer);
    g_object_unref(pb);
    return out;
}

bool Image::writePNG(const std::string& path) const {
    auto bytes = pngData();
    if (bytes.empty()) return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bool(out);
}

bool Image::isEqual(const rt::Object& other) const {
    auto* o = dynamic_cast<const Image*>(&other);
    return o && (o == this || (o->surface_ == surface_ && o->scale_ == scale_ && o->mode_ == mode_ &&
                               o->capInsets_ == capInsets_));
}

namespace {
void paintPart(cairo_t* cr, cairo_surface_t* s, double sx, double sy, double sw, double sh, double dx, double dy,
               double dw, double dh, const Color* tint, double alpha) {
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
    cairo_save(cr);
    cairo_rectangle(cr, dx, dy, dw, dh);
    cairo_clip(cr);
    cairo_translate(cr, dx, dy);
    cairo_scale(cr, dw / sw, dh / sh);
    // A part of a nine-part image samples only its own pixels: its edges extend
    // outward instead of blending with the neighbouring part.
    bool whole = sx == 0 && sy == 0 && sw == cairo_image_surface_get_width(s) && sh == cairo_image_surface_get_height(s);
    cairo_surface_t* part = whole ? cairo_surface_reference(s) : cairo_surface_create_for_rectangle(s, sx, sy, sw, sh);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(part);
    cairo_surface_destroy(part);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
    if (tint) {
        cairo_set_source_rgba(cr, tint->red(), tint->green(), tint->blue(), tint->alpha() * alpha);
        cairo_mask(cr, pattern);
    } else {
        cairo_set_source(cr, pattern);
        cairo_paint_with_alpha(cr, alpha);
    }
    cairo_pattern_destroy(pattern);
    cairo_restore(cr);
}
}  // namespace

void drawImage(cairo_t* cr, const Image& image, const Rect& rect0, const Color* tint, double alpha) {
    Rect rect = rectStandardize(rect0);
    const Color* useTint = image.renderingMode() == ImageRenderingMode::AlwaysTemplate ? tint : nullptr;
    auto black = Color::blackColor();
    if (image.renderingMode() == ImageRenderingMode::AlwaysTemplate && !useTint) useTint = black.get();
    double s = image.scale();
    double pw = image.pixelWidth(), ph = image.pixelHeight();
    EdgeInsets in = image.capInsets();
    if (in == EdgeInsets{}) {
        paintPart(cr, image.surface(), 0, 0, pw, ph, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height,
                  useTint, alpha);
        return;
    }
    // Nine parts: corners keep their size, edges stretch along, the middle both ways.
    // Caps that meet or cross in the image share it and keep one pixel to stretch; caps
    // wider than the rectangle share it in proportion, so nothing is drawn twice or left
    // as a gap.
    auto fit = [](double a, double b, double room) {
        if (a + b <= room || a + b <= 0) return std::pair{a, b};
        double k = std::max(0.0, room) / (a + b);
        return std::pair{a * k, b * k};
    };
    auto [pl, pr] = fit(std::round(in.left * s), std::round(in.right * s), pw - 1);
    auto [pt, pb] = fit(std::round(in.top * s), std::round(in.bottom * s), ph - 1);
    auto [dl, dr] = fit(pl / s, pr / s, rect.size.width);
    auto [dt, db] = fit(pt / s, pb / s, rect.size.height);
    double sxs[4] = {0, pl, pw - pr, pw};
    double sys[4] = {0, pt, ph - pb, ph};
    double dxs[4] = {rect.origin.x, rect.origin.x + dl, maxX(rect) - dr, maxX(rect)};
    double dys[4] = {rect.origin.y, rect.origin.y + dt, maxY(rect) - db, maxY(rect)};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            paintPart(cr, image.surface(), sxs[i], sys[j], sxs[i + 1] - sxs[i], sys[j + 1] - sys[j], dxs[i], dys[j],
                      dxs[i + 1] - dxs[i], dys[j + 1] - dys[j], useTint, alpha);
}

}  // namespace ui
