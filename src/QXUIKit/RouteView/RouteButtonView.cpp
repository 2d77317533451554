#include "QXUIKit/RouteView/RouteButtonView.h"

namespace zid {

void RouteButtonView::didInitialize() {
    ui::View::didInitialize();
    buttonView_ = rt::make<ui::ImageView>(bounds());
    buttonView_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    buttonView_->setContentMode(ui::ContentMode::Center);
    addSubview(buttonView_);
}

void RouteButtonView::setShowsRouteButton(bool v) {
    showsRouteButton_ = v;
    refresh();
}

void RouteButtonView::setRouteButtonImage(rt::Ref<ui::Image> image, unsigned state) {
    if (image) images_[state] = std::move(image);
    else images_.erase(state);
    refresh();
}

rt::Ref<ui::Image> RouteButtonView::routeButtonImageForState(unsigned state) const {
    if (auto it = images_.find(state); it != images_.end()) return it->second;
    if (auto it = images_.find(RouteButtonState::Normal); it != images_.end()) return it->second;
    return nullptr;
}

ui::Size RouteButtonView::sizeThatFits(ui::Size) const {
    auto image = routeButtonImageForState(RouteButtonState::Normal);
    return (showsRouteButton_ && image) ? image->size() : ui::Size();
}

void RouteButtonView::refresh() {
    buttonView_->setImage(showsRouteButton_ ? routeButtonImageForState(RouteButtonState::Normal) : nullptr);
}

}  // namespace zid
