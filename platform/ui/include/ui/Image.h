#pragma once
// Bitmap images: premultiplied ARGB32 pixels (Cairo's layout: one 32-bit word per
// pixel, blue green red alpha in memory on little-endian machines) with a scale that
// relates pixels to points. Decoding of PNG and JPEG through gdk-pixbuf, PNG encoding
// through Cairo, JPEG encoding through gdk-pixbuf.
//
// Decoding reads the size an image declares before any pixel memory is taken and
// refuses one above the decoding limits, so a few hostile bytes cannot ask for
// gigabytes of pixels or minutes of work.

#include <cstdint>
#include <string>
#include <vector>

#include <ui/CairoTypes.h>

#include <rt/Object.h>
#include <ui/Geometry.h>

namespace ui {

enum class ImageRenderingMode { Automatic = 0, AlwaysOriginal = 1, AlwaysTemplate = 2 };

/// The largest image decoding accepts, for the whole process.
struct ImageDecodingLimits {
    int maxWidth = 8192;
    int maxHeight = 8192;
    /// 64 megapixels (64 x 2^20, the pixels of 8192 x 8192).
    long long maxPixels = 64LL << 20;
};

enum class ImageDecodeStatus { Decoded = 0, NotAnImage = 1, TooLarge = 2 };

/// The outcome of decoding: the image, or why there is none. A refused image carries
/// the size it declared.
class Image;
struct ImageDecodeResult {
    rt::Ref<Image> image;
    ImageDecodeStatus status = ImageDecodeStatus::NotAnImage;
    int declaredWidth = 0;
    int declaredHeight = 0;
};

class Image : public rt::Object {
    RT_CLASS(Image, rt::Object)
public:
    ~Image() override;

    /// Decodes a PNG or JPEG file; nil when it cannot be read or decoded. A file name
    /// ending in "@2x" (before the extension) gives scale 2.
    static rt::Ref<Image> imageWithContentsOfFile(const std::string& path);
    /// Decodes PNG or JPEG bytes; nil when they do not decode or are above the limits.
    static rt::Ref<Image> imageWithData(const std::vector<std::uint8_t>& bytes, double scale = 1.0);
    /// Decodes bytes and says why there is no image when there is none.
    static ImageDecodeResult decode(const std::uint8_t* bytes, std::size_t length, double scale = 1.0);

    static ImageDecodingLimits decodingLimits();
    /// Throws rt::Exception InvalidArgumentException unless every limit is positive.
    static void setDecodingLimits(const ImageDecodingLimits& limits);
    /// Copies premultiplied ARGB32 pixels (rows of exactly width * 4 bytes). Nil when a
    /// size is not positive, when width * height * 4 overflows, or when the buffer does
    /// not hold exactly that many bytes.
    static rt::Ref<Image> imageWithPixels(const std::uint8_t* pixels, std::size_t length, int width, int height,
                                          double scale = 1.0);

    /// Size in points (pixels divided by the scale).
    Size size() const;
    double scale() const { return scale_; }
    int pixelWidth() const;
    int pixelHeight() const;
    /// The pixel at (x, y) as a premultiplied 0xAARRGGBB word (0 outside).
    std::uint32_t pixelAt(int x, int y) const;
    /// The surface behind the image (owned by the image; do not draw into it).
    cairo_surface_t* surface() const { return surface_; }

    ImageRenderingMode renderingMode() const { return mode_; }
    /// A copy sharing the pixels, drawn as a mask of the tint colour when template.
    rt::Ref<Image> imageWithRenderingMode(ImageRenderingMode mode) const;
    EdgeInsets capInsets() const { return capInsets_; }
    /// A copy that stretches only its middle when drawn larger than itself.
    rt::Ref<Image> resizableImageWithCapInsets(const EdgeInsets& insets) const;

    /// PNG bytes (byte-stable: same pixels, same bytes).
    std::vector<std::uint8_t> pngData() const;
    /// JPEG bytes at a quality from 0 to 1; empty on failure.
    std::vector<std::uint8_t> jpegData(double quality) const;
    bool writePNG(const std::string& path) const;

    bool isEqual(const rt::Object& other) const override;

private:
    // The toolkit's own images take over a Cairo ARGB32 image surface (one reference):
    // a host has no drawing library to make one with.
    template <class T, class... Args> friend rt::Ref<T> rt::make(Args&&... args);
    Image(cairo_surface_t* surface, double scale);

    cairo_surface_t* surface_;
    double scale_;
    ImageRenderingMode mode_ = ImageRenderingMode::Automatic;
    EdgeInsets capInsets_;
};

}  // namespace ui
