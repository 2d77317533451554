#pragma once
// Geometry as values: points, sizes, vectors, rectangles, edge insets and transforms
// are structure values of rt::Value (kept inline, compared with ==), so key-value
// coding, typed keys, observers and bindings of view properties carry them like
// numbers, and animations interpolate them.

#include <string>

#include <rt/StructValue.h>
#include <ui/Geometry.h>

namespace ui {
std::string describeRect(const Rect& r);
}  // namespace ui

template <> struct rt::StructTraits<ui::Point> {
    static constexpr const char* code = "ui::Point";
    static std::string describe(const ui::Point& p);
};
template <> struct rt::StructTraits<ui::Size> {
    static constexpr const char* code = "ui::Size";
    static std::string describe(const ui::Size& s);
};
template <> struct rt::StructTraits<ui::Vector> {
    static constexpr const char* code = "ui::Vector";
};
template <> struct rt::StructTraits<ui::Rect> {
    static constexpr const char* code = "ui::Rect";
    static std::string describe(const ui::Rect& r) { return ui::describeRect(r); }
};
template <> struct rt::StructTraits<ui::EdgeInsets> {
    static constexpr const char* code = "ui::EdgeInsets";
};
template <> struct rt::StructTraits<ui::AffineTransform> {
    static constexpr const char* code = "ui::AffineTransform";
};

template <> struct rt::Interpolation<ui::Point> {
    static ui::Point interpolate(const ui::Point& a, const ui::Point& b, double t) {
        return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
    }
};
template <> struct rt::Interpolation<ui::Size> {
    static ui::Size interpolate(const ui::Size& a, const ui::Size& b, double t) {
        return {a.width + (b.width - a.width) * t, a.height + (b.height - a.height) * t};
    }
};
template <> struct rt::Interpolation<ui::Rect> {
    static ui::Rect interpolate(const ui::Rect& a, const ui::Rect& b, double t) {
        return ui::Rect(rt::Interpolation<ui::Point>::interpolate(a.origin, b.origin, t),
                        rt::Interpolation<ui::Size>::interpolate(a.size, b.size, t));
    }
};
namespace ui {
/// Transforms move as the platform animates them: each is taken apart into a
/// rotation, scales, a shear and a translation, which move separately (the rotation by
/// the shorter way), so a turn stays a turn instead of shrinking through a point. The
/// ends are exact; a transform that collapses a direction moves component by component.
AffineTransform interpolateTransform(const AffineTransform& from, const AffineTransform& to, double t);
}  // namespace ui
template <> struct rt::Interpolation<ui::AffineTransform> {
    static ui::AffineTransform interpolate(const ui::AffineTransform& a, const ui::AffineTransform& b, double t) {
        return ui::interpolateTransform(a, b, t);
    }
};

namespace ui {
// Shorthands for code that builds or reads values by hand.
inline rt::Value toValue(const Point& p) { return rt::structValue(p); }
inline rt::Value toValue(const Size& s) { return rt::structValue(s); }
inline rt::Value toValue(const Rect& r) { return rt::structValue(r); }
inline rt::Value toValue(const EdgeInsets& e) { return rt::structValue(e); }
inline rt::Value toValue(const AffineTransform& t) { return rt::structValue(t); }
Point pointFromValue(const rt::Value& v);
Size sizeFromValue(const rt::Value& v);
Rect rectFromValue(const rt::Value& v);
EdgeInsets edgeInsetsFromValue(const rt::Value& v);
AffineTransform transformFromValue(const rt::Value& v);
}  // namespace ui
