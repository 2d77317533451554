#include <QXCorePlayer/Core/View/QXPlayerView.h>

#include <QXFoundation/Log/QXLogger.h>
#include <ui/Image.h>
#include <ui/ImageContext.h>

#include <algorithm>
#include <vector>

namespace zid {

namespace {
constexpr const char* kModule = "ZIDoredider/QXCorePlayer/Core";

std::string eventText(const media::RemoteControlEvent& e) {
    return "<RemoteControlEvent type: " + std::to_string(static_cast<long long>(e.type)) +
           " subtype: " + std::to_string(static_cast<long long>(e.subtype)) + ">";
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

void QXPlayerView::setPlayer(const rt::Ref<media::Player>& player) {
    if (playerLayer_->player() == player) return;
    willChangeValueForKey("player");
    playerLayer_->setPlayer(player);
    didChangeValueForKey("player");
}

void QXPlayerView::remoteControlReceivedWithEvent(const media::RemoteControlEvent& event) {
    QXLog(kModule, staticClass(), 6, "Remote control event: %@", eventText(event));
    auto owner = delegate_.lock();
    if (auto* delegate = dynamic_cast<QXPlayerViewRemoteControlDelegate*>(owner.get()))
        delegate->playerViewDidReceiveRemoteControlEvent(*this, event);
}

void QXPlayerView::didMoveToWindow() {
    auto center = media::RemoteControlCenter::shared();
    if (window()) center->beginReceivingRemoteControlEvents(self(), this);
    else center->endReceivingRemoteControlEvents(self());
}

void QXPlayerView::layoutSubviews() {
    playerLayer_->setBounds({bounds().size.width, bounds().size.height});
}

void QXPlayerView::draw(ui::ImageContext& context, const ui::Rect& /*rect*/) {
    playerLayer_->setBounds({bounds().size.width, bounds().size.height});
    auto frame = playerLayer_->currentFrame();
    if (!frame) return;
    auto r = playerLayer_->videoRect();
    const auto rowBytes = static_cast<std::size_t>(frame->width()) * 4;
    rt::Ref<ui::Image> image;
    if (static_cast<std::size_t>(frame->stride()) == rowBytes) {
        image = ui::Image::imageWithPixels(frame->bytes(), frame->byteCount(), frame->width(), frame->height());
    } else {
        std::vector<std::uint8_t> packed(rowBytes * static_cast<std::size_t>(frame->height()));
        for (int y = 0; y < frame->height(); ++y)
            std::copy_n(frame->bytes() + static_cast<std::size_t>(y) * frame->stride(), rowBytes, packed.data() + y * rowBytes);
        image = ui::Image::imageWithPixels(packed.data(), packed.size(), frame->width(), frame->height());
    }
    if (!image) return;
    context.saveState();
    context.clipToRect(ui::Rect(0, 0, bounds().size.width, bounds().size.height));
    context.drawImage(*image, ui::Rect(bounds().origin.x + r.x, bounds().origin.y + r.y, r.width, r.height));
    context.restoreState();
}

}  // namespace zid
