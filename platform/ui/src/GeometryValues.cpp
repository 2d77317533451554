#include <ui/GeometryValues.h>

#include <cstdio>

namespace ui {

std::string describeRect(const Rect& r) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "{{%g, %g}, {%g, %g}}", r.origin.x, r.origin.y, r.size.width, r.size.height);
    return buf;
}

Point pointFromValue(const rt::Value& v) { return rt::ValueTraits<Point>::fromValue(v); }
Size sizeFromValue(const rt::Value& v) { return rt::ValueTraits<Size>::fromValue(v); }
Rect rectFromValue(const rt::Value& v) { return rt::ValueTraits<Rect>::fromValue(v); }
EdgeInsets edgeInsetsFromValue(const rt::Value& v) { return rt::ValueTraits<EdgeInsets>::fromValue(v); }
AffineTransform transformFromValue(const rt::Value& v) { return rt::ValueTraits<AffineTransform>::fromValue(v); }

}  // namespace ui

std::string rt::StructTraits<ui::Point>::describe(const ui::Point& p) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "{%g, %g}", p.x, p.y);
    return buf;
}
std::string rt::StructTraits<ui::Size>::describe(const ui::Size& s) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "{%g, %g}", s.width, s.height);
    return buf;
}
