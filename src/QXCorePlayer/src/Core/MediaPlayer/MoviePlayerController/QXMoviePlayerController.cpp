#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>

#include "Core/ExternalScreen/QXExternalScreenManager.h"
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include "Core/MediaPlayer/MoviePlayerController/QXMediaLayerSelectionOption.h"
#include "Core/MediaPlayer/MoviePlayerController/QXProgressWatchdog.h"
#include "Core/CoreLogModule.h"
#include <QXCorePlayer/Core/ResumePositions/QXPlayerResumePositions.h>
#include <QXCorePlayer/Core/View/QXPlayerDebugConsoleView.h>
#include <QXFoundation/Lists/ArrayList.h>
#include <QXFoundation/Log/QXLogger.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <media/MediaErrors.h>
#include <media/Presentation.h>
#include <rt/Exception.h>
#include <rt/Format.h>
#include <ui/Animation.h>
#include <ui/Application.h>

#include <algorithm>
#include <cmath>

namespace zid {

namespace {
rt::Ref<rt::Error> controllerError(QXMoviePlayerControllerErrorCode code, const std::string& description,
                                   const rt::Ref<rt::Error>& underlying = nullptr) {
    rt::Dictionary info;
    info.set(rt::Error::LocalizedDescriptionKey, description);
    if (underlying) info.set(rt::Error::UnderlyingErrorKey, underlying);
    return rt::Error::make(QXMoviePlayerControllerErrorDomain, static_cast<long long>(code), info);
}

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

/// The media layer's option behind a wrapped option (nullptr for none or another kind).
rt::Ref<media::MediaSelectionOption> unwrap(const rt::Ref<rt::Object>& option) {
    if (auto wrapped = std::dynamic_pointer_cast<QXMediaLayerSelectionOption>(option)) return wrapped->option();
    return std::dynamic_pointer_cast<media::MediaSelectionOption>(option);
}

rt::Ref<rt::Object> wrap(const rt::Ref<media::MediaSelectionOption>& option) {
    return option ? rt::make<QXMediaLayerSelectionOption>(option) : nullptr;
}
}  // namespace

void QXMoviePlayerController::describe(rt::ClassBuilder<QXMoviePlayerController>& c) {
    using M = QXMoviePlayerController;
    c.readonly("player", &M::player);
    c.readonly("playerItem", &M::playerItem);
    c.readonly("asset", &M::asset);
    c.readonly("playerView", &M::playerView);
    c.readonly("debugConsoleView", &M::debugConsoleView);
    c.readonly("contentURL", &M::contentURL);
    c.readonly("loadState", &M::loadState);
    c.readonly("preparing", &M::isPreparing);
    c.readonly("preparedToPlay", &M::isPreparedToPlay);
    c.readonly("error", &M::error);
    c.readonly("duration", &M::duration);
    c.readonly("loadedTimeRange", &M::loadedTimeRange);
    c.property("initialPlaybackTime", &M::initialPlaybackTime, &M::setInitialPlaybackTime);
    c.property("endPlaybackTime", &M::endPlaybackTime, &M::setEndPlaybackTime);
    c.property("currentPlaybackTime", &M::currentPlaybackTime, &M::setCurrentPlaybackTime);
    c.property("stalledTimeout", &M::stalledTimeout, &M::setStalledTimeout);
    c.property("shouldAutoplay", &M::shouldAutoplay, &M::setShouldAutoplay);
    c.property("resumeFromLastPosition", &M::resumeFromLastPosition, &M::setResumeFromLastPosition);
    c.readonly("accessURI", &M::accessURI);
    c.readonly("indicatedBitrate", &M::indicatedBitrate);
    c.readonly("numberOfDroppedVideoFrames", &M::numberOfDroppedVideoFrames);
    c.property("title", &M::title, &M::setTitle);
    c.property("artist", &M::artist, &M::setArtist);
    c.property("scalingMode", &M::scalingMode, &M::setScalingMode);
    c.property("allowsAirPlay", &M::allowsAirPlay, &M::setAllowsAirPlay);
    c.readonly("airPlayVideoActive", &M::isAirPlayVideoActive);
    c.property("active", &M::isActive, &M::setActive);
    c.property("shouldAutoswitchToExternalScreen", &M::shouldAutoswitchToExternalScreen,
               &M::setShouldAutoswitchToExternalScreen);
    c.manualNotification("currentPlaybackTime");
}

QXMoviePlayerController::QXMoviePlayerController(std::string contentURL, std::string title, std::string artist)
    : contentURL_(std::move(contentURL)), title_(std::move(title)), artist_(std::move(artist)) {}

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
    auto title = std::exchange(title_, {});
    auto artist = std::exchange(artist_, {});
    setTitle(title);
    setArtist(artist);
    playerView_ = rt::make<QXPlayerView>(ui::Rect(0, 0, 100, 100));
    playerView_->setRemoteControlDelegate(self());
    playerView_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    setupBindings();
}

QXMoviePlayerController::~QXMoviePlayerController() = default;

void QXMoviePlayerController::willDestroy() {
    if (bufferingTimer_) bufferingTimer_->invalidate();
    if (stalledTimer_) stalledTimer_->invalidate();
    progressWatchdog_ = nullptr;
    auto center = fnd::NotificationCenter::defaultCenter();
    for (auto& t : notificationTokens_) center->removeObserver(t);
    for (auto& t : itemTokens_) center->removeObserver(t);
    if (selectionGroupsToken_) center->removeObserver(selectionGroupsToken_);
    for (auto& o : observations_) o->remove();
    for (auto& t : triggers_) t->dispose();
    if (viewBinding_) viewBinding_->remove();
    if (loadingAsset_) loadingAsset_->cancelLoading();
    removeTimeObserver();
    IQXMoviePlayerController::willDestroy();
}

void QXMoviePlayerController::post(const char* name) {
    fnd::NotificationCenter::defaultCenter()->post(name, self());
}

// ---- bindings ----------------------------------------------------------------------

void QXMoviePlayerController::bindPlayerView() {
    if (viewBinding_) viewBinding_->remove();
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    viewBinding_ = rt::observe(self(), "player", rt::KVONew | rt::KVOInitial, [weak](const rt::KVOChange&) {
        auto self = weak.lock();
        if (self && self->playerView_->player() != self->player_) self->playerView_->setPlayer(self->player_);
    });
}

void QXMoviePlayerController::setupBindings() {
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    auto center = fnd::NotificationCenter::defaultCenter();
    bindPlayerView();
    notificationTokens_.push_back(center->addObserver(ui::ApplicationDidEnterBackgroundNotification, nullptr, nullptr,
                                                      [weak](const rt::Ref<fnd::Notification>&) {
                                                          auto self = weak.lock();
                                                          if (!self || !self->background_) return;
                                                          // The picture detaches; the sound goes on.
                                                          if (self->viewBinding_) self->viewBinding_->remove();
                                                          self->viewBinding_ = nullptr;
                                                          self->playerView_->setPlayer(nullptr);
                                                      }));
    notificationTokens_.push_back(center->addObserver(ui::ApplicationWillEnterForegroundNotification, nullptr, nullptr,
                                                      [weak](const rt::Ref<fnd::Notification>&) {
                                                          if (auto self = weak.lock()) self->bindPlayerView();
                                                      }));
    auto watch = [&](const char* path, std::function<void(QXMoviePlayerController&, const rt::Value&)> fn) {
        observations_.push_back(rt::observe(self(), path, rt::KVONew | rt::KVOInitial,
                                            [weak, fn = std::move(fn)](const rt::KVOChange& change) {
                                                if (auto self = weak.lock()) fn(*self, change.newValue);
                                            }));
    };
    // Keypath signals send a value only when it differs from the last one: a change of
    // player that keeps the same item, or the same size reported again, tells nothing.
    auto follow = [&](const char* path, std::function<void(QXMoviePlayerController&, const rt::Value&)> fn) {
        triggers_.push_back(onSignal(signalForKeypath(*this, path), deallocSignal(*this),
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
    follow("player.currentItem.presentationSize", [](QXMoviePlayerController& s, const rt::Value&) {
        s.presentationSizeChanged();
    });
}

void QXMoviePlayerController::itemStatusChanged(media::PlayerItemStatus status) {
    if (status == media::PlayerItemStatus::Failed) {
        // The item says why it failed: report it now, whether it was loading or playing
        // (a failed item never plays on, and nothing else would tell the failure).
        bool loading = playbackState_ == QXMoviePlaybackState::Buffering;
        auto item = player_ ? player_->currentItem() : nullptr;
        rt::Ref<rt::Error> cause = item ? item->error() : nullptr;
        failedWithError(controllerError(QXMoviePlayerControllerErrorCode::LoadingFailed,
                                        loading ? "The media could not be loaded" : "The media stopped playing", cause));
        return;
    }
    if (playbackState_ != QXMoviePlaybackState::Buffering) return;
    if (status == media::PlayerItemStatus::ReadyToPlay) {
        setPlaybackState(QXMoviePlaybackState::Ready);
        setPreparedToPlay(true);
        rt::kvoSet(this, "preparing", preparing_, false);
        if (shouldAutoplay_) play();
    }
}

void QXMoviePlayerController::itemLikelyToKeepUpChanged(bool likely) {
    if (!likely) {
        // Not keeping up while playing is a stall, told or not: a segment that never
        // comes stops the picture without any notification, and only the stalled state
        // bounds how long that may last.
        if (playbackState_ == QXMoviePlaybackState::Playing && player_ && player_->rate() != 0 && !keepsUp(player_))
            setPlaybackState(QXMoviePlaybackState::Stalled);
        return;
    }
    if (playbackState_ == QXMoviePlaybackState::Stalled) {
        setPlaybackState(QXMoviePlaybackState::Playing);
    } else if (playbackState_ == QXMoviePlaybackState::Buffering) {
        setPlaybackState(QXMoviePlaybackState::Ready);
        if (shouldAutoplay_) play();
    }
}

void QXMoviePlayerController::rateChanged(float rate) {
    if (rate == 0) {
        if (playbackState_ == QXMoviePlaybackState::Playing) setPlaybackState(QXMoviePlaybackState::Paused);
        return;
    }
    setPlaybackState(QXMoviePlaybackState::Playing);
    // Told to play while its item does not keep up, the player shows a still picture: it
    // is stalled, within the stall limit, until the item keeps up. Looked at once the
    // turn ends: an item that becomes ready says whether it keeps up right after.
    if (keepsUp(player_)) return;
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    fnd::RunLoop::main()->post([weak] {
        auto self = weak.lock();
        if (self && self->playbackState_ == QXMoviePlaybackState::Playing && !keepsUp(self->player_))
            self->setPlaybackState(QXMoviePlaybackState::Stalled);
    });
}

void QXMoviePlayerController::presentationSizeChanged() {
    media::Size size = player_ && player_->currentItem() ? player_->currentItem()->presentationSize() : media::Size{};
    // No item reads as 0 by 0, as an item not yet ready does: the size is told when it
    // changes, not when the item behind it does.
    if (sizeTold_ && *sizeTold_ == size) return;
    sizeTold_ = size;
    rt::kvoSet(this, "videoSize", videoSize_, CPVideoSize{size.width, size.height});
    setAudioOnly(currentStreamIsAudioOnly());
    QXLog(kCoreLogModule, staticClass(), 5, "videosize: %@", std::to_string(size.width) + " x " + std::to_string(size.height));
}

// ---- states ------------------------------------------------------------------------

void QXMoviePlayerController::setPlaybackState(QXMoviePlaybackState state) {
    if (state == playbackState_) return;
    directSetPlaybackState(state);
}

void QXMoviePlayerController::directSetPlaybackState(QXMoviePlaybackState state) {
    if (bufferingTimer_) bufferingTimer_->invalidate();
    if (stalledTimer_) stalledTimer_->invalidate();
    bufferingTimer_ = stalledTimer_ = nullptr;
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    if (state == QXMoviePlaybackState::Stalled && stalledTimeout_ != 0) {
        stalledTimer_ = fnd::RunLoop::main()->after(stalledTimeout_, [weak] {
            if (auto self = weak.lock())
                self->failedWithError(controllerError(QXMoviePlayerControllerErrorCode::StalledTooLong,
                                                      "The playback stalled for too long"));
        });
    }
    if (state == QXMoviePlaybackState::Buffering && loadingTimeout_ != 0) {
        bufferingTimer_ = fnd::RunLoop::main()->after(loadingTimeout_, [weak] {
            if (auto self = weak.lock())
                self->failedWithError(controllerError(QXMoviePlayerControllerErrorCode::LoadingFailed,
                                                      "The media did not load in time"));
        });
    }
    watchProgress(state == QXMoviePlaybackState::Playing || state == QXMoviePlaybackState::Stalled);
    rt::kvoSet(this, "playbackState", playbackState_, state);
    post(QXMoviePlayerPlaybackStateDidChangeNotification);
}

void QXMoviePlayerController::watchProgress(bool shouldPlay) {
    // One watch over playing and stalled alike: an item that stops keeping up and keeps
    // up again, over and over, without the position moving, is held to the limit too.
    if (shouldPlay && stalledTimeout_ != 0 && progressWatchdog_) return;
    progressWatchdog_ = nullptr;
    if (!shouldPlay || stalledTimeout_ == 0) return;
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    QXProgressWatchdog::Probe probe;
    probe.position = [weak] {
        auto self = weak.lock();
        return self && self->player_ ? self->player_->currentTime().toSeconds() : kNaN;
    };
    // Whatever the item says of keeping up: a picture that stands still while the player
    // should play is a stall. A seek moves the position to its target; one that never
    // ends leaves it there.
    probe.resting = [weak] {
        auto self = weak.lock();
        return !self || !self->player_ || self->player_->rate() == 0;
    };
    double limit = stalledTimeout_;
    progressWatchdog_ = std::make_unique<QXProgressWatchdog>(limit, std::move(probe), [weak, limit](double position) {
        auto self = weak.lock();
        if (!self) return;
        QXLog(kCoreLogModule, staticClass(), 2, "the picture stood still at %@ s while the player should play", std::to_string(position));
        auto cause = media::makeMediaError(
            media::MediaErrorCode::EngineFailed,
            rt::format("The picture stood still at %.2f s for %.0f s while the player should play.", position, limit));
        self->failedWithError(
            controllerError(QXMoviePlayerControllerErrorCode::StalledTooLong, "The playback stalled for too long", cause));
    });
}

void QXMoviePlayerController::setLoadState(long state) {
    if (state == loadState_) return;
    QXLog(kCoreLogModule, staticClass(), 5, " QXMoviePlayerController load state: %d", state);
    rt::kvoSet(this, "loadState", loadState_, state);
    post(QXMoviePlayerLoadStateDidChangeNotification);
}

void QXMoviePlayerController::setPreparedToPlay(bool prepared) {
    if (prepared == preparedToPlay_) return;
    rt::kvoSet(this, "preparedToPlay", preparedToPlay_, prepared);
    post(QXMediaPlaybackIsPreparedToPlayDidChangeNotification);
    if (prepared && shouldAutoplay_) play();
}

void QXMoviePlayerController::setLoadingTimeout(double seconds) { rt::kvoSet(this, "loadingTimeout", loadingTimeout_, seconds); }
void QXMoviePlayerController::setStalledTimeout(double seconds) { rt::kvoSet(this, "stalledTimeout", stalledTimeout_, seconds); }
void QXMoviePlayerController::setShouldAutoplay(bool v) { rt::kvoSet(this, "shouldAutoplay", shouldAutoplay_, v); }
void QXMoviePlayerController::setResumeFromLastPosition(bool v) {
    rt::kvoSet(this, "resumeFromLastPosition", resumeFromLastPosition_, v);
}

// ---- preparation -------------------------------------------------------------------

void QXMoviePlayerController::prepareToPlay() {
    QXLog(kCoreLogModule, staticClass(), 5, "%@", "prepareToPlay");
    if (preparing_) return;
    rt::kvoSet(this, "error", error_, rt::Ref<rt::Error>());
    setPlaybackState(QXMoviePlaybackState::Buffering);
    rt::kvoSet(this, "preparing", preparing_, true);
    auto asset = media::Asset::assetWithURL(contentURL_);
    cancelLoading();
    loadingAsset_ = asset;
    unsigned generation = ++loadGeneration_;
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    asset->loadValuesAsynchronouslyForKeys(asynchronousLoadingKeys(), [weak, asset, generation] {
        fnd::RunLoop::main()->post([weak, asset, generation] {
            if (auto self = weak.lock()) self->prepareToPlayAsset(asset, generation);
        });
    });
}

void QXMoviePlayerController::cancelLoading() {
    ++loadGeneration_;  // a completion of the earlier preparation is dropped
    if (auto asset = std::exchange(loadingAsset_, nullptr)) asset->cancelLoading();
}

void QXMoviePlayerController::prepareToPlayAsset(const rt::Ref<media::Asset>& asset, unsigned generation) {
    if (generation != loadGeneration_ || asset != loadingAsset_) return;  // stopped, failed or re-pointed since
    loadingAsset_ = nullptr;
    QXLog(kCoreLogModule, staticClass(), 5, "%@", "prepareToPlayAsset:");
    for (const auto& key : asynchronousLoadingKeys()) {
        rt::Ref<rt::Error> keyError;
        auto status = asset->statusOfValueForKey(key, &keyError);
        if (status == media::KeyValueStatus::Loaded) continue;
        if (status == media::KeyValueStatus::Failed) QXLog(kCoreLogModule, staticClass(), 5, "AVKeyValueStatusFailed");
        failedWithError(controllerError(QXMoviePlayerControllerErrorCode::LoadingFailed,
                                        "The media's \"" + key + "\" could not be loaded", keyError));
        return;
    }
    removeTimeObserver();
    double seconds = asset->duration().toSeconds();
    setDuration(std::isnan(seconds) || std::isinf(seconds) ? 0 : seconds);
    rt::kvoSet(this, "asset", asset_, asset);
    auto item = media::PlayerItem::playerItemWithAsset(asset);
    setPlayerItem(item);
    setPlayer(media::Player::queuePlayerWithItems({item}));
    player_->setAllowsExternalPlayback(allowsAirPlay_);
    startTimeObserver();
    if (player_ && player_->currentItem() != playerItem_) player_->replaceCurrentItemWithPlayerItem(playerItem_);
    if (!isNumber(initialPlaybackTime_) && resumeFromLastPosition_) {
        auto position = QXPlayerResumePositions::defaultPositions()->resumePositionForURL(contentURL_);
        if (position.isValid() && player_) player_->seekToTime(position);
    } else if (isNumber(initialPlaybackTime_) && player_) {
        player_->seekToTime(media::Time::seconds(initialPlaybackTime_, 1024));
        setInitialPlaybackTime(kNaN);
    }
    listSubtitles();
    listAudioTracks();
    if (selectionGroupsToken_) fnd::NotificationCenter::defaultCenter()->removeObserver(selectionGroupsToken_);
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    selectionGroupsToken_ = fnd::NotificationCenter::defaultCenter()->addObserver(
        media::AssetMediaSelectionGroupsDidChangeNotification, asset, nullptr,
        [weak](const rt::Ref<fnd::Notification>&) {
            if (auto self = weak.lock()) self->listSubtitles();
        });
}

void QXMoviePlayerController::setPlayer(const rt::Ref<media::Player>& player) {
    if (player == player_) return;
    removeTimeObserver();
    rt::kvoSet(this, "player", player_, player);
    if (player_) player_->setMuted(muted_);
}

void QXMoviePlayerController::setPlayerItem(const rt::Ref<media::PlayerItem>& item) {
    if (item == playerItem_) return;
    rt::kvoSet(this, "playerItem", playerItem_, item);
    // One stall/end pair per controller, for the item of the moment.
    auto center = fnd::NotificationCenter::defaultCenter();
    for (auto& t : itemTokens_) center->removeObserver(t);
    itemTokens_.clear();
    if (!item) return;
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    itemTokens_.push_back(center->addObserver(media::PlayerItemPlaybackStalledNotification, item, nullptr,
                                              [weak](const rt::Ref<fnd::Notification>&) {
                                                  if (auto self = weak.lock())
                                                      self->setPlaybackState(QXMoviePlaybackState::Stalled);
                                              }));
    itemTokens_.push_back(center->addObserver(media::PlayerItemDidPlayToEndTimeNotification, item, nullptr,
                                              [weak](const rt::Ref<fnd::Notification>&) {
                                                  if (auto self = weak.lock())
                                                      self->post(QXMoviePlayerPlaybackDidFinishNotification);
                                              }));
}

// ---- play, pause, stop -------------------------------------------------------------

void QXMoviePlayerController::play() {
    rt::kvoSet(this, "error", error_, rt::Ref<rt::Error>());
    if (!preparedToPlay_ && !preparing_) prepareToPlay();
    if (!player_ || !player_->currentItem()) {
        // Nothing to play yet (or the items went with a failure or a stop): start when ready.
        setShouldAutoplay(true);
        return;
    }
    if (isNumber(initialPlaybackTime_)) {
        player_->seekToTime(media::Time::seconds(initialPlaybackTime_, 1024));
        setInitialPlaybackTime(kNaN);
    }
    player_->play();
}

void QXMoviePlayerController::pause() {
    if (playbackState_ != QXMoviePlaybackState::Buffering) setPlaybackState(QXMoviePlaybackState::Paused);
    if (!player_) {
        setShouldAutoplay(false);
        return;
    }
    player_->pause();
}

void QXMoviePlayerController::stop() {
    cleanupPlayer();
    setInitialPlaybackTime(kNaN);
    setShouldAutoplay(false);
    directSetPlaybackState(QXMoviePlaybackState::Stopped);
}

void QXMoviePlayerController::cleanupPlayer() {
    cancelLoading();
    if (player_) player_->removeAllItems();
    rt::kvoSet(this, "preparing", preparing_, false);
    // Nothing is prepared any more: the next play prepares the content URL again.
    setPreparedToPlay(false);
    setLoadState(0);
}

void QXMoviePlayerController::failedWithError(const rt::Ref<rt::Error>& error) {
    cleanupPlayer();
    rt::kvoSet(this, "error", error_, error);
    setPlaybackState(QXMoviePlaybackState::Error);
    setResumeFromLastPosition(true);
}

void QXMoviePlayerController::setContentURL(const std::string& url) {
    if (url == contentURL_) return;
    cancelLoading();
    if (playerItem_) {
        if (player_) player_->removeItem(playerItem_);
        setPlayerItem(nullptr);
    }
    rt::kvoSet(this, "error", error_, rt::Ref<rt::Error>());
    rt::kvoSet(this, "asset", asset_, rt::Ref<media::Asset>());
    setPlayer(nullptr);
    setPreparedToPlay(false);
    rt::kvoSet(this, "preparing", preparing_, false);
    setLoadState(0);
    if (!url.empty()) setPlaybackState(QXMoviePlaybackState::Stopped);
    else directSetPlaybackState(QXMoviePlaybackState::Stopped);
    rt::kvoSet(this, "contentURL", contentURL_, url);
}

// ---- time --------------------------------------------------------------------------

void QXMoviePlayerController::setDuration(double seconds) {
    rt::kvoSet(this, "duration", duration_, seconds);
    post(QXMovieDurationAvailableNotification);
}

double QXMoviePlayerController::currentPlaybackTime() const {
    if (playbackState_ == QXMoviePlaybackState::Stopped) return initialPlaybackTime_;
    double t = player_ ? player_->currentTime().toSeconds() : kNaN;
    return std::isnan(t) ? initialPlaybackTime_ : t;
}

double QXMoviePlayerController::bufferedDuration() const {
    auto item = player_ ? player_->currentItem() : nullptr;
    if (!item) return 0;
    double now = item->currentTime().toSeconds();
    if (!std::isfinite(now)) return 0;
    double ahead = 0;
    for (const auto& range : item->loadedTimeRanges()) {
        double start = range.startSeconds(), end = start + range.durationSeconds();
        if (std::isfinite(start) && std::isfinite(end) && start <= now && now <= end) ahead = std::max(ahead, end - now);
    }
    return ahead;
}

void QXMoviePlayerController::setInitialPlaybackTime(double s) { rt::kvoSet(this, "initialPlaybackTime", initialPlaybackTime_, s); }
void QXMoviePlayerController::setEndPlaybackTime(double s) { rt::kvoSet(this, "endPlaybackTime", endPlaybackTime_, s); }

void QXMoviePlayerController::setCurrentPlaybackTime(double seconds) {
    QXLog(kCoreLogModule, staticClass(), 5, "%@", "setCurrentPlaybackTime:");
    if (playbackState_ == QXMoviePlaybackState::Stopped || playbackState_ == QXMoviePlaybackState::Buffering ||
        !player_) {
        setInitialPlaybackTime(seconds);
        return;
    }
    // The player keeps the newest seek and reads its target until it is answered; the
    // answer, whatever it says, ends that: observers read the position again.
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    player_->seekToTime(media::Time::seconds(seconds, 1024), [weak](bool) {
        if (auto self = weak.lock()) {
            self->willChangeValueForKey("currentPlaybackTime");
            self->didChangeValueForKey("currentPlaybackTime");
        }
    });
}

void QXMoviePlayerController::removeTimeObserver() {
    if (!timeObserver_) return;
    if (player_) player_->removeTimeObserver(timeObserver_);
    timeObserver_->invalidate();
    timeObserver_ = nullptr;
}

void QXMoviePlayerController::startTimeObserver() {
    if (!player_) return;
    removeTimeObserver();
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    timeObserver_ = player_->addPeriodicTimeObserverForInterval(media::Time::seconds(1.0, 1024), [weak](media::Time t) {
        if (auto self = weak.lock()) self->timeObserverTick(t);
    });
}

void QXMoviePlayerController::timeObserverTick(media::Time time) {
    auto item = player_ ? player_->currentItem() : nullptr;
    if (item) {
        for (const auto& range : item->loadedTimeRanges()) rt::kvoSet(this, "loadedTimeRange", loadedTimeRange_, range);
    }
    storeResumePosition(time);
    double t = time.toSeconds();
    if (isNumber(endPlaybackTime_) && endPlaybackTime_ > 0 && endPlaybackTime_ <= t) {
        stop();
        post(QXMoviePlayerPlaybackDidFinishNotification);
    }
    setAudioOnly(currentStreamIsAudioOnly());
    if (!playerItem_) return;
    auto log = playerItem_->accessLog();
    auto event = log ? log->lastEvent() : nullptr;
    if (!event || event->URI.empty()) return;
    setAccessURI(event->URI);
    setIndicatedBitrate(event->indicatedBitrate);
    setObservedBitrate(event->observedBitrate);
    rt::kvoSet(this, "numberOfDroppedVideoFrames", droppedFrames_, static_cast<std::int64_t>(event->numberOfDroppedVideoFrames));
    setNumberOfBytesTransferred(event->numberOfBytesTransferred);
}

void QXMoviePlayerController::storeResumePosition(media::Time time) {
    // Only the position of this controller's own item, current and ready, is a place to
    // come back to: after a failure or a stop the player has no item and its time reads
    // 0, which would overwrite the position the next attempt resumes from.
    auto item = player_ ? player_->currentItem() : nullptr;
    if (!item || item != playerItem_ || item->status() != media::PlayerItemStatus::ReadyToPlay) return;
    // A live stream has no place to come back to.
    auto itemDuration = playerItem_->duration();
    if (duration_ <= 0 || itemDuration.isIndefinite() || !time.isNumeric()) return;
    QXPlayerResumePositions::defaultPositions()->storeResumePosition(time, contentURL_);
}

void QXMoviePlayerController::setAccessURI(const std::string& uri) {
    if (accessURISet_ && uri == accessURI_) return;
    accessURISet_ = true;
    rt::kvoSet(this, "accessURI", accessURI_, uri);
    post(QXMoviePlayerAccessURIDidChangeNotification);
}

void QXMoviePlayerController::setIndicatedBitrate(double v) {
    if (v == indicatedBitrate_) return;
    rt::kvoSet(this, "indicatedBitrate", indicatedBitrate_, v);
    post(QXMoviePlayerIndicatedBitrateDidChangeNotification);
}

void QXMoviePlayerController::setObservedBitrate(double v) {
    if (v == observedBitrate_) return;
    rt::kvoSet(this, "observedBitrate", observedBitrate_, v);
    post(QXMoviePlayerObservedBitrateDidChangeNotification);
}

void QXMoviePlayerController::setNumberOfBytesTransferred(std::int64_t v) {
    if (v == bytesTransferred_) return;
    rt::kvoSet(this, "numberOfBytesTransferred", bytesTransferred_, v);
    post(QXMoviePlayerNumberOfBytesTransferredDidChangeNotification);
}

// ---- presentation ------------------------------------------------------------------

void QXMoviePlayerController::setTitle(const std::string& title) {
    rt::kvoSet(this, "title", title_, title);
    if (!title.empty()) playingInfo_.set(media::MediaItemPropertyTitle, title);
    if (active_) media::NowPlayingInfoCenter::defaultCenter()->setNowPlayingInfo(playingInfo_);
}

void QXMoviePlayerController::setArtist(const std::string& artist) {
    rt::kvoSet(this, "artist", artist_, artist);
    if (!artist.empty()) playingInfo_.set(media::MediaItemPropertyArtist, artist);
    if (active_) media::NowPlayingInfoCenter::defaultCenter()->setNowPlayingInfo(playingInfo_);
}

void QXMoviePlayerController::setScalingMode(long mode) {
    if (mode == scalingMode_) return;
    if (mode == 1) playerView_->playerLayer()->setVideoGravity(media::VideoGravity::ResizeAspect);
    if (mode == 2) playerView_->playerLayer()->setVideoGravity(media::VideoGravity::ResizeAspectFill);
    playerView_->playerLayer()->setBounds(playerView_->playerLayer()->bounds());
    rt::kvoSet(this, "scalingMode", scalingMode_, mode);
    post(QXMoviePlayerScalingModeDidChangeNotification);
}

void QXMoviePlayerController::setAllowsAirPlay(bool allows) {
    if (allows == allowsAirPlay_) return;
    rt::kvoSet(this, "allowsAirPlay", allowsAirPlay_, allows);
    if (player_) player_->setAllowsExternalPlayback(allows);
}

void QXMoviePlayerController::setAirPlayVideoActive(bool active) {
    if (active == airPlayVideoActive_) return;
    rt::kvoSet(this, "airPlayVideoActive", airPlayVideoActive_, active);
    post(QXMoviePlayerIsAirPlayVideoActiveDidChangeNotification);
}

void QXMoviePlayerController::setMuted(bool muted) {
    rt::kvoSet(this, "muted", muted_, muted);
    if (player_) player_->setMuted(muted);
}

void QXMoviePlayerController::setContinuePlaybackInBackground(bool flag) {
    rt::kvoSet(this, "continuePlaybackInBackground", background_, flag);
}

void QXMoviePlayerController::setShouldAutoswitchToExternalScreen(bool flag) {
    rt::kvoSet(this, "shouldAutoswitchToExternalScreen", autoswitch_, flag);
}

void QXMoviePlayerController::setActive(bool active) {
    if (active == active_) return;
    rt::kvoSet(this, "active", active_, active);
    if (autoswitch_) QXExternalScreenManager::sharedManager()->showView(active ? playerView_ : nullptr);
}

bool QXMoviePlayerController::currentStreamIsAudioOnly() const {
    return player_ && player_->currentItem() && preparedToPlay_ && player_->currentItem()->presentationSize().isZero();
}

void QXMoviePlayerController::setAudioOnly(bool audioOnly) {
    if (audioOnly == audioOnly_) return;
    rt::kvoSet(this, "audioOnly", audioOnly_, audioOnly);
    post(QXMoviePlayerAudioOnlyModeDidChangeNotification);
}

void QXMoviePlayerController::setSelection(const char* key, rt::Ref<rt::Object>& field, rt::Ref<rt::Object> value) {
    rt::kvoSet(this, key, field, std::move(value));
}

void QXMoviePlayerController::listSubtitles() {
    subtitleGroup_ = asset_ ? asset_->mediaSelectionGroupForMediaCharacteristic(media::MediaCharacteristicLegible) : nullptr;
    rt::Ref<rt::Object> list;
    if (subtitleGroup_) {
        rt::Value::Array options;
        for (const auto& o : subtitleGroup_->options()) options.push_back(wrap(o));
        list = rt::make<ArrayList>(options);
    }
    setSelection("subtitles", subtitles_, list);
    setSelection("defaultSubtitle", defaultSubtitle_, subtitleGroup_ ? wrap(subtitleGroup_->defaultOption()) : nullptr);
}

void QXMoviePlayerController::listAudioTracks() {
    audioGroup_ = asset_ ? asset_->mediaSelectionGroupForMediaCharacteristic(media::MediaCharacteristicAudible) : nullptr;
    rt::Ref<rt::Object> list;
    if (audioGroup_) {
        rt::Value::Array options;
        for (const auto& o : audioGroup_->options()) options.push_back(wrap(o));
        list = rt::make<ArrayList>(options);
    }
    setSelection("audioTracks", audioTracks_, list);
    setSelection("defaultAudioTrack", defaultAudioTrack_, audioGroup_ ? wrap(audioGroup_->defaultOption()) : nullptr);
}

void QXMoviePlayerController::selectSubtitle(const rt::Ref<rt::Object>& option) {
    auto item = player_ ? player_->currentItem() : nullptr;
    if (!item || !subtitleGroup_) return;
    item->selectMediaOption(unwrap(option), subtitleGroup_);
    setSelection("selectedSubtitle", selectedSubtitle_, wrap(item->selectedMediaOptionInMediaSelectionGroup(subtitleGroup_)));
}

void QXMoviePlayerController::selectAudioTrack(const rt::Ref<rt::Object>& option) {
    auto item = player_ ? player_->currentItem() : nullptr;
    if (!item || !audioGroup_) return;
    item->selectMediaOption(unwrap(option), audioGroup_);
    setSelection("selectedAudioTrack", selectedAudioTrack_, wrap(item->selectedMediaOptionInMediaSelectionGroup(audioGroup_)));
}

void QXMoviePlayerController::playerViewDidReceiveRemoteControlEvent(QXPlayerView&, const media::RemoteControlEvent& event) {
    if (event.type != media::EventType::RemoteControl) return;
    switch (event.subtype) {
        case media::EventSubtype::RemoteControlPlay: play(); break;
        case media::EventSubtype::RemoteControlPause: pause(); break;
        case media::EventSubtype::RemoteControlTogglePlayPause:
            if (player_ && player_->rate() != 0) pause();
            else play();
            break;
        default: break;
    }
}

// ---- debug console -----------------------------------------------------------------

void QXMoviePlayerController::showDebugConsole() {
    QXLog(kCoreLogModule, staticClass(), 5, "%@", "showDebugConsole");
    if (debugConsole_) return;
    auto console = rt::make<QXPlayerDebugConsoleView>(selfAs<QXMoviePlayerController>());
    console->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    console->setHidden(true);
    playerView_->addSubview(console);
    auto b = playerView_->bounds();
    console->setFrame(ui::Rect(b.origin.x, b.origin.y - b.size.height, b.size.width, b.size.height));
    console->setHidden(false);
    rt::kvoSet(this, "debugConsoleView", debugConsole_, console);
    ui::animate(0.5, [console, b] { console->setFrame(b); });
}

void QXMoviePlayerController::hideDebugConsole() {
    QXLog(kCoreLogModule, staticClass(), 5, "%@", "hideDebugConsole");
    auto console = debugConsole_;
    if (!console) return;
    auto b = playerView_->bounds();
    rt::Weak<QXMoviePlayerController> weak = selfAs<QXMoviePlayerController>();
    ui::animate(
        0.5, [console, b] { console->setFrame(ui::Rect(b.origin.x, b.origin.y - b.size.height, b.size.width, b.size.height)); },
        [weak, console](bool) {
            console->setHidden(true);
            console->removeFromSuperview();
            auto self = weak.lock();
            if (self && self->debugConsole_ == console)
                rt::kvoSet(self.get(), "debugConsoleView", self->debugConsole_, rt::Ref<QXPlayerDebugConsoleView>());
        });
}

void QXMoviePlayerController::toggleDebugConsole() {
    if (debugConsole_ && debugConsole_->isHidden()) showDebugConsole();
    else hideDebugConsole();
}

void QXMoviePlayerController::setDebugConsoleValue(const rt::Value& value, const std::string& key) {
    if (debugConsole_) debugConsole_->setValueForKey(value, key);
}

}  // namespace zid
