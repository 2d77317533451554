#pragma once
// A drawing surface in points over a bitmap of size x scale pixels: fill, stroke, clip
// to rounded rectangles, ovals, paths or an image mask, draw images with blend modes,
// text, and take the result as an image. Views' own drawing receives one of these.

#include <vector>

#include <ui/CairoTypes.h>

#include <rt/Object.h>
#include <ui/BezierPath.h>
#include <ui/Color.h>
#include <ui/Geometry.h>
#include <ui/Image.h>
#include <ui/Text.h>

namespace ui {

/// A moving picture a view showed, left for the host to composite on its own (a video
/// frame scaled by the display's compositor instead of being drawn into the tree): the
/// image, the rectangle it fills and the part of that rectangle that shows, both in the
/// target's whole pixels.
struct PlacedPicture {
    rt::Ref<Image> image;
    Rect rect;
    Rect visible;
};

enum class BlendMode { Normal = 0, Multiply, Screen, Overlay, Darken, Lighten, Clear, Copy, SourceIn, SourceAtop, DestinationIn, DestinationOut };

class ImageContext : public rt::Object {
    RT_CLASS(ImageContext, rt::Object)
public:
    /// A new transparent (or, when opaque, black) bitmap context.
    ImageContext(Size size, bool opaque, double scale);
    ~ImageContext() override;

    cairo_t* cairo() const { return cr_; }
    Size size() const { return size_; }
    double scale() const { return scale_; }

    void saveState();
    void restoreState();
    void translate(double tx, double ty);
    void scaleBy(double sx, double sy);
    void concat(const AffineTransform& t);
    void setBlendMode(BlendMode mode);
    void setAlpha(double alpha);

    void fillRect(const Rect& r, const Color& color);
    void fillPath(const BezierPath& path, const Color& color);
    void strokeRect(const Rect& r, const Color& color, double lineWidth);
    void strokePath(const BezierPath& path, const Color& color, double lineWidth);
    void clipToRect(const Rect& r);
    void clipToRoundedRect(const Rect& r, double radius);
    void clipToOval(const Rect& r);
    void clipToPath(const BezierPath& path);
    /// Clips to the mask image's alpha stretched over rect: later drawing shows only
    /// where the mask is opaque.
    void clipToMask(const Rect& r, const Image& mask);
    void drawImage(const Image& image, const Rect& rect, const Color* tint = nullptr);
    /// Draws an opaque moving picture (a video frame) filling rect. When the tree is drawn
    /// for a host that composites pictures itself and the picture lands upright, unmasked
    /// and fully opaque, the host takes it and the area is left transparent; otherwise it
    /// is drawn like drawImage.
    void drawPicture(const Image& image, const Rect& rect);
    Size drawText(const AttributedString& text, const Rect& rect, const TextLayout& layout);

    /// The bitmap's current content as an image (a copy). Nil for a wrapped context.
    rt::Ref<Image> image() const;
    /// The bitmap itself (nullptr for a wrapped context): pixel access for effects.
    cairo_surface_t* surface() const { return surface_; }

private:
    friend struct RenderPass;
    // Wraps a Cairo context someone else owns (the renderer's), for a view's drawing.
    template <class T, class... Args> friend rt::Ref<T> rt::make(Args&&... args);
    ImageContext(cairo_t* cr, Size size, double scale);

    void applyPendingMask();
    cairo_surface_t* surface_ = nullptr;
    cairo_t* cr_ = nullptr;
    bool owns_ = false;
    Size size_;
    double scale_ = 1;
    double alpha_ = 1;
    std::vector<std::pair<int, cairo_pattern_t*>> masks_;  // (save depth, mask) pairs
    std::vector<PlacedPicture>* pictures_ = nullptr;        // set by a pass leaving pictures
    int picturesDrawn_ = 0;   // drawPicture calls since the pass handed the context over
    int picturesInTree_ = 0;  // of those, pictures drawn into the target (not placed)
    int depth_ = 0;
};

}  // namespace ui
