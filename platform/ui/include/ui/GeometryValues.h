#pragma once
// Geometry as key-value coding values: points, sizes, rectangles, edge insets and
// transforms travel as small dictionaries of numbers ("x", "y", "width", "height",
// "top", "left", "bottom", "right", "a" ... "ty"), so observers and bindings of view
// properties see them like any other value.

#include <rt/ValueTraits.h>
#include <ui/Geometry.h>

namespace ui {
rt::Value toValue(const Point& p);
rt::Value toValue(const Size& s);
rt::Value toValue(const Rect& r);
rt::Value toValue(const EdgeInsets& e);
rt::Value toValue(const AffineTransform& t);
Point pointFromValue(const rt::Value& v);
Size sizeFromValue(const rt::Value& v);
Rect rectFromValue(const rt::Value& v);
EdgeInsets edgeInsetsFromValue(const rt::Value& v);
AffineTransform transformFromValue(const rt::Value& v);
}  // namespace ui

namespace rt {
template <> struct ValueTraits<ui::Point> {
    static Value toValue(const ui::Point& v) { return ui::toValue(v); }
    static ui::Point fromValue(const Value& v) { return ui::pointFromValue(v); }
};
template <> struct ValueTraits<ui::Size> {
    static Value toValue(const ui::Size& v) { return ui::toValue(v); }
    static ui::Size fromValue(const Value& v) { return ui::sizeFromValue(v); }
};
template <> struct ValueTraits<ui::Rect> {
    static Value toValue(const ui::Rect& v) { return ui::toValue(v); }
    static ui::Rect fromValue(const Value& v) { return ui::rectFromValue(v); }
};
template <> struct ValueTraits<ui::EdgeInsets> {
    static Value toValue(const ui::EdgeInsets& v) { return ui::toValue(v); }
    static ui::EdgeInsets fromValue(const Value& v) { return ui::edgeInsetsFromValue(v); }
};
template <> struct ValueTraits<ui::AffineTransform> {
    static Value toValue(const ui::AffineTransform& v) { return ui::toValue(v); }
    static ui::AffineTransform fromValue(const Value& v) { return ui::transformFromValue(v); }
};
}  // namespace rt
