#include <media/PlayerLayer.h>

#include <algorithm>

#include <rt/KVO.h>

namespace media {

const char* videoGravityName(VideoGravity gravity) {
    switch (gravity) {
        case VideoGravity::ResizeAspectFill: return LayerVideoGravityResizeAspectFill;
        case VideoGravity::Resize: return LayerVideoGravityResize;
        case VideoGravity::ResizeAspect: break;
    }
    return LayerVideoGravityResizeAspect;
}

void PlayerLayer::describe(rt::ClassBuilder<PlayerLayer>& c) {
    c.property(playerKey, &PlayerLayer::setPlayer);
    c.property(videoGravityKey);
    c.property(boundsKey);
    c.readonly(readyForDisplayKey);
}

rt::Ref<PlayerLayer> PlayerLayer::playerLayerWithPlayer(rt::Ref<Player> player) {
    auto layer = rt::make<PlayerLayer>();
    layer->setPlayer(std::move(player));
    return layer;
}

void PlayerLayer::setPlayer(rt::Ref<Player> player) {
    if (player == player_) return;
    frameToken_ = nullptr;
    playerKey.set(*this, std::move(player));
    if (player_) {
        rt::Weak<PlayerLayer> weak = selfAs<PlayerLayer>();
        frameToken_ = player_->addVideoFrameObserver([weak] {
            if (auto layer = weak.lock()) layer->frameDidChange();
        });
    }
    frameDidChange();
}

void PlayerLayer::setVideoGravity(VideoGravity gravity) { videoGravityKey.set(*this, gravity); }

void PlayerLayer::setBounds(Size bounds) { boundsKey.set(*this, bounds); }

rt::Ref<VideoFrame> PlayerLayer::currentFrame() const { return player_ ? player_->currentVideoFrame() : nullptr; }

void PlayerLayer::frameDidChange() {
    readyForDisplayKey.set(*this, currentFrame() != nullptr);
    if (frameChanged_) frameChanged_();
}

Rect PlayerLayer::videoRect() const {
    auto frame = currentFrame();
    if (!frame) return {};
    return videoRect({static_cast<double>(frame->width()), static_cast<double>(frame->height())}, bounds_, gravity_);
}

Rect PlayerLayer::videoRect(Size picture, Size bounds, VideoGravity gravity) {
    if (picture.width <= 0 || picture.height <= 0 || bounds.width <= 0 || bounds.height <= 0) return {};
    if (gravity == VideoGravity::Resize) return {0, 0, bounds.width, bounds.height};
    double sx = bounds.width / picture.width, sy = bounds.height / picture.height;
    double scale = gravity == VideoGravity::ResizeAspectFill ? std::max(sx, sy) : std::min(sx, sy);
    double w = picture.width * scale, h = picture.height * scale;
    return {(bounds.width - w) / 2, (bounds.height - h) / 2, w, h};
}

}  // namespace media
