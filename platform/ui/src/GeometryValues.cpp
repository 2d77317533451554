#include <ui/GeometryValues.h>

#include <cmath>
#include <cstdio>
#include <numbers>

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

namespace {

// M = R(angle) * [[sx, shear], [0, sy]] (columns), plus the translation.
struct Parts {
    double angle, sx, sy, shear, tx, ty;
};

bool takeApart(const AffineTransform& m, Parts& p) {
    p.sx = std::hypot(m.a, m.b);
    if (!(p.sx > 1e-12) || !std::isfinite(p.sx)) return false;
    p.angle = std::atan2(m.b, m.a);
    double cs = std::cos(p.angle), sn = std::sin(p.angle);
    p.shear = m.c * cs + m.d * sn;
    p.sy = -m.c * sn + m.d * cs;
    p.tx = m.tx;
    p.ty = m.ty;
    return true;
}

}  // namespace

AffineTransform interpolateTransform(const AffineTransform& from, const AffineTransform& to, double t) {
    if (t == 0) return from;
    if (t == 1) return to;
    auto mix = [t](double x, double y) { return x + (y - x) * t; };
    Parts a, b;
    if (!takeApart(from, a) || !takeApart(to, b))
        return {mix(from.a, to.a), mix(from.b, to.b), mix(from.c, to.c), mix(from.d, to.d), mix(from.tx, to.tx),
                mix(from.ty, to.ty)};
    double turn = b.angle - a.angle;
    constexpr double pi = std::numbers::pi;
    while (turn > pi) turn -= 2 * pi;
    while (turn <= -pi) turn += 2 * pi;
    double angle = a.angle + turn * t;
    double sx = mix(a.sx, b.sx), sy = mix(a.sy, b.sy), shear = mix(a.shear, b.shear);
    double cs = std::cos(angle), sn = std::sin(angle);
    return {sx * cs, sx * sn, shear * cs - sy * sn, shear * sn + sy * cs, mix(a.tx, b.tx), mix(a.ty, b.ty)};
}

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
