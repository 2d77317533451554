#include <ui/Font.h>

#include <cstdio>
#include <functional>

#include <ui/Text.h>

#include "PangoContext.h"

namespace ui {

Font::Font(double pointSize, double weight) : size_(pointSize), weight_(weight) {}

rt::Ref<Font> Font::systemFontOfSize(double pointSize, double weight) { return rt::make<Font>(pointSize, weight); }
rt::Ref<Font> Font::boldSystemFontOfSize(double pointSize) { return rt::make<Font>(pointSize, FontWeight::Bold); }
rt::Ref<Font> Font::withSize(double pointSize) const { return rt::make<Font>(pointSize, weight_); }

int Font::numericWeight() const {
    // The platform's weights to the numeric scale of font files.
    if (weight_ <= -0.7) return 200;
    if (weight_ <= -0.5) return 100;
    if (weight_ <= -0.2) return 300;
    if (weight_ < 0.15) return 400;
    if (weight_ < 0.27) return 500;
    if (weight_ < 0.35) return 600;
    if (weight_ < 0.5) return 700;
    if (weight_ < 0.6) return 800;
    return 900;
}

namespace {
struct Metrics {
    double ascent, descent, height;
};
Metrics metricsOf(const Font& font) {
    ensureFontConfiguration();
    std::lock_guard lock(detail::pangoLock());
    PangoContext* ctx = detail::pangoContext();
    PangoFontDescription* desc = detail::fontDescription(font.pointSize(), font.numericWeight());
    PangoFontMetrics* m = pango_context_get_metrics(ctx, desc, nullptr);
    Metrics out{pango_font_metrics_get_ascent(m) / double(PANGO_SCALE),
                pango_font_metrics_get_descent(m) / double(PANGO_SCALE),
                pango_font_metrics_get_height(m) / double(PANGO_SCALE)};
    if (out.height <= 0) out.height = out.ascent + out.descent;
    pango_font_metrics_unref(m);
    pango_font_description_free(desc);
    return out;
}
}  // namespace

double Font::ascender() const { return metricsOf(*this).ascent; }
double Font::descender() const { return -metricsOf(*this).descent; }
double Font::lineHeight() const { return metricsOf(*this).height; }

bool Font::isEqual(const rt::Object& other) const {
    auto* o = dynamic_cast<const Font*>(&other);
    return o && o->size_ == size_ && o->weight_ == weight_;
}
std::size_t Font::hash() const { return std::hash<double>()(size_) ^ (std::hash<double>()(weight_) << 1); }
std::string Font::description() const {
    char buf[96];
    std::snprintf(buf, sizeof buf, "<Font %s %.1f weight %d>", familyName(), size_, numericWeight());
    return buf;
}

}  // namespace ui
