#include <ui/ImageContext.h>

#include <cairo.h>

#include "CairoOperator.h"

#include <cmath>
#include "CairoDrawing.h"

namespace ui {

cairo_operator_t cairoOperator(BlendMode mode) {
    switch (mode) {
    case BlendMode::Normal: return CAIRO_OPERATOR_OVER;
    case BlendMode::Multiply: return CAIRO_OPERATOR_MULTIPLY;
    case BlendMode::Screen: return CAIRO_OPERATOR_SCREEN;
    case BlendMode::Overlay: return CAIRO_OPERATOR_OVERLAY;
    case BlendMode::Darken: return CAIRO_OPERATOR_DARKEN;
    case BlendMode::Lighten: return CAIRO_OPERATOR_LIGHTEN;
    case BlendMode::Clear: return CAIRO_OPERATOR_CLEAR;
    case BlendMode::Copy: return CAIRO_OPERATOR_SOURCE;
    case BlendMode::SourceIn: return CAIRO_OPERATOR_IN;
    case BlendMode::SourceAtop: return CAIRO_OPERATOR_ATOP;
    case BlendMode::DestinationIn: return CAIRO_OPERATOR_DEST_IN;
    case BlendMode::DestinationOut: return CAIRO_OPERATOR_DEST_OUT;
    }
    return CAIRO_OPERATOR_OVER;
}

ImageContext::ImageContext(Size size, bool opaque, double scale)
    : owns_(true), size_(size), scale_(scale > 0 ? scale : 1) {
    int w = std::max(0, static_cast<int>(std::ceil(size.width * scale_ - 1e-9)));
    int h = std::max(0, static_cast<int>(std::ceil(size.height * scale_ - 1e-9)));
    surface_ = cairo_image_surface_create(opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, w, h);
    cr_ = cairo_create(surface_);
    if (opaque) {
        cairo_set_source_rgb(cr_, 0, 0, 0);
        cairo_paint(cr_);
    }
    cairo_scale(cr_, scale_, scale_);
}

ImageContext::ImageContext(cairo_t* cr, Size size, double scale) : cr_(cr), owns_(false), size_(size), scale_(scale) {}

ImageContext::~ImageContext() {
    for (auto& m : masks_) cairo_pattern_destroy(m.second);
    if (owns_) {
        cairo_destroy(cr_);
        cairo_surface_destroy(surface_);
    }
}

void ImageContext::saveState() {
    cairo_save(cr_);
    ++depth_;
}
void ImageContext::restoreState() {
    applyPendingMask();
    if (depth_ == 0) return;
    cairo_restore(cr_);
    --depth_;
}
void ImageContext::applyPendingMask() {
    while (!masks_.empty() && masks_.back().first == depth_) {
        cairo_pattern_t* mask = masks_.back().second;
        masks_.pop_back();
        cairo_pop_group_to_source(cr_);
        cairo_mask(cr_, mask);
        cairo_pattern_destroy(mask);
    }
}
void ImageContext::translate(double tx, double ty) { cairo_translate(cr_, tx, ty); }
void ImageContext::scaleBy(double sx, double sy) { cairo_scale(cr_, sx, sy); }
void ImageContext::concat(const AffineTransform& t) {
    cairo_matrix_t m{t.a, t.b, t.c, t.d, t.tx, t.ty};
    cairo_transform(cr_, &m);
}
void ImageContext::setBlendMode(BlendMode mode) { cairo_set_operator(cr_, cairoOperator(mode)); }
void ImageContext::setAlpha(double alpha) { alpha_ = std::clamp(alpha, 0.0, 1.0); }

void ImageContext::fillRect(const Rect& r, const Color& c) {
    cairo_new_path(cr_);
    cairo_rectangle(cr_, r.origin.x, r.origin.y, r.size.width, r.size.height);
    cairo_set_source_rgba(cr_, c.red(), c.green(), c.blue(), c.alpha() * alpha_);
    cairo_fill(cr_);
}
void ImageContext::fillPath(const BezierPath& path, const Color& c) {
    cairo_new_path(cr_);
    addToCairo(path, cr_);
    cairo_set_source_rgba(cr_, c.red(), c.green(), c.blue(), c.alpha() * alpha_);
    cairo_fill(cr_);
}
void ImageContext::strokeRect(const Rect& r, const Color& c, double lineWidth) {
    cairo_new_path(cr_);
    cairo_rectangle(cr_, r.origin.x, r.origin.y, r.size.width, r.size.height);
    cairo_set_line_width(cr_, lineWidth);
    cairo_set_source_rgba(cr_, c.red(), c.green(), c.blue(), c.alpha() * alpha_);
    cairo_stroke(cr_);
}
void ImageContext::strokePath(const BezierPath& path, const Color& c, double lineWidth) {
    cairo_new_path(cr_);
    addToCairo(path, cr_);
    cairo_set_line_width(cr_, lineWidth);
    cairo_set_source_rgba(cr_, c.red(), c.green(), c.blue(), c.alpha() * alpha_);
    cairo_stroke(cr_);
}
void ImageContext::clipToRect(const Rect& r) {
    cairo_new_path(cr_);
    cairo_rectangle(cr_, r.origin.x, r.origin.y, r.size.width, r.size.height);
    cairo_clip(cr_);
}
void ImageContext::clipToRoundedRect(const Rect& r, double radius) {
    cairo_new_path(cr_);
    addRoundedRectPath(cr_, r, radius);
    cairo_clip(cr_);
}
void ImageContext::clipToOval(const Rect& r) { clipToPath(*BezierPath::oval(r)); }
void ImageContext::clipToPath(const BezierPath& path) {
    cairo_new_path(cr_);
    addToCairo(path, cr_);
    cairo_clip(cr_);
}
void ImageContext::clipToMask(const Rect& r, const Image& mask) {
    // Cairo has no clip to an alpha mask: drawing goes to a group until the state is
    // restored (or the image taken), then the group is painted through the mask.
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(mask.surface());
    cairo_matrix_t m;
    cairo_matrix_init_scale(&m, mask.pixelWidth() / std::max(r.size.width, 1e-9),
                            mask.pixelHeight() / std::max(r.size.height, 1e-9));
    cairo_matrix_translate(&m, -r.origin.x, -r.origin.y);
    cairo_pattern_set_matrix(pattern, &m);
    cairo_matrix_t user;
    cairo_get_matrix(cr_, &user);
    cairo_push_group(cr_);
    cairo_set_matrix(cr_, &user);
    masks_.emplace_back(depth_, pattern);
}
void ImageContext::drawImage(const Image& image, const Rect& rect, const Color* tint) {
    ui::drawImage(cr_, image, rect, tint, alpha_);
}
void ImageContext::drawPicture(const Image& image, const Rect& rect) {
    ++picturesDrawn_;
    cairo_surface_t* pixels = image.surface();
    rt::Ref<Image> held = pictures_ ? rt::cast<Image>(const_cast<Image&>(image).self()) : nullptr;
    bool placeable = held && alpha_ >= 1 && masks_.empty() && pixels &&
                     cairo_surface_get_type(pixels) == CAIRO_SURFACE_TYPE_IMAGE &&
                     cairo_get_group_target(cr_) == cairo_get_target(cr_);
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    placeable = placeable && m.xy == 0 && m.yx == 0 && m.xx > 0 && m.yy > 0;
    cairo_rectangle_list_t* clips = placeable ? cairo_copy_clip_rectangle_list(cr_) : nullptr;
    placeable = clips && clips->status == CAIRO_STATUS_SUCCESS && clips->num_rectangles <= 1;
    if (!placeable) {
        if (clips) cairo_rectangle_list_destroy(clips);
        if (pictures_) ++picturesInTree_;
        drawImage(image, rect);
        return;
    }
    // In the target's whole pixels: where the picture goes and what of it the clip shows.
    auto toPixels = [&m](double x0, double y0, double x1, double y1) {
        cairo_matrix_transform_point(&m, &x0, &y0);
        cairo_matrix_transform_point(&m, &x1, &y1);
        return Rect(std::round(x0), std::round(y0), std::round(x1) - std::round(x0), std::round(y1) - std::round(y0));
    };
    Rect at = toPixels(minX(rect), minY(rect), maxX(rect), maxY(rect));
    Rect visible = at;
    if (clips->num_rectangles == 1) {
        const auto& c = clips->rectangles[0];
        visible = rectIntersection(at, toPixels(c.x, c.y, c.x + c.width, c.y + c.height));
    } else if (clips->num_rectangles == 0) {
        visible = Rect();  // clipped away
    }
    cairo_rectangle_list_destroy(clips);
    if (rectIsNull(visible) || rectIsEmpty(visible) || rectIsEmpty(at)) return;
    pictures_->push_back(PlacedPicture{held, at, visible});
    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_reset_clip(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_CLEAR);
    cairo_rectangle(cr_, minX(visible), minY(visible), width(visible), height(visible));
    cairo_fill(cr_);
    cairo_restore(cr_);
}

Size ImageContext::drawText(const AttributedString& text, const Rect& rect, const TextLayout& layout) {
    return ui::drawText(cr_, text, rect, layout);
}

rt::Ref<Image> ImageContext::image() const {
    if (!surface_) return nullptr;
    auto* self = const_cast<ImageContext*>(this);
    while (!self->masks_.empty()) {
        int d = self->masks_.back().first;
        int saved = self->depth_;
        self->depth_ = d;
        self->applyPendingMask();
        self->depth_ = saved;
    }
    cairo_surface_flush(surface_);
    int w = cairo_image_surface_get_width(surface_), h = cairo_image_surface_get_height(surface_);
    cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* c = cairo_create(copy);
    cairo_set_source_surface(c, surface_, 0, 0);
    cairo_set_operator(c, CAIRO_OPERATOR_SOURCE);
    cairo_paint(c);
    cairo_destroy(c);
    return rt::make<Image>(copy, scale_);
}

}  // namespace ui
