#include <rt/MainThread.h>
#include <QXCorePlayer/Core/View/QXPlayerView.h>

#include <QXFoundation/Log/QXLogger.h>
#include <ui/Image.h>
#include <ui/ImageContext.h>

#include <cairo.h>

#include <algorithm>
#include <vector>
#include "Core/CoreLogModule.h"

namespace zid {

namespace {
std::string eventText(const media::RemoteControlEvent& e) {
    return "<RemoteControlEvent type: " + std::to_string(static_cast<long long>(e.type)) +
           " subtype: " + std::to_string(static_cast<long long>(e.subtype)) + ">";
}
// The picture as an image over the frame's own bytes (no copy), keeping the frame alive
// as long as the image; a frame Cairo cannot take as it is gets copied.
rt::Ref<ui::Image> imageOverFrame(const rt::Ref<media::VideoFrame>& frame) {
    const auto rowBytes = static_cast<std::size_t>(frame->width()) * 4;
    if (frame->stride() >= 0 && static_cast<std::size_t>(frame->stride()) >= rowBytes && frame->stride() % 4 == 0) {
        cairo_surface_t* surface = cairo_image_surface_create_for_data(const_cast<unsigned char*>(frame->bytes()),
                                                                       CAIRO_FORMAT_ARGB32, frame->width(),
                                                                       frame->height(), frame->stride());
        static const cairo_user_data_key_t kFrameKey{};
        auto* kept = new rt::Ref<media::VideoFrame>(frame);
        if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS &&
            cairo_surface_set_user_data(surface, &kFrameKey, kept,
                                        [](void* p) { delete static_cast<rt::Ref<media::VideoFrame>*>(p); }) ==
                CAIRO_STATUS_SUCCESS)
            return rt::make<ui::Image>(surface, 1.0);
        delete kept;
        cairo_surface_destroy(surface);
    }
    std::vector<std::uint8_t> packed(rowBytes * static_cast<std::size_t>(frame->height()));
    for (int y = 0; y < frame->height(); ++y)
        std::copy_n(frame->bytes() + static_cast<std::size_t>(y) * frame->stride(), rowBytes, packed.data() + y * rowBytes);
    return ui::Image::imageWithPixels(packed.data(), packed.size(), frame->width(), frame->height());
}

}  // namespace

void QXPlayerView::describe(rt::ClassBuilder<QXPlayerView>& c) {
    c.property("player", &QXPlayerView::player, &QXPlayerView::setPlayer);
    c.readonly("playerLayer", &QXPlayerView::playerLayer);
}

QXPlayerView::QXPlayerView(const ui::Rect& frame) : ui::View(frame) {
    setAccessibilityLabel("Player View");
    setBackgroundColor(ui::Color::blackColor());
    playerLayer_->setBounds({frame.size.width, frame.size.height});
}

void QXPlayerView::didInitialize() {
    ui::View::didInitialize();
    rt::Weak<QXPlayerView> weak = selfAs<QXPlayerView>();
    playerLayer_->setFrameChangedHandler([weak] {
        auto self = weak.lock();
        if (!self) return;
        if (self->playerLayer_->isReadyForDisplay()) self->setNeedsDisplayForNewPicture();
        else self->setNeedsDisplay();  // the picture went away
    });
}

void QXPlayerView::setPlayer(const rt::Ref<media::Player>& player) {
    RT_MAIN_THREAD_ONLY();
    if (playerLayer_->player() == player) return;
    willChangeValueForKey("player");
    playerLayer_->setPlayer(player);
    didChangeValueForKey("player");
}

void QXPlayerView::remoteControlReceivedWithEvent(const media::RemoteControlEvent& event) {
    RT_MAIN_THREAD_ONLY();
    QXLog(kCoreLogModule, staticClass(), 6, "Remote control event: %@", eventText(event));
    auto owner = delegate_.lock();
    if (auto* delegate = dynamic_cast<QXPlayerViewRemoteControlDelegate*>(owner.get()))
        delegate->playerViewDidReceiveRemoteControlEvent(*this, event);
}

void QXPlayerView::didMoveToWindow() {
    RT_MAIN_THREAD_ONLY();
    auto center = media::RemoteControlCenter::shared();
    if (window()) center->beginReceivingRemoteControlEvents(self(), this);
    else center->endReceivingRemoteControlEvents(self());
}

void QXPlayerView::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    playerLayer_->setBounds({bounds().size.width, bounds().size.height});
}

void QXPlayerView::draw(ui::ImageContext& context, const ui::Rect& /*rect*/) {
    RT_MAIN_THREAD_ONLY();
    playerLayer_->setBounds({bounds().size.width, bounds().size.height});
    auto frame = playerLayer_->currentFrame();
    if (!frame) return;
    auto r = playerLayer_->videoRect();
    if (frame != shownFrame_) {
        shownImage_ = imageOverFrame(frame);
        shownFrame_ = frame;
    }
    if (!shownImage_) return;
    const auto& image = shownImage_;
    context.saveState();
    context.clipToRect(ui::Rect(0, 0, bounds().size.width, bounds().size.height));
    context.drawPicture(*image, ui::Rect(bounds().origin.x + r.x, bounds().origin.y + r.y, r.width, r.height));
    context.restoreState();
}

}  // namespace zid
