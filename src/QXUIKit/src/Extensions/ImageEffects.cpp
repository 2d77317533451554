#include "Extensions/ImageEffects.h"

#include <cairo.h>

#include <cmath>
#include <cstdio>

#include <ui/ImageContext.h>
#include <ui/PixelOps.h>
#include <ui/Screen.h>

#include "QXUIKit/Support/QXConsole.h"
#include "CairoDrawing.h"

namespace zid {

namespace {
constexpr double kEpsilon = 1.1920928955078125e-07;
}  // namespace

void saturationMatrix(double s, std::int16_t out[16]) {
    const double m[16] = {
        0.0722 + 0.9278 * s, 0.0722 - 0.0722 * s, 0.0722 - 0.0722 * s, 0,
        0.7152 - 0.7152 * s, 0.7152 + 0.2848 * s, 0.7152 - 0.7152 * s, 0,
        0.2126 - 0.2126 * s, 0.2126 - 0.2126 * s, 0.2126 + 0.7873 * s, 0,
        0,                   0,                   0,                   1,
    };
    for (int i = 0; i < 16; ++i) out[i] = static_cast<std::int16_t>(std::lround(static_cast<float>(m[i] * 256)));
}

rt::Ref<ui::Image> applyBlurWithRadius(const ui::Image& image, double r, const rt::Ref<ui::Color>& tint, double s,
                                       const rt::Ref<ui::Image>& mask) {
    ui::Size size = image.size();
    if (size.width < 1 || size.height < 1) {
        char line[160];
        std::snprintf(line, sizeof line, "*** error: invalid size: (%.2f x %.2f). Both dimensions must be >= 1: ",
                      size.width, size.height);
        consoleLog(line + image.description());
        return nullptr;
    }
    if (!image.surface()) {
        consoleLog("*** error: image must be backed by a CGImage: " + image.description());
        return nullptr;
    }
    if (mask && !mask->surface()) {
        consoleLog("*** error: maskImage must be backed by a CGImage: " + mask->description());
        return nullptr;
    }
    bool hasBlur = r > kEpsilon;
    bool hasSaturationChange = std::fabs(s - 1.0) > kEpsilon;
    double scale = ui::Screen::mainScreen()->scale();
    ui::Rect full(0, 0, size.width, size.height);

    rt::Ref<ui::Image> effect;
    if (hasBlur) {
        auto a = rt::make<ui::ImageContext>(size, false, scale);
        a->drawImage(image, full);
        auto img = a->image();  // one buffer; three box passes in place
        cairo_surface_t* surface = img->surface();
        cairo_surface_flush(surface);
        unsigned char* data = cairo_image_surface_get_data(surface);
        int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
        int stride = cairo_image_surface_get_stride(surface);
        int k = ui::blurKernelSize(r * scale);
        for (int pass = 0; pass < 3; ++pass) ui::boxBlur(data, w, h, stride, 4, k);
        if (hasSaturationChange) {
            std::int16_t m[16];
            saturationMatrix(s, m);
            ui::colorMatrix(data, w, h, stride, m, 256);
        }
        cairo_surface_mark_dirty(surface);
        effect = img;
    }

    auto out = rt::make<ui::ImageContext>(size, false, scale);
    out->drawImage(image, full);
    if (hasBlur) {
        out->saveState();
        if (mask) out->clipToMask(full, *mask);
        out->drawImage(*effect, full);
        out->restoreState();
    }
    if (tint) {
        out->saveState();
        out->fillRect(full, *tint);
        out->restoreState();
    }
    return out->image();
}

rt::Ref<ui::Image> applyLightEffect(const ui::Image& image) {
    return applyBlurWithRadius(image, 30, ui::Color::white(1.0, 0.3), 1.8, nullptr);
}
rt::Ref<ui::Image> applyExtraLightEffect(const ui::Image& image) {
    return applyBlurWithRadius(image, 20, ui::Color::white(0.97, 0.82), 1.8, nullptr);
}
rt::Ref<ui::Image> applyDarkEffect(const ui::Image& image) {
    return applyBlurWithRadius(image, 20, ui::Color::white(0.11, 0.73), 1.8, nullptr);
}
rt::Ref<ui::Image> applyTintEffectWithColor(const ui::Image& image, const rt::Ref<ui::Color>& color) {
    rt::Ref<ui::Color> tint = color;
    if (color) {
        tint = color->isGray() ? ui::Color::white(color->red(), 0.6)
                               : ui::Color::rgba(color->red(), color->green(), color->blue(), 0.6);
    }
    return applyBlurWithRadius(image, 10, tint, -1.0, nullptr);
}

}  // namespace zid
