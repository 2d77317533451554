#pragma once
// Plane geometry of the toolkit: points, sizes, rectangles, edge insets, vectors and
// affine transforms, in points (doubles). A rectangle may have a negative size; the
// operations that read edges standardize it first, as the platform does. The null
// rectangle (infinite origin) is what an empty intersection answers.

#include <algorithm>
#include <cmath>
#include <limits>

namespace ui {

// Constructors rather than bare aggregates, so that Point(x, y) also compiles with
// compilers that lack C++20's parenthesized aggregate initialization (the clang of the
// sanitizer and fuzz builds).
struct Point {
    double x = 0, y = 0;
    constexpr Point() = default;
    constexpr Point(double x_, double y_) : x(x_), y(y_) {}
    friend bool operator==(const Point&, const Point&) = default;
};
struct Size {
    double width = 0, height = 0;
    constexpr Size() = default;
    constexpr Size(double w, double h) : width(w), height(h) {}
    friend bool operator==(const Size&, const Size&) = default;
};
struct Vector {
    double dx = 0, dy = 0;
    constexpr Vector() = default;
    constexpr Vector(double x, double y) : dx(x), dy(y) {}
    friend bool operator==(const Vector&, const Vector&) = default;
};
struct Rect {
    Point origin;
    Size size;
    Rect() = default;
    Rect(Point o, Size s) : origin(o), size(s) {}
    Rect(double x, double y, double w, double h) : origin{x, y}, size{w, h} {}
    friend bool operator==(const Rect&, const Rect&) = default;
};
struct EdgeInsets {
    double top = 0, left = 0, bottom = 0, right = 0;
    constexpr EdgeInsets() = default;
    constexpr EdgeInsets(double t, double l, double b, double r) : top(t), left(l), bottom(b), right(r) {}
    friend bool operator==(const EdgeInsets&, const EdgeInsets&) = default;
};

/// [a b 0; c d 0; tx ty 1]: a point (x, y) maps to (a x + c y + tx, b x + d y + ty).
struct AffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    friend bool operator==(const AffineTransform&, const AffineTransform&) = default;
};

inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

// ---- rectangles --------------------------------------------------------------------

inline Rect rectNull() { return Rect(kInfinity, kInfinity, 0, 0); }
inline bool rectIsNull(const Rect& r) { return std::isinf(r.origin.x) || std::isinf(r.origin.y); }
inline Rect rectStandardize(const Rect& r) {
    if (rectIsNull(r)) return r;
    Rect s = r;
    if (s.size.width < 0) {
        s.origin.x += s.size.width;
        s.size.width = -s.size.width;
    }
    if (s.size.height < 0) {
        s.origin.y += s.size.height;
        s.size.height = -s.size.height;
    }
    return s;
}
inline bool rectIsEmpty(const Rect& r) { return rectIsNull(r) || r.size.width == 0 || r.size.height == 0; }
inline double minX(const Rect& r) { return rectStandardize(r).origin.x; }
inline double minY(const Rect& r) { return rectStandardize(r).origin.y; }
inline double maxX(const Rect& r) { Rect s = rectStandardize(r); return s.origin.x + s.size.width; }
inline double maxY(const Rect& r) { Rect s = rectStandardize(r); return s.origin.y + s.size.height; }
inline double midX(const Rect& r) { Rect s = rectStandardize(r); return s.origin.x + s.size.width / 2; }
inline double midY(const Rect& r) { Rect s = rectStandardize(r); return s.origin.y + s.size.height / 2; }
inline double width(const Rect& r) { return std::fabs(r.size.width); }
inline double height(const Rect& r) { return std::fabs(r.size.height); }

/// Whether the point lies inside: minimum edges included, maximum edges excluded.
inline bool rectContainsPoint(const Rect& r, Point p) {
    if (rectIsNull(r)) return false;
    return p.x >= minX(r) && p.x < maxX(r) && p.y >= minY(r) && p.y < maxY(r);
}
inline bool rectContainsRect(const Rect& outer, const Rect& inner) {
    if (rectIsNull(outer) || rectIsNull(inner)) return false;
    return minX(inner) >= minX(outer) && minY(inner) >= minY(outer) && maxX(inner) <= maxX(outer) &&
           maxY(inner) <= maxY(outer);
}
/// The common part, or the null rectangle when the two do not overlap. Rectangles that
/// only touch along an edge do not overlap; a zero-width (or zero-height) rectangle
/// inside the other intersects it in itself.
inline Rect rectIntersection(const Rect& r1, const Rect& r2) {
    if (rectIsNull(r1) || rectIsNull(r2)) return rectNull();
    double x0 = std::max(minX(r1), minX(r2)), y0 = std::max(minY(r1), minY(r2));
    double x1 = std::min(maxX(r1), maxX(r2)), y1 = std::min(maxY(r1), maxY(r2));
    bool flatX = width(r1) == 0 || width(r2) == 0, flatY = height(r1) == 0 || height(r2) == 0;
    if (x1 < x0 || y1 < y0 || (x1 == x0 && !flatX) || (y1 == y0 && !flatY)) return rectNull();
    return Rect(x0, y0, x1 - x0, y1 - y0);
}
inline bool rectIntersectsRect(const Rect& r1, const Rect& r2) { return !rectIsNull(rectIntersection(r1, r2)); }
/// The smallest rectangle holding both; a null operand is ignored.
inline Rect rectUnion(const Rect& r1, const Rect& r2) {
    if (rectIsNull(r1)) return rectStandardize(r2);
    if (rectIsNull(r2)) return rectStandardize(r1);
    double x0 = std::min(minX(r1), minX(r2)), y0 = std::min(minY(r1), minY(r2));
    double x1 = std::max(maxX(r1), maxX(r2)), y1 = std::max(maxY(r1), maxY(r2));
    return Rect(x0, y0, x1 - x0, y1 - y0);
}
/// Moves each edge inward by dx / dy; a result with a negative size is the null rectangle.
inline Rect rectInset(const Rect& r, double dx, double dy) {
    if (rectIsNull(r)) return r;
    Rect s = rectStandardize(r);
    s.origin.x += dx;
    s.origin.y += dy;
    s.size.width -= 2 * dx;
    s.size.height -= 2 * dy;
    if (s.size.width < 0 || s.size.height < 0) return rectNull();
    return s;
}
inline Rect rectOffset(const Rect& r, double dx, double dy) {
    if (rectIsNull(r)) return r;
    return Rect(r.origin.x + dx, r.origin.y + dy, r.size.width, r.size.height);
}
/// The smallest rectangle with whole-number edges that holds the rectangle.
inline Rect rectIntegral(const Rect& r) {
    if (rectIsNull(r)) return r;
    Rect s = rectStandardize(r);
    double x0 = std::floor(s.origin.x), y0 = std::floor(s.origin.y);
    double x1 = std::ceil(s.origin.x + s.size.width), y1 = std::ceil(s.origin.y + s.size.height);
    return Rect(x0, y0, x1 - x0, y1 - y0);
}
enum class RectEdge { MinX = 0, MinY = 1, MaxX = 2, MaxY = 3 };
/// Splits the rectangle at `amount` from the given edge: slice holds that strip,
/// remainder the rest (either may be empty).
inline void rectDivide(const Rect& r, Rect* slice, Rect* remainder, double amount, RectEdge edge) {
    Rect s = rectStandardize(r);
    Rect a = s, b = s;
    if (rectIsNull(r)) {
        a = b = rectNull();
    } else {
        bool horizontal = edge == RectEdge::MinX || edge == RectEdge::MaxX;
        double extent = horizontal ? s.size.width : s.size.height;
        amount = std::clamp(amount, 0.0, extent);
        if (horizontal) {
            a.size.width = amount;
            b.size.width = extent - amount;
            if (edge == RectEdge::MinX) b.origin.x = s.origin.x + amount;
            else {
                a.origin.x = s.origin.x + extent - amount;
            }
        } else {
            a.size.height = amount;
            b.size.height = extent - amount;
            if (edge == RectEdge::MinY) b.origin.y = s.origin.y + amount;
            else {
                a.origin.y = s.origin.y + extent - amount;
            }
        }
    }
    if (slice) *slice = a;
    if (remainder) *remainder = b;
}
inline Rect insetRect(const Rect& r, const EdgeInsets& e) {
    return Rect(r.origin.x + e.left, r.origin.y + e.top, r.size.width - e.left - e.right,
                r.size.height - e.top - e.bottom);
}

// ---- affine transforms ---------------------------------------------------------------

inline AffineTransform transformIdentity() { return {}; }
inline bool transformIsIdentity(const AffineTransform& t) { return t == AffineTransform{}; }
inline AffineTransform transformMakeTranslation(double tx, double ty) { return {1, 0, 0, 1, tx, ty}; }
inline AffineTransform transformMakeScale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
inline AffineTransform transformMakeRotation(double angle) {
    double c = std::cos(angle), s = std::sin(angle);
    return {c, s, -s, c, 0, 0};
}
/// t1 followed by t2 (a point is mapped by t1 first).
inline AffineTransform transformConcat(const AffineTransform& t1, const AffineTransform& t2) {
    return {t1.a * t2.a + t1.b * t2.c,         t1.a * t2.b + t1.b * t2.d,
            t1.c * t2.a + t1.d * t2.c,         t1.c * t2.b + t1.d * t2.d,
            t1.tx * t2.a + t1.ty * t2.c + t2.tx, t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}
/// The given operation applied before t (the platform's Translate/Scale/Rotate).
inline AffineTransform transformTranslate(const AffineTransform& t, double tx, double ty) {
    return transformConcat(transformMakeTranslation(tx, ty), t);
}
inline AffineTransform transformScale(const AffineTransform& t, double sx, double sy) {
    return transformConcat(transformMakeScale(sx, sy), t);
}
inline AffineTransform transformRotate(const AffineTransform& t, double angle) {
    return transformConcat(transformMakeRotation(angle), t);
}
/// The inverse; a singular transform is answered unchanged (as the platform does).
inline AffineTransform transformInvert(const AffineTransform& t) {
    double det = t.a * t.d - t.b * t.c;
    if (det == 0) return t;
    return {t.d / det,  -t.b / det, -t.c / det, t.a / det, (t.c * t.ty - t.d * t.tx) / det,
            (t.b * t.tx - t.a * t.ty) / det};
}
inline Point pointApplyTransform(Point p, const AffineTransform& t) {
    return {t.a * p.x + t.c * p.y + t.tx, t.b * p.x + t.d * p.y + t.ty};
}
inline Size sizeApplyTransform(Size s, const AffineTransform& t) {
    return {t.a * s.width + t.c * s.height, t.b * s.width + t.d * s.height};
}
/// The bounding box of the transformed rectangle.
inline Rect rectApplyTransform(const Rect& r, const AffineTransform& t) {
    if (rectIsNull(r)) return r;
    Rect s = rectStandardize(r);
    Point p[4] = {pointApplyTransform(s.origin, t),
                  pointApplyTransform({s.origin.x + s.size.width, s.origin.y}, t),
                  pointApplyTransform({s.origin.x, s.origin.y + s.size.height}, t),
                  pointApplyTransform({s.origin.x + s.size.width, s.origin.y + s.size.height}, t)};
    double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
    for (const Point& q : p) {
        x0 = std::min(x0, q.x);
        x1 = std::max(x1, q.x);
        y0 = std::min(y0, q.y);
        y1 = std::max(y1, q.y);
    }
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

/// Comparisons with a tolerance, for values that went through transforms.
inline bool nearlyEqual(double a, double b, double eps = 1e-9) { return std::fabs(a - b) <= eps; }
inline bool nearlyEqual(const Rect& a, const Rect& b, double eps = 1e-9) {
    return nearlyEqual(a.origin.x, b.origin.x, eps) && nearlyEqual(a.origin.y, b.origin.y, eps) &&
           nearlyEqual(a.size.width, b.size.width, eps) && nearlyEqual(a.size.height, b.size.height, eps);
}

}  // namespace ui
