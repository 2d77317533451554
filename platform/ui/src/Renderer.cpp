#include <ui/Renderer.h>

#include <algorithm>

#include <cairo.h>

#include "CairoOperator.h"

#include <cmath>
#include <vector>

#include <ui/Animation.h>
#include <ui/BezierPath.h>
#include <ui/ImageContext.h>
#include <ui/Layer.h>
#include <ui/PixelOps.h>
#include <ui/Screen.h>
#include <ui/View.h>

#include "AnimationInternal.h"
#include "CairoDrawing.h"

namespace ui {

/// What one render call shares across views: the scale and the context handed to
/// views' own drawing (one object, pointed at each view's bounds in turn).
struct RenderPass {
    double scale = 1;
    rt::Ref<ImageContext> context;
    /// Where pictures drawn with drawPicture go when the host composites them itself.
    std::vector<PlacedPicture>* pictures = nullptr;
    /// Where the views whose own drawing drew pictures are named (see redrawPictures).
    std::vector<rt::Weak<View>>* drawers = nullptr;
    ImageContext& contextFor(cairo_t* cr, Size size) {
        if (!context) context = rt::make<ImageContext>(cr, size, scale);
        context->pictures_ = pictures;
        context->cr_ = cr;
        context->size_ = size;
        context->scale_ = scale;
        context->alpha_ = 1;
        context->depth_ = 0;
        context->picturesDrawn_ = 0;
        context->picturesInTree_ = 0;
        return *context;
    }
    /// Runs the view's own drawing; answers how many pictures it drew and how many of
    /// them went into the target's pixels instead of being placed.
    std::pair<int, int> drawOwn(View& view, cairo_t* cr, const Rect& b) {
        cairo_save(cr);
        view.draw(contextFor(cr, b.size), b);
        std::pair<int, int> counts{context->picturesDrawn_, context->picturesInTree_};
        finish();
        cairo_restore(cr);
        return counts;
    }
    /// Closes what a view's drawing left open (mask groups, saved states), so the next
    /// view starts clean and the renderer's own save/restore pairs stay matched.
    void finish() {
        if (!context) return;
        while (context->depth_ > 0) context->restoreState();
        context->applyPendingMask();
    }
};

namespace {

void setMatrix(cairo_t* cr, const AffineTransform& t) {
    cairo_matrix_t m{t.a, t.b, t.c, t.d, t.tx, t.ty};
    cairo_transform(cr, &m);
}

void roundedPath(cairo_t* cr, const Rect& r, double radius) {
    cairo_new_path(cr);
    if (radius <= 0) {
        cairo_rectangle(cr, r.origin.x, r.origin.y, r.size.width, r.size.height);
        return;
    }
    addRoundedRectPath(cr, r, radius);
}

/// Blurred masks of given shadow shapes, kept across frames: a shape that moves (a
/// container sliding its content) is blurred once, not on every frame.
class ShadowMaskCache {
public:
    static constexpr std::size_t kCapacity = 4;
    ~ShadowMaskCache() {
        for (auto& e : entries_) cairo_surface_destroy(e.mask);
    }
    cairo_surface_t* find(const BezierPath& path, double radius, double scale) {
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            auto& e = entries_[i];
            if (e.radius == radius && e.scale == scale && e.path->isEqual(path)) {
                std::rotate(entries_.begin(), entries_.begin() + long(i), entries_.begin() + long(i) + 1);
                return entries_.front().mask;
            }
        }
        return nullptr;
    }
    void add(const BezierPath& path, double radius, double scale, cairo_surface_t* mask) {
        auto copy = BezierPath::path();
        copy->append(path);
        entries_.insert(entries_.begin(), Entry{copy, radius, scale, cairo_surface_reference(mask)});
        if (entries_.size() > kCapacity) {
            cairo_surface_destroy(entries_.back().mask);
            entries_.pop_back();
        }
    }

private:
    struct Entry {
        rt::Ref<BezierPath> path;
        double radius, scale;
        cairo_surface_t* mask;
    };
    std::vector<Entry> entries_;
};

ShadowMaskCache& shadowMaskCache() {
    thread_local ShadowMaskCache cache;
    return cache;
}

cairo_surface_t* makeShadowMask(const Layer& layer, const Rect& b, const Rect& area, int w, int h, double scale,
                                double radius) {
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
    cairo_t* mc = cairo_create(mask);
    cairo_scale(mc, scale, scale);
    cairo_translate(mc, -area.origin.x, -area.origin.y);
    if (layer.shadowPath()) {
        addToCairo(*layer.shadowPath(), mc);
    } else {
        roundedPath(mc, b, layer.cornerRadius());
    }
    cairo_set_source_rgba(mc, 0, 0, 0, 1);
    cairo_fill(mc);
    cairo_destroy(mc);
    int kernel = blurKernelSize(radius * scale);
    if (kernel > 1) {
        cairo_surface_flush(mask);
        for (int pass = 0; pass < 3; ++pass)
            boxBlur(cairo_image_surface_get_data(mask), w, h, cairo_image_surface_get_stride(mask), 1, kernel);
        cairo_surface_mark_dirty(mask);
    }
    return mask;
}

void drawShadow(View& view, cairo_t* cr, const Rect& b, double scale, double alpha) {
    const Layer& layer = *view.layer();
    if (layer.shadowOpacity() <= 0) return;
    rt::Ref<Color> color = layer.shadowColor() ? layer.shadowColor() : Color::blackColor();
    double radius = std::max(0.0, layer.shadowRadius());
    // The shadow's mask is drawn at the target's pixel density, blurred, then painted
    // with the offset in the view's coordinates.
    double pad = std::ceil(radius * 2 + 2);
    Rect shape = layer.shadowPath() ? layer.shadowPath()->bounds() : b;
    if (rectIsNull(shape) || rectIsEmpty(shape)) return;
    Rect area = rectInset(shape, -pad, -pad);
    int w = static_cast<int>(std::ceil(area.size.width * scale)), h = static_cast<int>(std::ceil(area.size.height * scale));
    if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return;
    cairo_surface_t* mask = nullptr;
    if (layer.shadowPath()) {
        mask = shadowMaskCache().find(*layer.shadowPath(), radius, scale);
        if (mask) cairo_surface_reference(mask);
    }
    if (!mask) {
        mask = makeShadowMask(layer, b, area, w, h, scale, radius);
        if (layer.shadowPath()) shadowMaskCache().add(*layer.shadowPath(), radius, scale, mask);
    }
    Size offset = layer.shadowOffset();
    Rect target(area.origin.x + offset.width, area.origin.y + offset.height, area.size.width, area.size.height);
    // Under an opaque rectangular body the shadow cannot be seen: only the parts of the
    // shadow outside the body are painted.
    std::vector<Rect> parts;
    auto bg = view.presentedBackgroundColor();
    bool opaqueBody = alpha >= 1 && bg && bg->alpha() >= 1 && layer.cornerRadius() <= 0 && !layer.maskPath();
    Rect hole = rectIntersection(target, b);
    if (opaqueBody && !rectIsNull(hole) && !rectIsEmpty(hole)) {
        double x0 = minX(target), x1 = maxX(target), y0 = minY(target), y1 = maxY(target);
        if (minY(hole) > y0) parts.push_back(Rect(x0, y0, x1 - x0, minY(hole) - y0));
        if (maxY(hole) < y1) parts.push_back(Rect(x0, maxY(hole), x1 - x0, y1 - maxY(hole)));
        if (minX(hole) > x0) parts.push_back(Rect(x0, minY(hole), minX(hole) - x0, height(hole)));
        if (maxX(hole) < x1) parts.push_back(Rect(maxX(hole), minY(hole), x1 - maxX(hole), height(hole)));
    } else {
        parts.push_back(target);
    }
    for (const Rect& part : parts) {
        cairo_save(cr);
        if (parts.size() > 1 || part != target) {
            cairo_rectangle(cr, part.origin.x, part.origin.y, part.size.width, part.size.height);
            cairo_clip(cr);
        }
        cairo_translate(cr, target.origin.x, target.origin.y);
        cairo_scale(cr, 1.0 / scale, 1.0 / scale);
        // A blurred mask moved by a fraction of a pixel looks the same; on whole pixels
        // it is composited without resampling.
        cairo_matrix_t m;
        cairo_get_matrix(cr, &m);
        if (m.xx == 1 && m.yy == 1 && m.xy == 0 && m.yx == 0) {
            m.x0 = std::round(m.x0);
            m.y0 = std::round(m.y0);
            cairo_set_matrix(cr, &m);
        }
        cairo_set_source_rgba(cr, color->red(), color->green(), color->blue(),
                              color->alpha() * layer.shadowOpacity() * alpha);
        cairo_mask_surface(cr, mask, 0, 0);
        cairo_restore(cr);
    }
    cairo_surface_destroy(mask);
}

void drawTree(View& view, cairo_t* cr, RenderPass& pass, bool ownGeometry);

/// Background, own drawing and subviews, clipped as the layer says.
void drawBody(View& view, cairo_t* cr, const Rect& b, RenderPass& pass) {
    const Layer& layer = *view.layer();
    double radius = layer.cornerRadius();
    if (auto bg = view.presentedBackgroundColor(); bg && bg->alpha() > 0) {
        roundedPath(cr, b, radius);
        cairo_set_source_rgba(cr, bg->red(), bg->green(), bg->blue(), bg->alpha());
        cairo_fill(cr);
    }
    // Saved states cost an allocation each: only a clip needs one here.
    bool clips = layer.masksToBounds();
    if (clips) {
        cairo_save(cr);
        roundedPath(cr, b, radius);
        cairo_clip(cr);
    }
    if (view.drawsContent()) {
        auto [drawn, inTree] = pass.drawOwn(view, cr, b);
        if (pass.drawers && drawn > 0) {
            pass.drawers->push_back(view.selfAs<View>());
            if (inTree > 0) pass.drawers->emplace_back();
        }
    }
    for (const auto& sub : view.subviews()) {
        rt::Ref<View> keep = sub;
        drawTree(*keep, cr, pass, true);
    }
    if (clips) cairo_restore(cr);
}

void drawTree(View& view, cairo_t* cr, RenderPass& pass, bool ownGeometry) {
    double scale = pass.scale;
    if (view.isHidden()) return;
    double alpha = view.presentedAlpha();
    if (alpha <= 0) return;
    alpha = std::min(alpha, 1.0);
    const Layer& layer = *view.layer();
    // The matrix is put back by hand; a full saved state only when a mask clips.
    cairo_matrix_t outer;
    cairo_get_matrix(cr, &outer);
    bool masked = bool(layer.maskPath());
    if (masked) cairo_save(cr);
    if (ownGeometry) setMatrix(cr, view.presentedTransformToSuperview());
    Rect b = view.presentedBounds();

    drawShadow(view, cr, b, scale, alpha);

    bool group = alpha < 1;
    if (group) cairo_push_group(cr);
    if (layer.maskPath()) {
        cairo_new_path(cr);
        addToCairo(*layer.maskPath(), cr);
        cairo_clip(cr);
    }
    double progress = detail::transitionProgress(view);
    if (progress >= 0) {
        // Cross-dissolve: the old picture fades out while the new content fades in.
        cairo_surface_t* from = view.animations()->transitionFrom;
        cairo_save(cr);
        cairo_translate(cr, b.origin.x, b.origin.y);
        double fw = cairo_image_surface_get_width(from), fh = cairo_image_surface_get_height(from);
        if (fw > 0 && fh > 0) cairo_scale(cr, b.size.width / fw, b.size.height / fh);
        cairo_set_source_surface(cr, from, 0, 0);
        cairo_paint_with_alpha(cr, 1 - progress);
        cairo_restore(cr);
        cairo_push_group(cr);
        drawBody(view, cr, b, pass);
        cairo_pop_group_to_source(cr);
        cairo_paint_with_alpha(cr, progress);
    } else {
        drawBody(view, cr, b, pass);
    }
    if (layer.borderWidth() > 0) {
        rt::Ref<Color> bc = layer.borderColor() ? layer.borderColor() : Color::blackColor();
        double bw = layer.borderWidth();
        Rect inner = rectInset(b, bw / 2, bw / 2);
        if (!rectIsNull(inner)) {
            roundedPath(cr, inner, std::max(0.0, layer.cornerRadius() - bw / 2));
            cairo_set_line_width(cr, bw);
            cairo_set_source_rgba(cr, bc->red(), bc->green(), bc->blue(), bc->alpha());
            cairo_stroke(cr);
        }
    }
    if (group) {
        cairo_pop_group_to_source(cr);
        cairo_paint_with_alpha(cr, alpha);
    }
    if (masked) cairo_restore(cr);
    cairo_set_matrix(cr, &outer);
}

}  // namespace

void renderView(View& view, cairo_t* cr, double scale) {
    std::vector<PlacedPicture>* none = nullptr;
    renderViewLeavingPictures(view, cr, scale, none);
}

void renderViewLeavingPictures(View& view, cairo_t* cr, double scale, std::vector<PlacedPicture>* pictures) {
    renderViewLeavingPictures(view, cr, scale, pictures, nullptr);
}

void renderViewLeavingPictures(View& view, cairo_t* cr, double scale, std::vector<PlacedPicture>* pictures,
                               std::vector<rt::Weak<View>>* drawers) {
    Rect b = view.presentedBounds();
    cairo_save(cr);
    cairo_translate(cr, -b.origin.x, -b.origin.y);
    RenderPass pass{scale, nullptr, pictures, pictures ? drawers : nullptr};
    drawTree(view, cr, pass, false);
    cairo_restore(cr);
}

bool redrawPictures(View& root, cairo_t* cr, double scale, const std::vector<rt::Weak<View>>& drawers,
                    std::vector<PlacedPicture>& pictures) {
    RenderPass pass{scale, nullptr, &pictures};
    Rect rootBounds = root.presentedBounds();
    std::vector<View*> chain;
    bool placedAll = true;
    for (const auto& weak : drawers) {
        rt::Ref<View> view = weak.lock();
        if (!view) return false;
        // The maps the full pass applied on the way down from the root.
        chain.clear();
        View* v = view.get();
        while (v && v != &root) {
            chain.push_back(v);
            auto super = v->superview();
            v = super.get();
        }
        if (!v) return false;
        chain.push_back(&root);
        // The maps and the clips (mask shapes, clipping to the bounds) drawTree and
        // drawBody applied on the way down from the root.
        cairo_save(cr);
        cairo_translate(cr, -rootBounds.origin.x, -rootBounds.origin.y);
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            View& step = **it;
            if (&step != &root) setMatrix(cr, step.presentedTransformToSuperview());
            const Layer& layer = *step.layer();
            if (layer.maskPath()) {
                cairo_new_path(cr);
                addToCairo(*layer.maskPath(), cr);
                cairo_clip(cr);
            }
            if (layer.masksToBounds()) {
                roundedPath(cr, step.presentedBounds(), layer.cornerRadius());
                cairo_clip(cr);
            }
        }
        int inTree = pass.drawOwn(*view, cr, view->presentedBounds()).second;
        cairo_restore(cr);
        placedAll = placedAll && inTree == 0;
    }
    return placedAll;
}

void renderViewInSuperview(View& view, cairo_t* cr, double scale) {
    RenderPass pass{scale, nullptr};
    drawTree(view, cr, pass, true);
}

rt::Ref<Image> renderToImage(View& view, double scale) {
    if (scale <= 0) scale = 1;
    Rect b = view.presentedBounds();
    int w = std::max(1, static_cast<int>(std::ceil(b.size.width * scale - 1e-9)));
    int h = std::max(1, static_cast<int>(std::ceil(b.size.height * scale - 1e-9)));
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_scale(cr, scale, scale);
    renderView(view, cr, scale);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    return rt::make<Image>(s, scale);
}

bool renderToPNG(View& view, const std::string& path, double scale) {
    return renderToImage(view, scale)->writePNG(path);
}

namespace detail {
cairo_surface_t* snapshotContent(View& view) {
    auto image = renderToImage(view, Screen::mainScreen()->scale());
    return cairo_surface_reference(image->surface());
}
}  // namespace detail

}  // namespace ui
