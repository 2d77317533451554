#include <QXMediaPlayer/Ad/ZeveVO/CAZevevoPlaybackTracker.h>

#include "Ad/VAST/VASTUrlText.h"

#include <RudoreVaz/Task/ConcreteTasks/AKURLHitTask.h>
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskManager.h>
#include <rt/Format.h>

namespace zid {

CAZevevoPlaybackTracker::CAZevevoPlaybackTracker(const rt::Ref<ZeveVoSource>& source)
    : CPSourcePlaybackTracker(source) {}

rt::Ref<ZeveVoSource> CAZevevoPlaybackTracker::ad() const { return rt::cast<ZeveVoSource>(source()); }

void CAZevevoPlaybackTracker::onStart() {
    // A replay of the same ad is not a new impression.
    if (started_) return;
    started_ = true;
    sendImpressions();
    sendTrackingEvent("start");
    sendTrackingEvent("creativeView");
}

void CAZevevoPlaybackTracker::onFinish() { sendTrackingEvent("complete"); }
void CAZevevoPlaybackTracker::onKill() { sendTrackingEvent("close"); }
void CAZevevoPlaybackTracker::onResume() { sendTrackingEvent("resume"); }
void CAZevevoPlaybackTracker::onPause() { sendTrackingEvent("pause"); }
void CAZevevoPlaybackTracker::onRewind() { sendTrackingEvent("rewind"); }
void CAZevevoPlaybackTracker::onClick() { sendClick(); }
void CAZevevoPlaybackTracker::onMute(bool muted) { sendTrackingEvent(muted ? "mute" : "unmute"); }
void CAZevevoPlaybackTracker::onFullscreen(bool fullscreen) { sendTrackingEvent(fullscreen ? "fullscreen" : "collapse"); }

void CAZevevoPlaybackTracker::onProgress(double t) {
    auto source = ad();
    auto timing = source ? source->timeInfo() : nullptr;
    double d = timing ? timing->duration() : 0;
    // Without a duration there are no quarters to pass.
    if (!(d > 0)) return;
    if (d * 0.25 < t && !firstQuartile_) {
        firstQuartile_ = true;
        sendTrackingEvent("firstQuartile");
    } else if (d * 0.5 < t && !secondQuartile_) {
        secondQuartile_ = true;
        sendTrackingEvent("midpoint");
    } else if (d * 0.75 < t && !thirdQuartile_) {
        thirdQuartile_ = true;
        sendTrackingEvent("thirdQuartile");
    }
}

void CAZevevoPlaybackTracker::sendImpressions() {
    if (auto source = ad()) sendAllEvents(source->impressions());
}

void CAZevevoPlaybackTracker::sendTrackingEvent(const std::string& name) {
    auto source = ad();
    if (!source) return;
    auto it = source->trackingEvents().find(name);
    if (it != source->trackingEvents().end()) sendAllEvents(it->second.urls());
}

void CAZevevoPlaybackTracker::sendAllEvents(const std::vector<std::string>& urls) {
    for (const auto& url : urls) sendEvent(url);
}

void CAZevevoPlaybackTracker::sendEvent(const std::string& url) { hitUrl(url); }

void CAZevevoPlaybackTracker::sendClick() {
    if (auto source = ad()) sendAllEvents(source->clickTrackingURLs());
}

void CAZevevoPlaybackTracker::hitUrl(const std::string& url) {
    if (!isFetchableUrl(url)) return;
    auto source = ad();
    std::string identifier = rt::format("%@-%@", source ? source->description() : std::string("(null)"), url);
    auto task = AKURLHitTask::taskWithIdentifier(rt::Value(identifier), kHitTitle, url, hitTimeout_);
    auto queue = AKOperationTaskManager::sharedManager()->taskQueueWithIdentifier(rt::Value(kQueueIdentifier));
    queue->setMaxConcurrentOperationCount(1);
    rt::Weak<CAZevevoPlaybackTracker> weak = selfAs<CAZevevoPlaybackTracker>();
    task->setCompletionBlock([weak] {
        if (auto self = weak.lock()) self->hitEnded();
    });
    ++pendingHits_;
    queue->addTask(task);
}

void CAZevevoPlaybackTracker::whenHitsEnded(std::function<void()> block) {
    if (!block) return;
    if (pendingHits_ == 0) {
        block();
        return;
    }
    whenHitsEnded_.push_back(std::move(block));
}

void CAZevevoPlaybackTracker::hitEnded() {
    if (pendingHits_ > 0) --pendingHits_;
    if (pendingHits_ > 0) return;
    auto blocks = std::move(whenHitsEnded_);
    whenHitsEnded_.clear();
    for (auto& block : blocks) block();
}

}  // namespace zid
