#include <media/Player.h>
#include <media/PlayerItem.h>

#include <algorithm>

#include <fnd/NotificationCenter.h>
#include <rt/KVO.h>

namespace media {

void PlayerItem::describe(rt::ClassBuilder<PlayerItem>& c) {
    c.readonly("asset", &PlayerItem::asset);
    c.readonly(statusKey);
    c.readonly(errorKey);
    c.readonly(playbackLikelyToKeepUpKey);
    c.readonly(playbackBufferEmptyKey);
    c.readonly(playbackBufferFullKey);
    c.readonly(presentationSizeKey);
    c.readonly(loadedTimeRangesKey);
    c.readonly(tracksKey);
    c.readonly(durationKey);
}

PlayerItem::PlayerItem(rt::Ref<Asset> asset) : asset_(std::move(asset)) {}

rt::Ref<PlayerItem> PlayerItem::playerItemWithURL(std::string url) {
    return rt::make<PlayerItem>(Asset::assetWithURL(std::move(url)));
}

Time PlayerItem::currentTime() const { return playback_ ? playback_->currentTime() : lastTime_; }

void PlayerItem::selectMediaOption(const rt::Ref<MediaSelectionOption>& option, const rt::Ref<MediaSelectionGroup>& group) {
    if (!group) return;
    if (option && !group->optionWithStreamID(option->streamID())) return;  // not an option of this group
    if (!option && !group->allowsEmptySelection()) return;
    selected_[group->characteristic()] = option;
    explicitlySelected_[group->characteristic()] = true;
    if (playback_) playback_->select(group, option);
}

rt::Ref<MediaSelectionOption> PlayerItem::selectedMediaOptionInMediaSelectionGroup(const rt::Ref<MediaSelectionGroup>& group) const {
    if (!group) return nullptr;
    auto it = selected_.find(group->characteristic());
    if (it == selected_.end()) return group->defaultOption();
    if (!it->second) return nullptr;
    return group->optionWithStreamID(it->second->streamID());
}

rt::Ref<AccessLog> PlayerItem::accessLog() const {
    if (accessLog_ && playback_)
        if (auto event = accessLog_->lastEvent()) playback_->refreshAccessLog(*event);
    return accessLog_;
}

rt::Ref<ErrorLog> PlayerItem::errorLog() const { return errorLog_; }

void PlayerItem::engineDidBecomeReady(const AssetInfo& info, Size presentationSize) {
    if (status_ != PlayerItemStatus::Unknown) return;
    tracksKey.set(*this, info.tracks);
    durationKey.set(*this, info.duration);
    presentationSizeKey.set(*this, presentationSize);
    statusKey.set(*this, PlayerItemStatus::ReadyToPlay);
}

void PlayerItem::engineDidFail(const rt::Ref<rt::Error>& error) { fail(error); }

void PlayerItem::fail(const rt::Ref<rt::Error>& error) {
    if (status_ == PlayerItemStatus::Failed) return;
    bool wasReady = status_ == PlayerItemStatus::ReadyToPlay;
    auto entry = rt::make<ErrorLogEvent>();
    entry->URI = asset_->url();
    entry->errorDomain = error ? error->domain() : MediaErrorDomain;
    entry->errorStatusCode = error ? error->code() : 0;
    entry->errorComment = error ? error->localizedDescription() : std::string();
    errorLog_->addEvent(entry);
    // The error is in place before the status announces the failure.
    errorKey.set(*this, error);
    statusKey.set(*this, PlayerItemStatus::Failed);
    playbackLikelyToKeepUpKey.set(*this, false);
    auto center = fnd::NotificationCenter::defaultCenter();
    center->post(PlayerItemNewErrorLogEntryNotification, self());
    if (wasReady)
        center->post(PlayerItemFailedToPlayToEndTimeNotification, self(),
                     rt::Dictionary{{rt::Value(PlayerItemFailedToPlayToEndTimeErrorKey), rt::Value(error)}});
    if (auto p = player_.lock()) p->itemDidFail(*this);
}

void PlayerItem::engineBufferingChanged(bool likelyToKeepUp, bool bufferEmpty, bool bufferFull) {
    if (status_ == PlayerItemStatus::Failed) return;
    playbackBufferEmptyKey.set(*this, bufferEmpty);
    playbackBufferFullKey.set(*this, bufferFull);
    playbackLikelyToKeepUpKey.set(*this, likelyToKeepUp);
}

void PlayerItem::engineDidStall() {
    if (auto event = engineAccessLogEvent()) ++event->numberOfStalls;
    fnd::NotificationCenter::defaultCenter()->post(PlayerItemPlaybackStalledNotification, self());
}

void PlayerItem::engineLoadedTimeRanges(std::vector<TimeRange> ranges) {
    loadedTimeRangesKey.set(*this, std::move(ranges));
}

void PlayerItem::enginePresentationSize(Size size) { presentationSizeKey.set(*this, size); }

void PlayerItem::engineDuration(Time duration) { durationKey.set(*this, duration); }

void PlayerItem::engineSelectionGroups(std::vector<rt::Ref<MediaSelectionGroup>> groups) {
    asset_->updateMediaSelectionGroups(std::move(groups));
}

void PlayerItem::engineSelected(const std::string& characteristic, const rt::Ref<MediaSelectionOption>& option) {
    // A choice made here stands until the engine confirms another.
    selected_[characteristic] = option;
}

void PlayerItem::engineDidPlayToEnd() {
    fnd::NotificationCenter::defaultCenter()->post(PlayerItemDidPlayToEndTimeNotification, self());
    if (auto p = player_.lock()) p->itemDidPlayToEnd(*this);
}

void PlayerItem::engineVideoFrame(rt::Ref<VideoFrame> frame) {
    frame_ = std::move(frame);
    if (auto p = player_.lock()) p->itemDidProduceFrame(*this);
}

void PlayerItem::engineLegibleCue(const LegibleCue& cue) {
    cues_.push_back(cue);
    if (cues_.size() > 256) cues_.erase(cues_.begin());
    if (legibleHandler_) legibleHandler_(cue);
}

rt::Ref<AccessLogEvent> PlayerItem::engineAccessLogEvent() {
    if (!accessLog_) {
        accessLog_ = rt::make<AccessLog>();
        auto event = rt::make<AccessLogEvent>();
        event->URI = asset_->url();
        accessLog_->addEvent(event);
        fnd::NotificationCenter::defaultCenter()->post(PlayerItemNewAccessLogEntryNotification, self());
    }
    return accessLog_->lastEvent();
}

void PlayerItem::engineErrorLogEvent(rt::Ref<ErrorLogEvent> event) {
    errorLog_->addEvent(std::move(event));
    fnd::NotificationCenter::defaultCenter()->post(PlayerItemNewErrorLogEntryNotification, self());
}

void PlayerItem::attach(const rt::Ref<Player>& player, rt::Ref<Playback> playback) {
    player_ = player;
    playback_ = std::move(playback);
}

void PlayerItem::detach() {
    if (playback_) {
        lastTime_ = playback_->currentTime();
        auto playback = std::exchange(playback_, nullptr);
        playback->close();
    }
    player_.reset();
}

}  // namespace media
