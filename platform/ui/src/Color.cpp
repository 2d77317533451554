#include <ui/Color.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace ui {

namespace {
double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }
}  // namespace

Color::Color(double red, double green, double blue, double alpha)
    : r_(clamp01(red)), g_(clamp01(green)), b_(clamp01(blue)), a_(clamp01(alpha)) {}

rt::Ref<Color> Color::rgba(double red, double green, double blue, double alpha) {
    return rt::make<Color>(red, green, blue, alpha);
}
rt::Ref<Color> Color::white(double white, double alpha) {
    auto c = rt::make<Color>(white, white, white, alpha);
    c->gray_ = true;
    return c;
}
rt::Ref<Color> Color::whiteColor() { return white(1, 1); }
rt::Ref<Color> Color::blackColor() { return white(0, 1); }
rt::Ref<Color> Color::clearColor() { return white(0, 0); }
rt::Ref<Color> Color::grayColor() { return white(0.5, 1); }
rt::Ref<Color> Color::lightGrayColor() { return white(2.0 / 3.0, 1); }
rt::Ref<Color> Color::darkGrayColor() { return white(1.0 / 3.0, 1); }
rt::Ref<Color> Color::redColor() { return rgba(1, 0, 0, 1); }
rt::Ref<Color> Color::greenColor() { return rgba(0, 1, 0, 1); }
rt::Ref<Color> Color::blueColor() { return rgba(0, 0, 1, 1); }
rt::Ref<Color> Color::yellowColor() { return rgba(1, 1, 0, 1); }
rt::Ref<Color> Color::orangeColor() { return rgba(1, 0.5, 0, 1); }

rt::Ref<Color> Color::withAlpha(double alpha) const {
    auto c = rt::make<Color>(r_, g_, b_, alpha);
    c->gray_ = gray_;
    return c;
}

bool Color::isEqual(const rt::Object& other) const {
    auto* o = dynamic_cast<const Color*>(&other);
    return o && o->r_ == r_ && o->g_ == g_ && o->b_ == b_ && o->a_ == a_;
}
std::size_t Color::hash() const {
    std::hash<double> h;
    return h(r_) ^ (h(g_) << 1) ^ (h(b_) << 2) ^ (h(a_) << 3);
}
std::string Color::description() const {
    char buf[96];
    std::snprintf(buf, sizeof buf, "<Color %.3f %.3f %.3f %.3f>", r_, g_, b_, a_);
    return buf;
}

}  // namespace ui
