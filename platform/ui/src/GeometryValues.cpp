#include <ui/GeometryValues.h>

namespace ui {

namespace {
double num(const rt::Dictionary& d, const char* key) {
    rt::Value v = d.get(rt::Value(key));
    return v.isNumber() ? v.number()->doubleValue() : 0.0;
}
const rt::Dictionary& dict(const rt::Value& v, const char* what) {
    static const rt::Dictionary empty;
    if (v.isNilOrNull()) return empty;
    if (!v.isDictionary()) rt::detail::raiseValueMismatch(v, what);
    return v.dictionary();
}
}  // namespace

rt::Value toValue(const Point& p) { return rt::Value(rt::Dictionary{{"x", p.x}, {"y", p.y}}); }
rt::Value toValue(const Size& s) { return rt::Value(rt::Dictionary{{"width", s.width}, {"height", s.height}}); }
rt::Value toValue(const Rect& r) {
    return rt::Value(rt::Dictionary{
        {"x", r.origin.x}, {"y", r.origin.y}, {"width", r.size.width}, {"height", r.size.height}});
}
rt::Value toValue(const EdgeInsets& e) {
    return rt::Value(rt::Dictionary{{"top", e.top}, {"left", e.left}, {"bottom", e.bottom}, {"right", e.right}});
}
rt::Value toValue(const AffineTransform& t) {
    return rt::Value(
        rt::Dictionary{{"a", t.a}, {"b", t.b}, {"c", t.c}, {"d", t.d}, {"tx", t.tx}, {"ty", t.ty}});
}
Point pointFromValue(const rt::Value& v) {
    const auto& d = dict(v, "a point");
    return {num(d, "x"), num(d, "y")};
}
Size sizeFromValue(const rt::Value& v) {
    const auto& d = dict(v, "a size");
    return {num(d, "width"), num(d, "height")};
}
Rect rectFromValue(const rt::Value& v) {
    const auto& d = dict(v, "a rectangle");
    return Rect(num(d, "x"), num(d, "y"), num(d, "width"), num(d, "height"));
}
EdgeInsets edgeInsetsFromValue(const rt::Value& v) {
    const auto& d = dict(v, "edge insets");
    return {num(d, "top"), num(d, "left"), num(d, "bottom"), num(d, "right")};
}
AffineTransform transformFromValue(const rt::Value& v) {
    if (v.isNilOrNull()) return {};
    const auto& d = dict(v, "a transform");
    return {num(d, "a"), num(d, "b"), num(d, "c"), num(d, "d"), num(d, "tx"), num(d, "ty")};
}

}  // namespace ui
