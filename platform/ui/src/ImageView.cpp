#include <rt/MainThread.h>
#include <ui/ImageView.h>

#include <algorithm>

#include <ui/ImageContext.h>
#include "CairoDrawing.h"

namespace ui {

ImageView::ImageView(const Rect& frame) : View(frame) {
    setUserInteractionEnabled(false);
    setOpaque(false);
}

ImageView::ImageView(rt::Ref<Image> image)
    : ImageView(Rect(Point{}, image ? image->size() : Size{})) {
    image_ = std::move(image);
}

void ImageView::describe(rt::ClassBuilder<ImageView>& c) {
    c.property(imageKey);
    c.property(highlightedImageKey);
    c.property(highlightedKey);
}

Size ImageView::sizeThatFits(Size) const {
    RT_MAIN_THREAD_ONLY();
    auto img = shown();
    return img ? img->size() : Size{};
}

Rect ImageView::imageRect() const {
    RT_MAIN_THREAD_ONLY();
    Rect b = bounds();
    auto img = shown();
    if (!img) return b;
    Size s = img->size();
    double W = b.size.width, H = b.size.height;
    double x = b.origin.x, y = b.origin.y;
    switch (contentMode()) {
    case ContentMode::ScaleToFill:
    case ContentMode::Redraw: return b;
    case ContentMode::ScaleAspectFit:
    case ContentMode::ScaleAspectFill: {
        if (s.width <= 0 || s.height <= 0) return b;
        double f = contentMode() == ContentMode::ScaleAspectFit ? std::min(W / s.width, H / s.height)
                                                                : std::max(W / s.width, H / s.height);
        double w = s.width * f, h = s.height * f;
        return Rect(x + (W - w) / 2, y + (H - h) / 2, w, h);
    }
    case ContentMode::Center: return Rect(x + (W - s.width) / 2, y + (H - s.height) / 2, s.width, s.height);
    case ContentMode::Top: return Rect(x + (W - s.width) / 2, y, s.width, s.height);
    case ContentMode::Bottom: return Rect(x + (W - s.width) / 2, y + H - s.height, s.width, s.height);
    case ContentMode::Left: return Rect(x, y + (H - s.height) / 2, s.width, s.height);
    case ContentMode::Right: return Rect(x + W - s.width, y + (H - s.height) / 2, s.width, s.height);
    case ContentMode::TopLeft: return Rect(x, y, s.width, s.height);
    case ContentMode::TopRight: return Rect(x + W - s.width, y, s.width, s.height);
    case ContentMode::BottomLeft: return Rect(x, y + H - s.height, s.width, s.height);
    case ContentMode::BottomRight: return Rect(x + W - s.width, y + H - s.height, s.width, s.height);
    }
    return b;
}

void ImageView::draw(ImageContext& context, const Rect&) {
    RT_MAIN_THREAD_ONLY();
    auto img = shown();
    if (!img) return;
    auto tint = tintColor();
    context.drawImage(*img, imageRect(), tint.get());
}

}  // namespace ui
