#include <ui/Touch.h>

#include <ui/Window.h>

namespace ui {

void Touch::moveTo(Point windowPoint) {
    previous_ = location_;
    location_ = windowPoint;
}

Point Touch::locationInView(const View* view) const {
    if (!view) return location_;
    return view->convertPointFromView(location_, window().get());
}

Point Touch::previousLocationInView(const View* view) const {
    if (!view) return previous_;
    return view->convertPointFromView(previous_, window().get());
}

}  // namespace ui
