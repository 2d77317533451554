#include "CPMediaStatusViewLoading.h"

#include <cfloat>
#include <cmath>

#include <ui/Color.h>

namespace zid {

void CPMediaStatusViewLoading::didInitialize() {
    CPMediaStatusView::didInitialize();
    loadingItemsHolderView_ = rt::make<QXEventTransparentView>(ui::Rect(161, 189, 120, 23));
    loadingItemsHolderView_->setAutoresizingMask(ui::Autoresizing::FlexibleLeftMargin |
                                                 ui::Autoresizing::FlexibleRightMargin |
                                                 ui::Autoresizing::FlexibleBottomMargin);
    loadingItemsHolderView_->setBackgroundColor(ui::Color::clearColor());

    activityIndicator_ = rt::make<ui::ActivityIndicatorView>(ui::ActivityIndicatorViewStyle::White);
    activityIndicator_->setFrame(ui::Rect(3, 1.5, 20, 20));
    activityIndicator_->setAutoresizingMask(ui::Autoresizing::FlexibleRightMargin |
                                            ui::Autoresizing::FlexibleBottomMargin);
    activityIndicator_->setContentMode(ui::ContentMode::ScaleToFill);
    activityIndicator_->setOpaque(false);
    activityIndicator_->setColor(ui::Color::whiteColor());
    activityIndicator_->startAnimating();

    setMainLabel(makeLabel(ui::Rect(26, 0, 94, 23), /*lines*/ 1));
    loadingLabel()->setTextAlignment(ui::TextAlignment::Natural);
    loadingLabel()->setText("Loading");

    loadingItemsHolderView_->addSubview(activityIndicator_);
    loadingItemsHolderView_->addSubview(loadingLabel());
    buildDesign(ui::Rect(1, 0, 401, 401), {loadingItemsHolderView_}, /*clearBackground*/ true);
}

void CPMediaStatusViewLoading::layoutSubviews() {
    CPMediaStatusView::layoutSubviews();
    double width = frame().size.width;
    double x0 = loadingLabel()->frame().origin.x;
    double groupWidth = loadingLabel()->sizeThatFits(ui::Size{width - x0, FLT_MAX}).width + x0;
    ui::Rect holder = loadingItemsHolderView_->frame();
    holder.origin.x = std::trunc((width - groupWidth) * 0.5);
    holder.size.width = groupWidth;
    loadingItemsHolderView_->setFrame(holder);
}

}  // namespace zid
