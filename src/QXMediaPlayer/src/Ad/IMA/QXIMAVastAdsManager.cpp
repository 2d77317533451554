#include "Ad/IMA/QXIMAVastAdsManager.h"

#include <QXCorePlayer/Core/View/QXPlayerView.h>
#include <QXMediaPlayer/Ad/IMA/QXIMAVastBackend.h>
#include <fnd/RunLoop.h>
#include <media/PlayerItem.h>

#include <cmath>

namespace zid {

namespace {
constexpr unsigned kAdsManagerFlexibleSize = ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight;
constexpr double kProgressInterval = 0.25;
// An ad standing this close to its end for kEndGrace seconds has ended.
constexpr double kEndTolerance = 0.25;
constexpr double kEndGrace = 1.0;
// A prepared ad not started within this time (a midroll waiting for its cue point) gives
// its media back rather than hold a paused download open; start() prepares it again.
constexpr double kPreparedLifetime = 20.0;
constexpr ima::AdEventType kQuartiles[] = {ima::AdEventType::FirstQuartile, ima::AdEventType::Midpoint,
                                           ima::AdEventType::ThirdQuartile};
}  // namespace

QXIMAVastAdsManager::QXIMAVastAdsManager(rt::Ref<ZeveVoSource> source, const rt::Ref<ui::View>& container)
    : source_(std::move(source)), container_(container) {}

void QXIMAVastAdsManager::willDestroy() {
    tearDown();
    ima::AdsManager::willDestroy();
}

void QXIMAVastAdsManager::initializeWithAdsRenderingSettings(const rt::Ref<ima::AdsRenderingSettings>&) {
    prepare();
    rt::Weak<QXIMAVastAdsManager> weak = selfAs<QXIMAVastAdsManager>();
    fnd::RunLoop::main()->post([weak] {
        if (auto self = weak.lock()) self->reportEvent(ima::AdEventType::Loaded);
    });
}

// The ad's media loads and prerolls, paused, while the content gets ready, so that an ad
// allowed to start shows its first picture at once. Nothing is shown or reported before
// start(): a media failure meanwhile is kept and reported when the ad is started.
void QXIMAVastAdsManager::prepare() {
    if (player_ || isDestroyed()) return;
    auto item = media::PlayerItem::playerItemWithURL(source_->mediaUrl());
    player_ = media::Player::playerWithPlayerItem(item);
    rt::Weak<QXIMAVastAdsManager> weak = selfAs<QXIMAVastAdsManager>();
    frameToken_ = player_->addVideoFrameObserver([weak] {
        if (auto self = weak.lock(); self && self->started_) self->firstPicture();
    });
    timeToken_ =
        player_->addPeriodicTimeObserverForInterval(media::Time::seconds(kProgressInterval), [weak](media::Time time) {
            if (auto self = weak.lock()) self->progress(time.toSeconds());
        });
    statusObservation_ = rt::observe(item, "status", rt::KVONew, [weak](const rt::KVOChange&) {
        auto self = weak.lock();
        if (!self || !self->player_ || !self->player_->currentItem()) return;
        const auto& current = self->player_->currentItem();
        if (current->status() == media::PlayerItemStatus::Failed)
            self->mediaFailed(current->error() ? current->error()->localizedDescription() : "The ad's media failed");
    });
    auto center = fnd::NotificationCenter::defaultCenter();
    notificationTokens_.push_back(
        center->addObserver(media::PlayerItemDidPlayToEndTimeNotification, item, nullptr, [weak](const auto&) {
            if (auto self = weak.lock()) self->playedToEnd();
        }));
    notificationTokens_.push_back(center->addObserver(
        media::PlayerItemFailedToPlayToEndTimeNotification, item, nullptr, [weak](const auto& note) {
            auto self = weak.lock();
            if (!self) return;
            auto error = note->userInfo().get(media::PlayerItemFailedToPlayToEndTimeErrorKey).template as<rt::Error>();
            self->mediaFailed(error ? error->localizedDescription() : "The ad's media stopped before its end");
        }));
    if (started_) return;
    preparedTimeout_ = fnd::RunLoop::main()->after(kPreparedLifetime, [weak] {
        auto self = weak.lock();
        if (!self || self->started_) return;
        self->tearDown();
        self->preparationFailure_.reset();
    });
}

void QXIMAVastAdsManager::mediaFailed(const std::string& message) {
    if (started_) {
        failed(message);
        return;
    }
    if (!preparationFailure_) preparationFailure_ = message;
}

void QXIMAVastAdsManager::start() {
    if (started_ || isDestroyed()) return;
    started_ = true;
    auto keep = self();
    tracker_ = rt::make<CAZevevoPlaybackTracker>(source_);
    if (preparedTimeout_) preparedTimeout_->invalidate();
    preparedTimeout_ = nullptr;
    prepare();
    auto container = container_.lock();
    playerView_ = rt::make<QXPlayerView>(container ? container->bounds() : ui::Rect());
    playerView_->setAutoresizingMask(kAdsManagerFlexibleSize);
    playerView_->setPlayer(player_);
    if (container) container->addSubview(playerView_);

    rt::Weak<QXIMAVastAdsManager> weak = selfAs<QXIMAVastAdsManager>();
    startTimeout_ = fnd::RunLoop::main()->after(QXIMAVastBackend::kStartTimeout, [weak] {
        if (auto self = weak.lock(); self && !self->showing_)
            self->failed("The ad showed no picture within " +
                         std::to_string(static_cast<int>(QXIMAVastBackend::kStartTimeout)) + " seconds");
    });

    // The content makes way before the ad's first picture.
    contentPaused_ = true;
    reportContentPause();
    if (finished_ || isDestroyed()) return;
    if (preparationFailure_) {
        failed(*preparationFailure_);
        return;
    }
    player_->play();
    // A prerolled ad already holds its first picture: it shows as the view takes the player.
    if (player_ && player_->currentVideoFrame()) firstPicture();
}

void QXIMAVastAdsManager::firstPicture() {
    if (showing_ || finished_ || isDestroyed()) return;
    showing_ = true;
    playing_ = !paused_;
    lastAdvance_ = fnd::RunLoop::main()->clock().now();
    if (startTimeout_) startTimeout_->invalidate();
    startTimeout_ = nullptr;
    frameToken_ = nullptr;
    tracker_->onStart();
    reportEvent(ima::AdEventType::Started);
}

double QXIMAVastAdsManager::duration() const {
    if (auto timing = source_->timeInfo(); timing && timing->duration() > 0) return timing->duration();
    if (player_ && player_->currentItem()) {
        double seconds = player_->currentItem()->duration().toSeconds();
        if (std::isfinite(seconds) && seconds > 0) return seconds;
    }
    return 0;
}

void QXIMAVastAdsManager::progress(double seconds) {
    if (!showing_ || finished_ || isDestroyed()) return;
    double now = fnd::RunLoop::main()->clock().now();
    if (seconds > lastPosition_ + 0.001) {
        lastPosition_ = seconds;
        lastAdvance_ = now;
    } else if (!paused_) {
        // The engine has been seen to stop at the last picture of a progressive MP4 without
        // reporting its end: an ad standing at its end is over, one standing anywhere else
        // too long has stalled. Either way the content comes back.
        double d = duration();
        if (d > 0 && seconds >= d - kEndTolerance && now - lastAdvance_ >= kEndGrace) {
            playedToEnd();
            return;
        }
        if (now - lastAdvance_ >= QXIMAVastBackend::kStallTimeout) {
            failed("The ad's playback stood still at " + std::to_string(seconds) + " s for " +
                   std::to_string(static_cast<int>(QXIMAVastBackend::kStallTimeout)) + " seconds");
            return;
        }
    }
    tracker_->onProgress(seconds);
    double d = duration();
    if (!(d > 0)) return;
    // One quartile per tick, like the tracker's hits, so events and hits stay in step.
    if (quartilesReported_ < 3 && seconds > d * 0.25 * (quartilesReported_ + 1))
        reportEvent(kQuartiles[quartilesReported_++]);
}

void QXIMAVastAdsManager::playedToEnd() {
    if (!started_ || finished_ || isDestroyed()) return;
    auto keep = self();
    // A short ad may end between two progress ticks: the quartiles it passed still count.
    while (showing_ && quartilesReported_ < 3 && duration() > 0) {
        tracker_->onProgress(duration());
        reportEvent(kQuartiles[quartilesReported_++]);
    }
    if (!showing_) firstPicture();
    tracker_->onFinish();
    reportEvent(ima::AdEventType::Complete);
    finish();
}

void QXIMAVastAdsManager::failed(const std::string& message) {
    if (finished_ || isDestroyed()) return;
    auto keep = self();
    reportError(ima::AdErrorType::Playing, ima::kAdErrorMediaFailed, message);
    finish();
}

void QXIMAVastAdsManager::finish() {
    if (finished_) return;
    finished_ = true;
    playing_ = false;
    tearDown();
    if (contentPaused_) {
        contentPaused_ = false;
        reportContentResume();
    }
    // The ad's hits (its "complete" above all) leave on a worker thread, and a host that
    // asks for its next ad on hearing the end would race them to the ad server: the end
    // is told once they have ended, or after one hit's time-out when they hang.
    if (!tracker_ || !tracker_->hasPendingHits()) {
        reportAllAdsCompleted();
        return;
    }
    rt::Weak<QXIMAVastAdsManager> weak = selfAs<QXIMAVastAdsManager>();
    auto report = [weak] {
        if (auto self = weak.lock()) self->reportAllAdsCompleted();
    };
    trackingWait_ = fnd::RunLoop::main()->after(tracker_->hitTimeout(), report);
    tracker_->whenHitsEnded(report);
}

void QXIMAVastAdsManager::reportAllAdsCompleted() {
    if (allAdsCompletedReported_ || isDestroyed()) return;
    allAdsCompletedReported_ = true;
    if (trackingWait_) trackingWait_->invalidate();
    trackingWait_ = nullptr;
    auto keep = self();
    reportEvent(ima::AdEventType::AllAdsCompleted);
}

void QXIMAVastAdsManager::tearDown() {
    if (preparedTimeout_) preparedTimeout_->invalidate();
    preparedTimeout_ = nullptr;
    if (startTimeout_) startTimeout_->invalidate();
    startTimeout_ = nullptr;
    if (trackingWait_) trackingWait_->invalidate();
    trackingWait_ = nullptr;
    frameToken_ = nullptr;
    if (timeToken_) timeToken_->invalidate();
    timeToken_ = nullptr;
    if (statusObservation_) statusObservation_->remove();
    statusObservation_ = nullptr;
    auto center = fnd::NotificationCenter::defaultCenter();
    for (auto& token : notificationTokens_) center->removeObserver(token);
    notificationTokens_.clear();
    if (player_) {
        player_->pause();
        player_->replaceCurrentItemWithPlayerItem(nullptr);
    }
    player_ = nullptr;
    if (playerView_) {
        playerView_->setPlayer(nullptr);
        playerView_->removeFromSuperview();
    }
    playerView_ = nullptr;
}

void QXIMAVastAdsManager::pause() {
    if (!started_ || finished_ || paused_ || isDestroyed()) return;
    paused_ = true;
    playing_ = false;
    if (player_) player_->pause();
    tracker_->onPause();
    reportEvent(ima::AdEventType::Pause);
}

void QXIMAVastAdsManager::resume() {
    if (!paused_ || finished_ || isDestroyed()) return;
    paused_ = false;
    playing_ = showing_;
    lastAdvance_ = fnd::RunLoop::main()->clock().now();
    if (player_) player_->play();
    tracker_->onResume();
    reportEvent(ima::AdEventType::Resume);
}

void QXIMAVastAdsManager::skip() {
    if (!started_ || finished_ || isDestroyed()) return;
    auto keep = self();
    reportEvent(ima::AdEventType::Skipped);
    finish();
}

void QXIMAVastAdsManager::destroy() {
    finished_ = true;
    playing_ = false;
    tearDown();
    markDestroyed();
}

rt::Ref<ima::AdPlaybackInfo> QXIMAVastAdsManager::adPlaybackInfo() const {
    return rt::make<ima::AdPlaybackInfo>(playing_);
}

}  // namespace zid
