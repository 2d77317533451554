#include <media/ScriptedEngine.h>

#include <algorithm>
#include <cmath>

#include <media/Asset.h>
#include <media/PlayerItem.h>
#include <rt/Format.h>

namespace media {

namespace {

std::vector<rt::Ref<AssetTrack>> tracksOf(const ScriptedMedia& script) {
    std::vector<rt::Ref<AssetTrack>> out;
    if (!script.tracks.empty()) {
        for (const auto& d : script.tracks) out.push_back(rt::make<AssetTrack>(d));
        return out;
    }
    if (!script.presentationSize.isZero())
        out.push_back(rt::make<AssetTrack>(AssetTrack::Description{"1", MediaTypeVideo, true, "avc1", 25.0f, script.presentationSize, ""}));
    out.push_back(rt::make<AssetTrack>(AssetTrack::Description{"2", MediaTypeAudio, true, "mp4a", 0, {}, "en"}));
    return out;
}

AssetInfo infoOf(const ScriptedMedia& script) {
    AssetInfo info;
    info.playable = true;
    info.duration = std::isinf(script.duration) ? Time::indefinite() : Time::seconds(script.duration);
    info.tracks = tracksOf(script);
    info.groups = script.groups;
    return info;
}

}  // namespace

void ScriptedEngine::setScript(const std::string& url, ScriptedMedia script) { scripts_[url] = std::move(script); }

int ScriptedEngine::loadCount(const std::string& url) const {
    auto it = loads_.find(url);
    return it == loads_.end() ? 0 : it->second;
}

void ScriptedEngine::loadAsset(const rt::Ref<Asset>& asset, AssetCompletion done) {
    ++loads_[asset->url()];
    auto it = scripts_.find(asset->url());
    if (it == scripts_.end()) {
        auto error = makeMediaError(MediaErrorCode::ResourceNotFound,
                                    rt::format("The server has no media at \"%s\" (404 Not Found).", asset->url()));
        pendingLoads_[asset.get()] = fnd::RunLoop::main()->after(0, [done, error] { done(error, {}); });
        return;
    }
    ScriptedMedia script = it->second;
    const Asset* key = asset.get();
    rt::Weak<ScriptedEngine> weak = selfAs<ScriptedEngine>();
    pendingLoads_[key] = fnd::RunLoop::main()->after(script.loadTime, [weak, key, done, script] {
        if (auto self = weak.lock()) self->pendingLoads_.erase(key);
        if (script.loadError) done(script.loadError, {});
        else done(nullptr, infoOf(script));
    });
}

void ScriptedEngine::cancelAssetLoad(const rt::Ref<Asset>& asset) {
    auto it = pendingLoads_.find(asset.get());
    if (it == pendingLoads_.end()) return;
    it->second->invalidate();
    pendingLoads_.erase(it);
}

rt::Ref<Playback> ScriptedEngine::makePlayback(const rt::Ref<PlayerItem>& item) {
    auto it = scripts_.find(item->asset()->url());
    ScriptedMedia script = it == scripts_.end() ? ScriptedMedia{} : it->second;
    auto playback = rt::make<ScriptedPlayback>(selfAs<ScriptedEngine>(), item, std::move(script));
    lastPlayback_ = playback;
    playback->start();
    return playback;
}

ScriptedPlayback::ScriptedPlayback(rt::Ref<ScriptedEngine> engine, rt::Ref<PlayerItem> item, ScriptedMedia script)
    : engine_(engine), item_(item), script_(std::move(script)), stallDone_(script_.stalls.size(), false) {}

ScriptedPlayback::~ScriptedPlayback() {
    for (auto* timer : {&eventTimer_, &seekTimer_, &stallTimer_, &readyTimer_, &progressTimer_})
        if (*timer) (*timer)->invalidate();
}

double ScriptedPlayback::now() const { return fnd::RunLoop::main()->clock().now(); }

void ScriptedPlayback::start() {
    openedAt_ = now();
    rt::Weak<ScriptedPlayback> weak = selfAs<ScriptedPlayback>();
    readyTimer_ = fnd::RunLoop::main()->after(script_.readyTime, [weak] {
        auto self = weak.lock();
        if (!self || self->closed_) return;
        auto item = self->item_.lock();
        if (!item) return;
        self->ready_ = true;
        item->engineDidBecomeReady(infoOf(self->script_), self->script_.presentationSize);
        auto event = item->engineAccessLogEvent();
        event->serverAddress = self->script_.serverAddress;
        event->playbackStartDate = fnd::RunLoop::main()->clock().date();
        event->playbackSessionID = rt::format("%08X", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(self.get())));
        event->playbackType = std::isinf(self->script_.duration) ? "LIVE" : "VOD";
        event->startupTime = self->script_.loadTime + self->script_.readyTime;
        event->indicatedBitrate = self->script_.bitrate;
        event->switchBitrate = self->script_.bitrate;
        // A stall at the very start: the item is ready without ever keeping up.
        std::size_t first = 0;
        while (first < self->script_.stalls.size() && self->script_.stalls[first].at > 0) ++first;
        if (first < self->script_.stalls.size()) {
            self->stallDone_[first] = true;
            self->stallNow(self->script_.stalls[first].length, self->script_.stalls[first].announced);
        } else {
            item->engineBufferingChanged(true, false, true);
        }
        self->updateLoadedRanges();
        self->showFrame();
        self->anchor();
        self->reschedule();
    });
    progressTimer_ = fnd::RunLoop::main()->schedule(1.0, true, [weak](fnd::Timer&) {
        if (auto self = weak.lock(); self && self->ready_ && !self->closed_) self->updateLoadedRanges();
    });
}

bool ScriptedPlayback::isRunning() const {
    return ready_ && !closed_ && !stalled_ && !seeking_ && !ended_ && !failed_ && !frozen_ && rate_ != 0;
}

double ScriptedPlayback::position() const {
    double p = position_;
    if (isRunning()) p += (now() - anchorClock_) * rate_;
    if (!std::isinf(script_.duration)) p = std::min(p, script_.duration);
    return std::max(p, 0.0);
}

Time ScriptedPlayback::currentTime() const {
    // A seek in flight leaves the position where it was until it lands (the player
    // reads the seek's target meanwhile).
    return Time::seconds(position(), 1000);
}

void ScriptedPlayback::anchor() {
    double p = position();
    if (isRunning()) watched_ += now() - anchorClock_;
    position_ = p;
    anchorClock_ = now();
}

void ScriptedPlayback::setRate(float rate) {
    anchor();
    rate_ = rate;
    anchorClock_ = now();
    reschedule();
}

void ScriptedPlayback::reschedule() {
    if (eventTimer_) eventTimer_->invalidate();
    eventTimer_ = nullptr;
    if (!isRunning()) return;
    double p = position();
    double next = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < script_.stalls.size(); ++i)
        if (!stallDone_[i] && script_.stalls[i].at >= p) next = std::min(next, script_.stalls[i].at);
    if (script_.failure && script_.failure->at >= p) next = std::min(next, script_.failure->at);
    if (!std::isinf(script_.duration)) next = std::min(next, script_.duration);
    if (std::isinf(next)) return;
    rt::Weak<ScriptedPlayback> weak = selfAs<ScriptedPlayback>();
    eventTimer_ = fnd::RunLoop::main()->after(std::max(0.0, (next - p) / rate_), [weak] {
        if (auto self = weak.lock()) self->onEvent();
    });
}

void ScriptedPlayback::onEvent() {
    if (!isRunning()) return;
    anchor();
    auto item = item_.lock();
    if (!item) return;
    double p = position_;
    constexpr double eps = 1e-6;
    if (script_.failure && p + eps >= script_.failure->at) {
        failNow(script_.failure->error);
        return;
    }
    for (std::size_t i = 0; i < script_.stalls.size(); ++i) {
        if (!stallDone_[i] && p + eps >= script_.stalls[i].at) {
            stallDone_[i] = true;
            stallNow(script_.stalls[i].length, script_.stalls[i].announced);
            return;
        }
    }
    if (!std::isinf(script_.duration) && p + eps >= script_.duration) {
        position_ = script_.duration;
        ended_ = true;
        updateLoadedRanges();
        item->engineDidPlayToEnd();
        return;
    }
    reschedule();
}

void ScriptedPlayback::freezeNow() {
    anchor();
    frozen_ = true;
    reschedule();
}

void ScriptedPlayback::stallNow(fnd::TimeInterval length, bool announced) {
    if (closed_ || failed_ || stalled_) return;
    anchor();
    stalled_ = true;
    reschedule();
    if (auto item = item_.lock()) {
        item->engineBufferingChanged(false, true, false);
        if (announced) item->engineDidStall();
    }
    if (std::isinf(length)) return;
    rt::Weak<ScriptedPlayback> weak = selfAs<ScriptedPlayback>();
    stallTimer_ = fnd::RunLoop::main()->after(length, [weak] {
        if (auto self = weak.lock()) self->endStall();
    });
}

void ScriptedPlayback::endStall() {
    if (closed_ || failed_ || !stalled_) return;
    stalled_ = false;
    anchorClock_ = now();
    if (auto item = item_.lock()) item->engineBufferingChanged(true, false, true);
    reschedule();
}

void ScriptedPlayback::failNow(const rt::Ref<rt::Error>& error) {
    if (closed_ || failed_) return;
    anchor();
    failed_ = true;
    seeking_ = false;
    abandonSeeks();
    reschedule();
    if (auto item = item_.lock()) item->engineDidFail(error);
}

void ScriptedPlayback::abandonSeeks() {
    if (seekTimer_) seekTimer_->invalidate();
    seekTimer_ = nullptr;
    auto answers = std::exchange(replacedSeeks_, {});
    if (seekDone_) answers.push_back(std::exchange(seekDone_, nullptr));
    if (!answers.empty())
        fnd::RunLoop::main()->post([answers] {
            for (const auto& done : answers) done(false);
        });
}

void ScriptedPlayback::seek(Time time, Time toleranceBefore, Time toleranceAfter, std::function<void(bool)> done) {
    if (!done) done = [](bool) {};
    if (closed_ || failed_) {
        fnd::RunLoop::main()->post([done] { done(false); });
        return;
    }
    // The newest seek replaces the one in flight, which is answered NO.
    if (seekTimer_) seekTimer_->invalidate();
    if (auto replaced = std::exchange(seekDone_, nullptr)) {
        if (script_.answersReplacedLate) replacedSeeks_.push_back(std::move(replaced));
        else fnd::RunLoop::main()->post([replaced] { replaced(false); });
    }
    anchor();
    seeking_ = true;
    reschedule();
    double target = std::max(0.0, time.toSeconds());
    if (!std::isinf(script_.duration)) target = std::min(target, script_.duration);
    auto loose = [](Time tolerance) { return !tolerance.isNumeric() || tolerance.toSeconds() >= 0.5; };
    if (script_.keyFrameInterval > 0 && loose(toleranceBefore) && loose(toleranceAfter))
        target = std::floor(target / script_.keyFrameInterval + 1e-9) * script_.keyFrameInterval;
    seekDone_ = std::move(done);
    rt::Weak<ScriptedPlayback> weak = selfAs<ScriptedPlayback>();
    seekTimer_ = fnd::RunLoop::main()->after(script_.seekTime, [weak, target] {
        auto self = weak.lock();
        if (!self || self->closed_) return;
        self->seeking_ = false;
        self->position_ = target;
        self->anchorClock_ = self->now();
        self->ended_ = !std::isinf(self->script_.duration) && target >= self->script_.duration;
        // Events behind the new position do not fire again; those ahead fire anew.
        for (std::size_t i = 0; i < self->script_.stalls.size(); ++i) self->stallDone_[i] = self->script_.stalls[i].at < target;
        self->updateLoadedRanges();
        self->showFrame();
        self->reschedule();
        auto done = std::exchange(self->seekDone_, nullptr);
        auto late = std::exchange(self->replacedSeeks_, {});
        if (done) done(true);
        for (const auto& replaced : late) replaced(false);
    });
}

void ScriptedPlayback::select(const rt::Ref<MediaSelectionGroup>& group, const rt::Ref<MediaSelectionOption>& option) {
    if (auto engine = engine_.lock())
        engine->selections_.push_back(group->characteristic() + "=" + (option ? option->streamID() : std::string()));
    if (auto item = item_.lock()) item->engineSelected(group->characteristic(), option);
}

void ScriptedPlayback::updateLoadedRanges() {
    auto item = item_.lock();
    if (!item || !ready_) return;
    double p = position();
    double start = std::isinf(script_.duration) ? p : 0;
    double end = p + script_.bufferAhead;
    if (stalled_) end = p;
    if (!std::isinf(script_.duration)) end = std::min(end, script_.duration);
    item->engineLoadedTimeRanges({TimeRange{Time::seconds(start), Time::seconds(end - start)}});
}

void ScriptedPlayback::refreshAccessLog(AccessLogEvent& event) {
    anchor();
    reschedule();
    double downloaded = position_ + (stalled_ ? 0 : script_.bufferAhead);
    if (!std::isinf(script_.duration)) downloaded = std::min(downloaded, script_.duration);
    long long segments = static_cast<long long>(std::ceil(downloaded / script_.segmentDuration - 1e-9));
    double media = segments * script_.segmentDuration;
    event.numberOfMediaRequests = segments;
    event.segmentsDownloadedDuration = media;
    event.durationWatched = watched_;
    event.numberOfBytesTransferred = static_cast<long long>(media * script_.bitrate / 8);
    // Segments arrive four times faster than they play.
    event.transferDuration = media / 4;
    event.observedBitrate = segments ? script_.bitrate * 4 : 0;
    event.observedMaxBitrate = event.observedMinBitrate = event.observedBitrate;
    event.numberOfDroppedVideoFrames = script_.droppedVideoFrames;
}

void ScriptedPlayback::showFrame() {
    auto item = item_.lock();
    if (!item || script_.presentationSize.isZero()) return;
    int w = static_cast<int>(script_.presentationSize.width), h = static_cast<int>(script_.presentationSize.height);
    // A flat picture whose colour tells the position: red grows with whole seconds.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(w) * h * 4);
    auto red = static_cast<std::uint8_t>(static_cast<int>(position()) % 256);
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        bytes[i] = 0x40;
        bytes[i + 1] = 0x80;
        bytes[i + 2] = red;
        bytes[i + 3] = 0xff;
    }
    item->engineVideoFrame(rt::make<VideoFrame>(w, h, w * 4, std::move(bytes), currentTime()));
}

void ScriptedPlayback::close() {
    anchor();
    closed_ = true;
    seeking_ = false;
    abandonSeeks();
    for (auto* timer : {&eventTimer_, &seekTimer_, &stallTimer_, &readyTimer_, &progressTimer_})
        if (*timer) (*timer)->invalidate();
}

}  // namespace media
