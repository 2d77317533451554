#include <media/Presentation.h>

#include <algorithm>

#include <fnd/Queue.h>
#include <rt/KVO.h>

namespace media {

void PictureInPictureController::describe(rt::ClassBuilder<PictureInPictureController>& c) {
    c.readonly("pictureInPicturePossible", &PictureInPictureController::isPictureInPicturePossible);
    c.readonly("pictureInPictureActive", &PictureInPictureController::isPictureInPictureActive);
    c.readonly("playerLayer", &PictureInPictureController::playerLayer);
}

void NowPlayingInfoCenter::describe(rt::ClassBuilder<NowPlayingInfoCenter>& c) {
    c.property("nowPlayingInfo", &NowPlayingInfoCenter::nowPlayingInfo, &NowPlayingInfoCenter::setNowPlayingInfo);
}

rt::Ref<NowPlayingInfoCenter> NowPlayingInfoCenter::defaultCenter() {
    // Never released: exit handlers and other threads may still read it.
    static auto* center = new rt::Ref<NowPlayingInfoCenter>(rt::make<NowPlayingInfoCenter>());
    return *center;
}

rt::Dictionary NowPlayingInfoCenter::nowPlayingInfo() const {
    std::lock_guard lock(mutex_);
    return info_;
}

void NowPlayingInfoCenter::setNowPlayingInfo(rt::Dictionary info) {
    rt::kvoChange(this, "nowPlayingInfo", [&] {
        std::lock_guard lock(mutex_);
        info_ = std::move(info);
    });
}

rt::Ref<RemoteControlCenter> RemoteControlCenter::shared() {
    static auto* center = new rt::Ref<RemoteControlCenter>(rt::make<RemoteControlCenter>());
    return *center;
}

void RemoteControlCenter::beginReceivingRemoteControlEvents(const rt::Ref<rt::Object>& owner, RemoteControlReceiver* receiver) {
    std::lock_guard lock(mutex_);
    receivers_.erase(std::remove_if(receivers_.begin(), receivers_.end(),
                                    [&](const auto& e) { return e.first.expired() || e.first.lock() == owner; }),
                     receivers_.end());
    receivers_.emplace_back(owner, receiver);
}

void RemoteControlCenter::endReceivingRemoteControlEvents(const rt::Ref<rt::Object>& owner) {
    std::lock_guard lock(mutex_);
    receivers_.erase(std::remove_if(receivers_.begin(), receivers_.end(),
                                    [&](const auto& e) { return e.first.expired() || e.first.lock() == owner; }),
                     receivers_.end());
}

void RemoteControlCenter::injectEvent(RemoteControlEvent event) {
    rt::Weak<RemoteControlCenter> weak = selfAs<RemoteControlCenter>();
    fnd::Queue::main()->async([weak, event] {
        if (auto center = weak.lock()) center->deliver(event);
    });
}

void RemoteControlCenter::deliver(const RemoteControlEvent& event) {
    rt::Ref<rt::Object> owner;
    RemoteControlReceiver* receiver = nullptr;
    {
        std::lock_guard lock(mutex_);
        for (auto it = receivers_.rbegin(); it != receivers_.rend() && !owner; ++it) {
            owner = it->first.lock();
            receiver = it->second;
        }
    }
    if (owner && receiver) receiver->remoteControlReceivedWithEvent(event);
}

}  // namespace media
