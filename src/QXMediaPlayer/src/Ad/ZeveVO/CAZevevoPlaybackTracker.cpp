#include <QXMediaPlayer/Ad/ZeveVO/CAZevevoPlaybackTracker.h>

#include "Ad/VAST/VASTUrlText.h"

#include <RudoreVaz/Task/ConcreteTasks/AKURLHitTask.h>
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskManager.h>
#include <rt/Format.h>

namespace zid {

CAZevevoPlaybackTracker::CAZevevoPlaybackTracker(const rt::Ref<ZeveVoSource>& source)
    : CPSourcePlaybackTracker(source) {}

rt::Ref<ZeveVoSource> CAZevevoPlaybackTracker::ad() const {
    RT_MAIN_THREAD_ONLY();
    return rt::cast<ZeveVoSource>(source());
}

void CAZevevoPlaybackTracker::onStart() {
    RT_MAIN_THREAD_ONLY();
    // A replay of the same ad is not a new impression.
    if (started_) return;
    started_ = true;
    sendImpressions();
    sendTrackingEvent("start");
    sendTrackingEvent("creativeView");
}

void CAZevevoPlaybackTracker::onFinish() { RT_MAIN_THREAD_ONLY(); sendTrackingEvent("complete"); }
void CAZevevoPlaybackTracker::onKill() { RT_MAIN_THREAD_ONLY(); sendTrackingEvent("close"); }
void CAZevevoPlaybackTracker::onResume() { RT_MAIN_THREAD_ONLY(); sendTrackingEvent("resume"); }
void CAZevevoPlaybackTracker::onPause() { RT_MAIN_THREAD_ONLY(); sendTrackingEvent("pause"); }
void CAZevevoPlaybackTracker::onRewind() { RT_MAIN_THREAD_ONLY(); sendTrackingEvent("rewind"); }
void CAZevevoPlaybackTracker::onClick() { RT_MAIN_THREAD_ONLY(); sendClick(); }
void CAZevevoPlaybackTracker::onMute(bool muted) {
    RT_MAIN_THREAD_ONLY();
    sendTrackingEvent(muted ? "mute" : "unmute");
}
void CAZevevoPlaybackTracker::onFullscreen(bool fullscreen) {
    RT_MAIN_THREAD_ONLY();
    sendTrackingEvent(fullscreen ? "fullscreen" : "collapse");
}

void CAZevevoPlaybackTracker::onProgress(double t) {
    RT_MAIN_THREAD_ONLY();
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
    RT_MAIN_THREAD_ONLY();
    if (auto source = ad()) sendAllEvents(source->impressions());
}

void CAZevevoPlaybackTracker::sendTrackingEvent(const std::string& name) {
    RT_MAIN_THREAD_ONLY();
    auto source = ad();
    if (!source) return;
    auto it = source->trackingEvents().find(name);
    if (it != source->trackingEvents().end()) sendAllEvents(it->second.urls());
}

void CAZevevoPlaybackTracker::sendAllEvents(const std::vector<std::string>& urls) {
    RT_MAIN_THREAD_ONLY();
    for (const auto& url : urls) sendEvent(url);
}

void CAZevevoPlaybackTracker::sendEvent(const std::string& url) { RT_MAIN_THREAD_ONLY(); hitUrl(url); }

void CAZevevoPlaybackTracker::sendClick() {
    RT_MAIN_THREAD_ONLY();
    if (auto source = ad()) sendAllEvents(source->clickTrackingURLs());
}

void CAZevevoPlaybackTracker::hitUrl(const std::string& url) {
    RT_MAIN_THREAD_ONLY();
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
    RT_MAIN_THREAD_ONLY();
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
