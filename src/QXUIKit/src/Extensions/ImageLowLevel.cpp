#include "Extensions/ImageLowLevel.h"

#include <ui/ImageContext.h>
#include <ui/Screen.h>
#include "CairoDrawing.h"

namespace zid {

rt::Ref<ui::Image> imageFromRGBABuffer(const std::uint8_t* buffer, std::size_t length, std::int32_t w, std::int32_t h) {
    return ui::Image::imageWithPixels(buffer, length, w, h, ui::Screen::mainScreen()->scale());
}

namespace {
rt::Ref<ui::Image> clipped(const ui::Image& image, const std::function<void(ui::ImageContext&, const ui::Rect&)>& clip) {
    double s = image.scale();
    ui::Size canvas{image.size().width * s, image.size().height * s};
    auto ctx = rt::make<ui::ImageContext>(canvas, false, 1.0);
    ui::Rect full(0, 0, canvas.width, canvas.height);
    clip(*ctx, full);
    ctx->drawImage(image, full);
    return ctx->image();
}
}  // namespace

rt::Ref<ui::Image> imageWithRoundedCorners(const ui::Image& image, double radius) {
    double s = image.scale();
    return clipped(image, [&](ui::ImageContext& c, const ui::Rect& full) { c.clipToRoundedRect(full, s * radius); });
}

rt::Ref<ui::Image> ovalImage(const ui::Image& image) {
    return clipped(image, [](ui::ImageContext& c, const ui::Rect& full) { c.clipToOval(full); });
}

}  // namespace zid
