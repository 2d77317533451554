#include <ui/BezierPath.h>

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include "CairoDrawing.h"

namespace ui {

namespace {
// Control-point distance of a cubic quarter circle.
constexpr double kKappa = 0.5522847498307936;
}  // namespace

rt::Ref<BezierPath> BezierPath::path() { return rt::make<BezierPath>(); }

rt::Ref<BezierPath> BezierPath::rect(const Rect& r0) {
    Rect r = rectStandardize(r0);
    auto p = path();
    p->moveTo(r.origin);
    p->lineTo({maxX(r), minY(r)});
    p->lineTo({maxX(r), maxY(r)});
    p->lineTo({minX(r), maxY(r)});
    p->close();
    return p;
}

rt::Ref<BezierPath> BezierPath::roundedRect(const Rect& r0, double radius) {
    Rect r = rectStandardize(r0);
    radius = std::clamp(radius, 0.0, std::min(r.size.width, r.size.height) / 2);
    if (radius <= 0) return rect(r);
    double x0 = minX(r), y0 = minY(r), x1 = maxX(r), y1 = maxY(r), k = radius * kKappa;
    auto p = path();
    p->moveTo({x0 + radius, y0});
    p->lineTo({x1 - radius, y0});
    p->curveTo({x1, y0 + radius}, {x1 - radius + k, y0}, {x1, y0 + radius - k});
    p->lineTo({x1, y1 - radius});
    p->curveTo({x1 - radius, y1}, {x1, y1 - radius + k}, {x1 - radius + k, y1});
    p->lineTo({x0 + radius, y1});
    p->curveTo({x0, y1 - radius}, {x0 + radius - k, y1}, {x0, y1 - radius + k});
    p->lineTo({x0, y0 + radius});
    p->curveTo({x0 + radius, y0}, {x0, y0 + radius - k}, {x0 + radius - k, y0});
    p->close();
    return p;
}

rt::Ref<BezierPath> BezierPath::oval(const Rect& r0) {
    Rect r = rectStandardize(r0);
    double cx = midX(r), cy = midY(r), rx = r.size.width / 2, ry = r.size.height / 2;
    double kx = rx * kKappa, ky = ry * kKappa;
    auto p = path();
    p->moveTo({cx + rx, cy});
    p->curveTo({cx, cy + ry}, {cx + rx, cy + ky}, {cx + kx, cy + ry});
    p->curveTo({cx - rx, cy}, {cx - kx, cy + ry}, {cx - rx, cy + ky});
    p->curveTo({cx, cy - ry}, {cx - rx, cy - ky}, {cx - kx, cy - ry});
    p->curveTo({cx + rx, cy}, {cx + kx, cy - ry}, {cx + rx, cy - ky});
    p->close();
    return p;
}

void BezierPath::moveTo(Point p) { RT_MAIN_THREAD_ONLY(); elements_.push_back({Op::Move, {p, {}, {}}}); }
void BezierPath::lineTo(Point p) { RT_MAIN_THREAD_ONLY(); elements_.push_back({Op::Line, {p, {}, {}}}); }
void BezierPath::curveTo(Point end, Point c1, Point c2) {
    RT_MAIN_THREAD_ONLY();
    elements_.push_back({Op::Curve, {c1, c2, end}});
}
void BezierPath::close() { RT_MAIN_THREAD_ONLY(); elements_.push_back({Op::Close, {}}); }
void BezierPath::append(const BezierPath& other) {
    RT_MAIN_THREAD_ONLY();
    elements_.insert(elements_.end(), other.elements_.begin(), other.elements_.end());
}
void BezierPath::applyTransform(const AffineTransform& t) {
    RT_MAIN_THREAD_ONLY();
    for (auto& e : elements_)
        for (auto& p : e.p) p = pointApplyTransform(p, t);
}

Rect BezierPath::bounds() const {
    RT_MAIN_THREAD_ONLY();
    Rect out = rectNull();
    for (const auto& e : elements_) {
        int n = e.op == Op::Curve ? 3 : (e.op == Op::Close ? 0 : 1);
        for (int i = 0; i < n; ++i) out = rectUnion(out, Rect(e.p[i], Size{}));
    }
    return out;
}

void BezierPathCairo::add(const BezierPath& path, cairo_t* cr) {
    using Op = BezierPath::Op;
    for (const auto& e : path.elements_) {
        switch (e.op) {
        case Op::Move: cairo_move_to(cr, e.p[0].x, e.p[0].y); break;
        case Op::Line: cairo_line_to(cr, e.p[0].x, e.p[0].y); break;
        case Op::Curve: cairo_curve_to(cr, e.p[0].x, e.p[0].y, e.p[1].x, e.p[1].y, e.p[2].x, e.p[2].y); break;
        case Op::Close: cairo_close_path(cr); break;
        }
    }
}

bool BezierPath::containsPoint(Point p) const {
    RT_MAIN_THREAD_ONLY();
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* cr = cairo_create(s);
    addToCairo(*this, cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    bool inside = cairo_in_fill(cr, p.x, p.y);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    return inside;
}

bool BezierPath::isEqual(const rt::Object& other) const {
    auto* o = dynamic_cast<const BezierPath*>(&other);
    return o && o->elements_ == elements_;
}

void addRoundedRectPath(cairo_t* cr, const Rect& r0, double radius) {
    // The same curves as BezierPath::roundedRect, without building a path object.
    Rect r = rectStandardize(r0);
    radius = std::clamp(radius, 0.0, std::min(r.size.width, r.size.height) / 2);
    double x0 = r.origin.x, y0 = r.origin.y, x1 = x0 + r.size.width, y1 = y0 + r.size.height, k = radius * kKappa;
    if (radius <= 0) {
        cairo_rectangle(cr, x0, y0, r.size.width, r.size.height);
        return;
    }
    cairo_move_to(cr, x0 + radius, y0);
    cairo_line_to(cr, x1 - radius, y0);
    cairo_curve_to(cr, x1 - radius + k, y0, x1, y0 + radius - k, x1, y0 + radius);
    cairo_line_to(cr, x1, y1 - radius);
    cairo_curve_to(cr, x1, y1 - radius + k, x1 - radius + k, y1, x1 - radius, y1);
    cairo_line_to(cr, x0 + radius, y1);
    cairo_curve_to(cr, x0 + radius - k, y1, x0, y1 - radius + k, x0, y1 - radius);
    cairo_line_to(cr, x0, y0 + radius);
    cairo_curve_to(cr, x0, y0 + radius - k, x0 + radius - k, y0, x0 + radius, y0);
    cairo_close_path(cr);
}

}  // namespace ui
