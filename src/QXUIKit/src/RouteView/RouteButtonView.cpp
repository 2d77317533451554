#include "QXUIKit/RouteView/RouteButtonView.h"
#include <rt/MainThread.h>

namespace zid {

void RouteButtonView::didInitialize() {
    ui::View::didInitialize();
    button_ = ui::Button::buttonWithType(ui::ButtonType::Custom);
    button_->setFrame(bounds());
    button_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    addSubview(button_);
}

void RouteButtonView::setShowsRouteButton(bool v) {
    RT_MAIN_THREAD_ONLY();
    showsRouteButton_ = v;
    button_->setHidden(!v);
}

void RouteButtonView::setRouteButtonImage(rt::Ref<ui::Image> image, unsigned state) {
    RT_MAIN_THREAD_ONLY();
    button_->setImage(std::move(image), state);
}

rt::Ref<ui::Image> RouteButtonView::routeButtonImageForState(unsigned state) const {
    RT_MAIN_THREAD_ONLY();
    return button_->imageForState(state);
}

ui::Size RouteButtonView::sizeThatFits(ui::Size) const {
    RT_MAIN_THREAD_ONLY();
    auto image = routeButtonImageForState(ui::ControlState::Normal);
    return (showsRouteButton_ && image) ? image->size() : ui::Size();
}

}  // namespace zid
