#include "QXUIKit/RouteView/QXAirplayView.h"

#include <rt/MainThread.h>
#include "Support/MissingArgument.h"
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Signal/Notification/FKNotificationObserverSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>

namespace zid {

void QXAirplayView::didInitialize() {
    ui::View::didInitialize();
    setup();
}

rt::Ref<RouteButtonView> QXAirplayView::makeVolumeView() { return rt::make<RouteButtonView>(); }

void QXAirplayView::setup() {
    setBackgroundColor(ui::Color::clearColor());
    volumeView_ = makeVolumeView();
    volumeView_->setShowsRouteButton(true);
    volumeView_->setAutoresizingMask(63);
    addSubview(volumeView_);
    alignVolumeView();
    setHidden(!volumeView_->areWirelessRoutesAvailable());

    rt::Weak<QXAirplayView> weak = selfAs<QXAirplayView>();
    onSignal(signalWithNotificationName(std::string(RouteButtonView::WirelessRoutesAvailableDidChangeNotification)),
             deallocSignal(*this), [weak](const rt::Value&) {
                 auto self = weak.lock();
                 if (self && self->volumeView_) self->setHidden(!self->volumeView_->areWirelessRoutesAvailable());
             });
}

void QXAirplayView::setVolumeViewForAirplay(rt::Ref<RouteButtonView> view) {
    RT_MAIN_THREAD_ONLY();
    if (!view) refuseMissingArgument("QXAirplayView: setVolumeViewForAirplay", "route button view");
    volumeView_ = std::move(view);
}

void QXAirplayView::setAirPlayIconImage(rt::Ref<ui::Image> image, unsigned state) {
    RT_MAIN_THREAD_ONLY();
    volumeView_->setRouteButtonImage(std::move(image), state);
    alignVolumeView();
}

void QXAirplayView::alignVolumeView() {
    RT_MAIN_THREAD_ONLY();
    volumeView_->setShowsVolumeSlider(false);
    volumeView_->sizeToFit();
    // The middle of the receiver's own bounds, wherever the receiver sits in its superview.
    ui::Rect b = bounds();
    volumeView_->setCenter(ui::Point{b.origin.x + b.size.width * 0.5, b.origin.y + b.size.height * 0.5});
}

}  // namespace zid
