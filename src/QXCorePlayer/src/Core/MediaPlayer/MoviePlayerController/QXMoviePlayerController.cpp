#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>

#include "Core/CoreLogModule.h"
#include "Core/MediaPlayer/MoviePlayerController/QXAssetLoader.h"
#include "Core/MediaPlayer/MoviePlayerController/QXDebugConsolePresenter.h"
#include "Core/MediaPlayer/MoviePlayerController/QXMediaSelectionList.h"
#include "Core/MediaPlayer/MoviePlayerController/QXMoviePlayerControllerError.h"
#include "Core/MediaPlayer/MoviePlayerController/QXPlaybackLimits.h"
#include "Core/MediaPlayer/MoviePlayerController/QXPlayerViewAttachment.h"
#include "Core/MediaPlayer/MoviePlayerController/QXSetAndPost.h"
#include "Core/MediaPlayer/MoviePlayerController/QXStreamStatistics.h"
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/ResumePositions/QXPlayerResumePositions.h>
#include <QXFoundation/Log/QXLogger.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>

#include <cmath>
#include <limits>

namespace zid {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool isNumber(double v) { return !std::isnan(v); }

/// Whether the player's ready item says it keeps up (an item not yet ready says nothing).
/// While a seek is in flight the item refills what the seek emptied: that wait is the
/// seek's, not a stall (a seek that never ends leaves the picture still, which the
/// progress watch bounds).
bool keepsUp(const rt::Ref<media::Player>& player) {
    auto item = player ? player->currentItem() : nullptr;
    return !item || item->status() != media::PlayerItemStatus::ReadyToPlay || item->isPlaybackLikelyToKeepUp() ||
           player->isSeeking();
}
}  // namespace

void QXMoviePlayerController::describe(rt::ClassBuilder<QXMoviePlayerController>& c) {
    // The other entries are declared with the accessors (the console's view is only
    // declared there, so its entry is made here); the seek announces its own time.
    c.readonly("debugConsoleView", &QXMoviePlayerController::debugConsoleView);
    c.manualNotification("currentPlaybackTime");
}

QXMoviePlayerController::QXMoviePlayerController(std::string contentURL, std::string title, std::string artist)
    : contentURL_(std::move(contentURL)),
      presentation_{.title = std::move(title), .artist = std::move(artist)},
      statistics_(std::make_unique<QXStreamStatistics>(*this)),
      subtitles_(std::make_unique<QXMediaSelectionList>(*this, kSubtitleSelection)),
      audioTracks_(std::make_unique<QXMediaSelectionList>(*this, kAudioTrackSelection)),
      debugConsole_(std::make_unique<QXDebugConsolePresenter>(*this)),
      loader_(std::make_unique<QXAssetLoader>(asynchronousLoadingKeys())) {}

void QXMoviePlayerController::installAsMoviePlayerController() {
    CPMediaPlayer::setMoviePlayerControllerMaker([] { return rt::make<QXMoviePlayerController>(); });
}

const std::vector<std::string>& QXMoviePlayerController::asynchronousLoadingKeys() {
    static const std::vector<std::string> keys{media::AssetKeyTracks, media::AssetKeyPlayable, media::AssetKeyDuration,
                                               media::AssetKeyMediaCharacteristics};
    return keys;
}

void QXMoviePlayerController::didInitialize() {
    QXLog(kCoreLogModule, staticClass(), 5, "initWithContentURL:%@", contentURL_);
    // The creation values go through their setters so the now-playing information sees them.
    auto title = std::exchange(presentation_.title, {});
    auto artist = std::exchange(presentation_.artist, {});
    setTitle(title);
    setArtist(artist);
    playerView_ = rt::make<QXPlayerView>(ui::Rect(0, 0, 100, 100));
    playerView_->setRemoteControlDelegate(self());
    playerView_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    auto player = [weak] {
        auto self = weak.lock();
        return self ? self->media_.player : nullptr;
    };
    limits_ = std::make_unique<QXPlaybackLimits>(player, [weak](const rt::Ref<rt::Error>& error) {
        if (auto self = weak.lock()) self->failedWithError(error);
    });
    viewAttachment_ = std::make_unique<QXPlayerViewAttachment>(self(), playerView_, player, [weak] {
        auto self = weak.lock();
        return self && self->settings_.background;
    });
    setupBindings();
}

QXMoviePlayerController::~QXMoviePlayerController() = default;

void QXMoviePlayerController::willDestroy() {
    if (limits_) limits_->stop();
    if (viewAttachment_) viewAttachment_->stop();
    auto center = fnd::NotificationCenter::defaultCenter();
    for (auto& t : listening_.itemTokens) center->removeObserver(t);
    if (listening_.selectionGroupsToken) center->removeObserver(listening_.selectionGroupsToken);
    for (auto& o : listening_.observations) o->remove();
    for (auto& t : listening_.triggers) t->dispose();
    loader_->cancel();
    removeTimeObserver();
    IQXMoviePlayerController::willDestroy();
}

rt::Ref<media::PlayerItem> QXMoviePlayerController::currentItem() const {
    return media_.player ? media_.player->currentItem() : nullptr;
}

void QXMoviePlayerController::post(const char* name) { fnd::NotificationCenter::defaultCenter()->post(name, self()); }

rt::Ref<fnd::NotificationObserver> QXMoviePlayerController::listen(const char* name, const rt::Ref<rt::Object>& object,
                                                                   void (*handler)(QXMoviePlayerController&)) {
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    return fnd::NotificationCenter::defaultCenter()->addObserver(name, object, nullptr,
                                                                 [weak, handler](const rt::Ref<fnd::Notification>&) {
                                                                     if (auto self = weak.lock()) handler(*self);
                                                                 });
}

// ---- bindings ----------------------------------------------------------------------

void QXMoviePlayerController::setupBindings() {
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    auto watch = [&](const char* path, std::function<void(QXMoviePlayerController&, const rt::Value&)> fn) {
        listening_.observations.push_back(rt::observe(self(), path, rt::KVONew | rt::KVOInitial,
                                                      [weak, fn = std::move(fn)](const rt::KVOChange& change) {
                                                          if (auto self = weak.lock()) fn(*self, change.newValue);
                                                      }));
    };
    // Keypath signals send a value only when it differs from the last one: a change of
    // player that keeps the same item, or the same size reported again, tells nothing.
    auto follow = [&](const char* path, std::function<void(QXMoviePlayerController&, const rt::Value&)> fn) {
        listening_.triggers.push_back(onSignal(signalForKeypath(*this, path), deallocSignal(*this),
                                               [weak, fn = std::move(fn)](const rt::Value& value) {
                                                   if (auto self = weak.lock()) fn(*self, value);
                                               }));
    };
    watch("player.rate", [](QXMoviePlayerController& s, const rt::Value& v) {
        s.rateChanged(v.isNilOrNull() ? 0.0f : static_cast<float>(v.doubleValue()));
    });
    follow("player.currentItem", [](QXMoviePlayerController& s, const rt::Value&) {
        s.post(QXMoviePlayerNowPlayingMovieDidChangeNotification);
    });
    watch("player.currentItem.status", [](QXMoviePlayerController& s, const rt::Value& v) {
        if (v.isNilOrNull()) return;
        s.itemStatusChanged(static_cast<media::PlayerItemStatus>(v.longLongValue()));
    });
    watch("player.currentItem.playbackLikelyToKeepUp", [](QXMoviePlayerController& s, const rt::Value& v) {
        if (!v.isNilOrNull()) s.itemLikelyToKeepUpChanged(v.boolValue());
    });
    follow("player.currentItem.presentationSize",
           [](QXMoviePlayerController& s, const rt::Value&) { s.presentationSizeChanged(); });
}

void QXMoviePlayerController::itemStatusChanged(media::PlayerItemStatus status) {
    if (status == media::PlayerItemStatus::Failed) {
        // The item says why it failed: report it now, whether it was loading or playing
        // (a failed item never plays on, and nothing else would tell the failure).
        bool loading = playback_.state == QXMoviePlaybackState::Buffering;
        auto item = currentItem();
        rt::Ref<rt::Error> cause = item ? item->error() : nullptr;
        std::string text = loading ? "The media could not be loaded" : "The media stopped playing";
        if (cause) text += ": " + cause->localizedDescription();
        failedWithError(makeMoviePlayerControllerError(QXMoviePlayerControllerErrorCode::LoadingFailed, text, cause));
        return;
    }
    if (playback_.state != QXMoviePlaybackState::Buffering) return;
    if (status == media::PlayerItemStatus::ReadyToPlay) {
        setPlaybackState(QXMoviePlaybackState::Ready);
        setPreparedToPlay(true);
        rt::kvoSet(this, "preparing", playback_.preparing, false);
        if (settings_.shouldAutoplay) play();
    }
}

void QXMoviePlayerController::itemLikelyToKeepUpChanged(bool likely) {
    if (!likely) {
        // Not keeping up while playing is a stall, told or not: a segment that never
        // comes stops the picture without any notification, and only the stalled state
        // bounds how long that may last.
        if (playback_.state == QXMoviePlaybackState::Playing && media_.player && media_.player->rate() != 0 &&
            !keepsUp(media_.player))
            setPlaybackState(QXMoviePlaybackState::Stalled);
        return;
    }
    if (playback_.state == QXMoviePlaybackState::Stalled) {
        setPlaybackState(QXMoviePlaybackState::Playing);
    } else if (playback_.state == QXMoviePlaybackState::Buffering) {
        setPlaybackState(QXMoviePlaybackState::Ready);
        if (settings_.shouldAutoplay) play();
    }
}

void QXMoviePlayerController::rateChanged(float rate) {
    if (rate == 0) {
        if (playback_.state == QXMoviePlaybackState::Playing) setPlaybackState(QXMoviePlaybackState::Paused);
        return;
    }
    setPlaybackState(QXMoviePlaybackState::Playing);
    // Told to play while its item does not keep up, the player shows a still picture: it
    // is stalled, within the stall limit, until the item keeps up. Looked at once the
    // turn ends: an item that becomes ready says whether it keeps up right after.
    if (keepsUp(media_.player)) return;
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    fnd::RunLoop::main()->post([weak] {
        auto self = weak.lock();
        if (self && self->playback_.state == QXMoviePlaybackState::Playing && !keepsUp(self->media_.player))
            self->setPlaybackState(QXMoviePlaybackState::Stalled);
    });
}

// ---- states ------------------------------------------------------------------------

void QXMoviePlayerController::setPlaybackState(QXMoviePlaybackState state) {
    if (state == playback_.state) return;
    directSetPlaybackState(state);
}

void QXMoviePlayerController::directSetPlaybackState(QXMoviePlaybackState state) {
    limits_->enter(state, settings_.loadingTimeout, settings_.stalledTimeout);
    rt::kvoSet(this, "playbackState", playback_.state, state);
    post(QXMoviePlayerPlaybackStateDidChangeNotification);
}

void QXMoviePlayerController::setLoadState(long state) {
    if (state == playback_.loadState) return;
    QXLog(kCoreLogModule, staticClass(), 5, " QXMoviePlayerController load state: %d", state);
    rt::kvoSet(this, "loadState", playback_.loadState, state);
    post(QXMoviePlayerLoadStateDidChangeNotification);
}

void QXMoviePlayerController::setPreparedToPlay(bool prepared) {
    if (!setAndPost(*this, "preparedToPlay", playback_.preparedToPlay, prepared,
                    QXMediaPlaybackIsPreparedToPlayDidChangeNotification))
        return;
    if (prepared && settings_.shouldAutoplay) play();
}

void QXMoviePlayerController::setLoadingTimeout(double seconds) {
    rt::kvoSet(this, "loadingTimeout", settings_.loadingTimeout, seconds);
}
void QXMoviePlayerController::setStalledTimeout(double seconds) {
    rt::kvoSet(this, "stalledTimeout", settings_.stalledTimeout, seconds);
}
void QXMoviePlayerController::setShouldAutoplay(bool v) {
    rt::kvoSet(this, "shouldAutoplay", settings_.shouldAutoplay, v);
}
void QXMoviePlayerController::setResumeFromLastPosition(bool v) {
    rt::kvoSet(this, "resumeFromLastPosition", settings_.resumeFromLastPosition, v);
}

// ---- preparation -------------------------------------------------------------------

const rt::Ref<media::Asset>& QXMoviePlayerController::loadingAsset() const { return loader_->loadingAsset(); }

void QXMoviePlayerController::prepareToPlay() {
    QXLog(kCoreLogModule, staticClass(), 5, "%@", "prepareToPlay");
    if (playback_.preparing) return;
    rt::kvoSet(this, "error", playback_.error, rt::Ref<rt::Error>());
    setPlaybackState(QXMoviePlaybackState::Buffering);
    rt::kvoSet(this, "preparing", playback_.preparing, true);
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    loader_->load(contentURL_, [weak](const rt::Ref<media::Asset>& asset, const rt::Ref<rt::Error>& error) {
        auto self = weak.lock();
        if (!self) return;
        if (error) self->failedWithError(error);
        else self->prepareToPlayAsset(asset);
    });
}

void QXMoviePlayerController::prepareToPlayAsset(const rt::Ref<media::Asset>& asset) {
    removeTimeObserver();
    double seconds = asset->duration().toSeconds();
    setDuration(std::isnan(seconds) || std::isinf(seconds) ? 0 : seconds);
    rt::kvoSet(this, "asset", media_.asset, asset);
    auto item = media::PlayerItem::playerItemWithAsset(asset);
    setPlayerItem(item);
    setPlayer(media::Player::queuePlayerWithItems({item}));
    media_.player->setAllowsExternalPlayback(settings_.allowsAirPlay);
    startTimeObserver();
    if (media_.player->currentItem() != media_.item) media_.player->replaceCurrentItemWithPlayerItem(media_.item);
    if (!isNumber(times_.initial) && settings_.resumeFromLastPosition) {
        auto position = QXPlayerResumePositions::defaultPositions()->resumePositionForURL(contentURL_);
        if (position.isValid()) media_.player->seekToTime(position);
    }
    seekToInitialPlaybackTime();
    listSubtitles();
    listAudioTracks();
    auto& groupsToken = listening_.selectionGroupsToken;
    if (groupsToken) fnd::NotificationCenter::defaultCenter()->removeObserver(groupsToken);
    groupsToken = listen(media::AssetMediaSelectionGroupsDidChangeNotification, asset,
                         [](QXMoviePlayerController& self) { self.listSubtitles(); });
}

void QXMoviePlayerController::setPlayer(const rt::Ref<media::Player>& player) {
    if (player == media_.player) return;
    removeTimeObserver();
    rt::kvoSet(this, "player", media_.player, player);
    if (media_.player) media_.player->setMuted(settings_.muted);
}

void QXMoviePlayerController::setPlayerItem(const rt::Ref<media::PlayerItem>& item) {
    if (item == media_.item) return;
    rt::kvoSet(this, "playerItem", media_.item, item);
    // One stall/end pair per controller, for the item of the moment.
    auto center = fnd::NotificationCenter::defaultCenter();
    for (auto& t : listening_.itemTokens) center->removeObserver(t);
    listening_.itemTokens.clear();
    if (!item) return;
    listening_.itemTokens.push_back(listen(media::PlayerItemPlaybackStalledNotification, item,
                                           [](auto& self) { self.setPlaybackState(QXMoviePlaybackState::Stalled); }));
    listening_.itemTokens.push_back(listen(media::PlayerItemDidPlayToEndTimeNotification, item,
                                           [](auto& self) { self.post(QXMoviePlayerPlaybackDidFinishNotification); }));
}

// ---- play, pause, stop -------------------------------------------------------------

void QXMoviePlayerController::play() {
    rt::kvoSet(this, "error", playback_.error, rt::Ref<rt::Error>());
    if (!playback_.preparedToPlay && !playback_.preparing) prepareToPlay();
    if (!media_.player || !media_.player->currentItem()) {
        // Nothing to play yet (or the items went with a failure or a stop): start when ready.
        setShouldAutoplay(true);
        return;
    }
    seekToInitialPlaybackTime();
    media_.player->play();
}

void QXMoviePlayerController::pause() {
    if (playback_.state != QXMoviePlaybackState::Buffering) setPlaybackState(QXMoviePlaybackState::Paused);
    if (!media_.player) {
        setShouldAutoplay(false);
        return;
    }
    media_.player->pause();
}

void QXMoviePlayerController::stop() {
    cleanupPlayer();
    setInitialPlaybackTime(kNaN);
    setShouldAutoplay(false);
    directSetPlaybackState(QXMoviePlaybackState::Stopped);
}

void QXMoviePlayerController::cleanupPlayer() {
    loader_->cancel();
    if (media_.player) media_.player->removeAllItems();
    rt::kvoSet(this, "preparing", playback_.preparing, false);
    // Nothing is prepared any more: the next play prepares the content URL again.
    setPreparedToPlay(false);
    setLoadState(0);
}

void QXMoviePlayerController::failedWithError(const rt::Ref<rt::Error>& error) {
    cleanupPlayer();
    rt::kvoSet(this, "error", playback_.error, error);
    setPlaybackState(QXMoviePlaybackState::Error);
    setResumeFromLastPosition(true);
}

void QXMoviePlayerController::setContentURL(const std::string& url) {
    if (url == contentURL_) return;
    loader_->cancel();
    if (media_.item) {
        if (media_.player) media_.player->removeItem(media_.item);
        setPlayerItem(nullptr);
    }
    rt::kvoSet(this, "error", playback_.error, rt::Ref<rt::Error>());
    rt::kvoSet(this, "asset", media_.asset, rt::Ref<media::Asset>());
    setPlayer(nullptr);
    setPreparedToPlay(false);
    rt::kvoSet(this, "preparing", playback_.preparing, false);
    setLoadState(0);
    if (!url.empty()) setPlaybackState(QXMoviePlaybackState::Stopped);
    else directSetPlaybackState(QXMoviePlaybackState::Stopped);
    rt::kvoSet(this, "contentURL", contentURL_, url);
}

// ---- time --------------------------------------------------------------------------

void QXMoviePlayerController::setDuration(double seconds) {
    rt::kvoSet(this, "duration", times_.duration, seconds);
    post(QXMovieDurationAvailableNotification);
}

double QXMoviePlayerController::currentPlaybackTime() const {
    if (playback_.state == QXMoviePlaybackState::Stopped) return times_.initial;
    double t = media_.player ? media_.player->currentTime().toSeconds() : kNaN;
    return std::isnan(t) ? times_.initial : t;
}

double QXMoviePlayerController::bufferedDuration() const { return QXStreamStatistics::bufferedAhead(currentItem()); }

void QXMoviePlayerController::setInitialPlaybackTime(double s) {
    rt::kvoSet(this, "initialPlaybackTime", times_.initial, s);
}
void QXMoviePlayerController::setEndPlaybackTime(double s) { rt::kvoSet(this, "endPlaybackTime", times_.end, s); }

void QXMoviePlayerController::seekToInitialPlaybackTime() {
    if (!isNumber(times_.initial)) return;
    media_.player->seekToTime(media::Time::seconds(times_.initial, 1024));
    setInitialPlaybackTime(kNaN);
}

void QXMoviePlayerController::setCurrentPlaybackTime(double seconds) {
    QXLog(kCoreLogModule, staticClass(), 5, "%@", "setCurrentPlaybackTime:");
    if (playback_.state == QXMoviePlaybackState::Stopped || playback_.state == QXMoviePlaybackState::Buffering ||
        !media_.player) {
        setInitialPlaybackTime(seconds);
        return;
    }
    // The player keeps the newest seek and reads its target until it is answered; the
    // answer, whatever it says, ends that: observers read the position again.
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    media_.player->seekToTime(media::Time::seconds(seconds, 1024), [weak](bool) {
        if (auto self = weak.lock()) {
            self->willChangeValueForKey("currentPlaybackTime");
            self->didChangeValueForKey("currentPlaybackTime");
        }
    });
}

void QXMoviePlayerController::removeTimeObserver() {
    if (!media_.timeObserver) return;
    if (media_.player) media_.player->removeTimeObserver(media_.timeObserver);
    media_.timeObserver->invalidate();
    media_.timeObserver = nullptr;
}

void QXMoviePlayerController::startTimeObserver() {
    if (!media_.player) return;
    removeTimeObserver();
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    media_.timeObserver =
        media_.player->addPeriodicTimeObserverForInterval(media::Time::seconds(1.0, 1024), [weak](media::Time t) {
            if (auto self = weak.lock()) self->timeObserverTick(t);
        });
}

void QXMoviePlayerController::timeObserverTick(media::Time time) {
    auto item = currentItem();
    if (item) {
        for (const auto& range : item->loadedTimeRanges()) rt::kvoSet(this, "loadedTimeRange", times_.loaded, range);
    }
    storeResumePosition(time);
    double t = time.toSeconds();
    if (isNumber(times_.end) && times_.end > 0 && times_.end <= t) {
        stop();
        post(QXMoviePlayerPlaybackDidFinishNotification);
    }
    setAudioOnly(currentStreamIsAudioOnly());
    auto log = media_.item ? media_.item->accessLog() : nullptr;
    if (auto event = log ? log->lastEvent() : nullptr) statistics_->update(*event);
}

void QXMoviePlayerController::storeResumePosition(media::Time time) {
    // Only the position of this controller's own item, current and ready, is a place to
    // come back to: after a failure or a stop the player has no item and its time reads
    // 0, which would overwrite the position the next attempt resumes from.
    auto item = currentItem();
    if (!item || item != media_.item || item->status() != media::PlayerItemStatus::ReadyToPlay) return;
    // A live stream has no place to come back to.
    auto itemDuration = media_.item->duration();
    if (times_.duration <= 0 || itemDuration.isIndefinite() || !time.isNumeric()) return;
    QXPlayerResumePositions::defaultPositions()->storeResumePosition(time, contentURL_);
}

}  // namespace zid
