#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include "Core/Core/CPPlaybackSessionTrackingAdapter.h"
#include "Core/CoreLogModule.h"
#include <QXFoundation/Audio/AudioSessionManager.h>
#include <QXFoundation/Crypto/QXCrypto.h>
#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Log/QXLogger.h>
#include <RuzEzo/Binding/FKBindingInfo.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <fnd/Queue.h>
#include <rt/ChangeScope.h>
#include <rt/Format.h>

#include <optional>
#include <random>

namespace zid {

namespace {
std::string makePlaybackID() {
    static std::random_device device;
    std::uint32_t number = device();
    return QXCrypto::MD5ForString(std::to_string(number)).value_or(std::string());
}

/// The state a session takes for each state of its player (none: it keeps its own), with
/// the log line that notes the change.
struct PlayerStateStep {
    CPPlayerState playerState;
    std::optional<CPSessionState> sessionState;
    const char* logLine;
};

constexpr PlayerStateStep kPlayerStateSteps[] = {
    {CPPlayerState::Stopped, std::nullopt, "[%p][PLAYER] Stopped"},
    {CPPlayerState::Buffering, CPSessionState::Loading, "[%p][PLAYER] Buffering"},
    {CPPlayerState::Ready, CPSessionState::Ready, "[%p][PLAYER] Ready"},
    {CPPlayerState::Playing, CPSessionState::Playing, "[%p][PLAYER] Playing"},
    {CPPlayerState::Stalled, std::nullopt, "[%p][PLAYER] Stalled"},
    {CPPlayerState::Paused, CPSessionState::Paused, "[%p][PLAYER] Paused"},
    {CPPlayerState::Finished, std::nullopt, "[%p][PLAYER] Finished"},
    {CPPlayerState::Error, std::nullopt, "[%p][PLAYER] Error"},
};

const PlayerStateStep* playerStateStep(CPPlayerState playerState) {
    for (const auto& step : kPlayerStateSteps)
        if (step.playerState == playerState) return &step;
    return nullptr;
}
}  // namespace

CPPlaybackSession::CPPlaybackSession(rt::Ref<ICPMediaSource> source, rt::Ref<ICPPlayerFactory> playerFactory)
    : source_(std::move(source)), playerFactory_(std::move(playerFactory)), playbackID_(makePlaybackID()) {
    RT_MAIN_THREAD_ONLY_CALL("CPPlaybackSession::CPPlaybackSession");
    tracker_ = source_ ? source_->playbackTracker() : nullptr;
}

rt::Ref<CPPlaybackSession> CPPlaybackSession::sessionWithMediaSource(rt::Ref<ICPMediaSource> source,
                                                                     rt::Ref<ICPPlayerFactory> playerFactory) {
    RT_MAIN_THREAD_ONLY_CALL("CPPlaybackSession::sessionWithMediaSource");
    return rt::make<CPPlaybackSession>(std::move(source), std::move(playerFactory));
}

void CPPlaybackSession::didInitialize() {
    rt::Object::didInitialize();
    rt::Weak<CPPlaybackSession> weak = selfAs<CPPlaybackSession>();
    auto dispose = deallocSignal(*this);
    // The session observes its own state keypaths before its tracking adapter does, so
    // on every change its state is updated before the tracker hears of it.
    triggers_.push_back(onSignal(signalForKeypath(*this, "player.state"), dispose, [weak](const rt::Value& v) {
        if (auto s = weak.lock()) s->playerStateChanged(static_cast<long>(v.longLongValue()));
    }));
    triggers_.push_back(onSignal(signalForKeypath(*this, "source.state"), dispose, [weak](const rt::Value& v) {
        if (auto s = weak.lock()) s->sourceStateChanged(static_cast<long>(v.longLongValue()));
    }));
    triggers_.push_back(onSignal(signalForKeypath(*this, "source.lock"), dispose, [weak](const rt::Value& v) {
        if (auto s = weak.lock()) s->handleSourceLock(v.as<CPMediaSourceLock>());
    }));
    trackingAdapter_ = CPPlaybackSessionTrackingAdapter::adapterForSession(selfAs<CPPlaybackSession>());
    initializing_ = false;
}

void CPPlaybackSession::willDestroy() {
    // A session that ends ends its tracking: the tracker hears onKill (when playback
    // had started and not finished) and close, so the media server hears it stopped.
    if (trackingAdapter_) trackingAdapter_->endTracking();
    rt::Object::willDestroy();
}

void CPPlaybackSession::log(const char* message) { QXLog(kCoreLogModule, staticClass(), 5, message, rt::Value(self())); }

// ---- transport ----------------------------------------------------------------------

void CPPlaybackSession::prepareToPlay() {
    RT_MAIN_THREAD_ONLY();
    if (!source_) return;
    if (source_->state() != CPMediaSourceState::Realized) {
        source_->realizeWithPlaybackID(playbackID_);
        return;
    }
    if (player_) {
        auto s = player_->state();
        if (s == CPPlayerState::Stopped || s == CPPlayerState::Error) player_->prepareToPlay();
        return;
    }
    makePlayer();
}

void CPPlaybackSession::makePlayer(PlayerOfEarlierRealize earlier) {
    if (!playerFactory_) return;
    if (!playerDeferred_)
        notifyListeners<CPPlaybackSessionListener>(
            *this, [&](CPPlaybackSessionListener& l) { l.sessionWillMakePlayer(*this); });
    const bool replace = earlier == PlayerOfEarlierRealize::Replace;
    if (playerDeferred_) {
        // The deferral's end makes the player for the source as it is then; a player of
        // an earlier realize would stand in its way, playing a URL that is gone.
        if (replace) setPlayer(nullptr);
        return;
    }
    if (player_ && !replace) return;
    setPlayer(playerFactory_->playerForSource(source_));
    if (player_) player_->setContinuePlaybackInBackground(continuePlaybackInBackground_);
}

void CPPlaybackSession::setPlayerDeferred(bool deferred) {
    RT_MAIN_THREAD_ONLY();
    if (deferred == playerDeferred_) return;
    playerDeferred_ = deferred;
    if (!deferred && !player_ && sourceState() == CPMediaSourceState::Realized) makePlayer();
}

void CPPlaybackSession::play() {
    RT_MAIN_THREAD_ONLY();
    if (!player_) {
        setAutoStart(true);
        if (state_ != CPSessionState::Loading) prepareToPlay();
        return;
    }
    startPlayer();
}

void CPPlaybackSession::startPlayer() {
    RT_MAIN_THREAD_ONLY();
    AudioSessionManager::instance()->beginPlaybackSession();
    if (player_) player_->start();
}

void CPPlaybackSession::pause() {
    RT_MAIN_THREAD_ONLY();
    if (player_ && player_->isPlaying()) player_->pause();
    // A pause before the start (the player still buffering, or not made yet) also
    // cancels the pending auto-start, so playback does not begin when it is ready.
    setAutoStart(false);
}

void CPPlaybackSession::seekTo(double seconds) {
    RT_MAIN_THREAD_ONLY();
    if (player_) player_->seekTo(seconds);
}

void CPPlaybackSession::suspend() {
    RT_MAIN_THREAD_ONLY();
    bool playing = player_ && player_->isPlaying();
    suspendStates_.push_back(CPPlaybackSessionState::stateWithPlaying(playing));
    // An errored player stays in its error: pausing it would turn the failure into a pause.
    if (player_ && player_->state() != CPPlayerState::Error) player_->pause();
}

void CPPlaybackSession::resume() {
    RT_MAIN_THREAD_ONLY();
    if (suspendStates_.empty()) return;
    auto record = suspendStates_.back();
    suspendStates_.pop_back();
    // A failed playback stays failed until the host prepares or plays it again.
    if (state_ == CPSessionState::Failed) return;
    if (source_ && !source_->safeToContinue()) {
        setAutoStart(record->played());
        restartingSource_ = true;
        source_->dispose();
        restartingSource_ = false;
        source_->realizeWithPlaybackID(playbackID_);
        return;
    }
    if (record->played()) startPlayer();
}

void CPPlaybackSession::reset() {
    RT_MAIN_THREAD_ONLY();
    setPlayer(nullptr);
    setState(CPSessionState::Stopped);
}

void CPPlaybackSession::onPrerollLoading() {
    RT_MAIN_THREAD_ONLY();
    if (trackingAdapter_) trackingAdapter_->onPrerollLoading();
}
void CPPlaybackSession::onPrerolling() {
    RT_MAIN_THREAD_ONLY();
    if (trackingAdapter_) trackingAdapter_->onPrerolling();
}
void CPPlaybackSession::onMidrolling() {
    RT_MAIN_THREAD_ONLY();
    if (trackingAdapter_) trackingAdapter_->onMidrolling();
}
void CPPlaybackSession::onClick() {
    RT_MAIN_THREAD_ONLY();
    if (trackingAdapter_) trackingAdapter_->onClick();
}
void CPPlaybackSession::onFullscreen(bool fullscreen) {
    RT_MAIN_THREAD_ONLY();
    if (trackingAdapter_) trackingAdapter_->onFullscreen(fullscreen);
}

// ---- player -------------------------------------------------------------------------

void CPPlaybackSession::setPlayer(rt::Ref<ICPMediaPlayer> player) {
    if (!playerKey.set(*this, player)) return;
    if (!player) return;
    player->setMuted(muted_);
    player->setContentModeScaleAspectFill(contentModeScaleAspectFill_);
    auto& binder = FKSignalBinder::sharedInstance();
    rt::Ref<rt::Object> target = player;
    binder[FKKeypathBindingInfo::infoWithTarget(target, "contentModeScaleAspectFill")] =
        signalForKeypath(*this, "contentModeScaleAspectFill")->toBool();
    binder[FKKeypathBindingInfo::infoWithTarget(target, "muted")] = signalForKeypath(*this, "muted")->toBool();
}

bool CPPlaybackSession::continuePlaybackInBackground() const {
    RT_MAIN_THREAD_ONLY();
    return player_ ? player_->continuePlaybackInBackground() : continuePlaybackInBackground_;
}

void CPPlaybackSession::setContinuePlaybackInBackground(bool flag) {
    RT_MAIN_THREAD_ONLY();
    rt::ChangeScope scope(*this, {"continuePlaybackInBackground"});
    continuePlaybackInBackground_ = flag;
    if (player_) player_->setContinuePlaybackInBackground(flag);
}

void CPPlaybackSession::startPictureInPicture() {
    RT_MAIN_THREAD_ONLY();
    if (player_) player_->startPictureInPicture();
}
void CPPlaybackSession::stopPictureInPicture() {
    RT_MAIN_THREAD_ONLY();
    if (player_) player_->stopPictureInPicture();
}
void CPPlaybackSession::selectSubtitle(const rt::Ref<rt::Object>& option) {
    RT_MAIN_THREAD_ONLY();
    if (player_) player_->selectSubtitle(option);
}
void CPPlaybackSession::selectAudioTrack(const rt::Ref<rt::Object>& option) {
    RT_MAIN_THREAD_ONLY();
    if (player_) player_->selectAudioTrack(option);
}

// ---- reactions ----------------------------------------------------------------------

void CPPlaybackSession::sourceStateChanged(long state) {
    switch (static_cast<CPMediaSourceState>(state)) {
        case CPMediaSourceState::Unrealized:
            log("[%p][SOURCE] Unrealized");
            setPlayer(nullptr);
            // Without a player the session cannot claim to play: it waits for the source
            // it is restarting, or stops when nothing will realize the source.
            setState(restartingSource_ ? CPSessionState::Loading : CPSessionState::Stopped);
            break;
        case CPMediaSourceState::Realizing:
            log("[%p][SOURCE] Realizing");
            setPlayer(nullptr);
            setState(CPSessionState::Loading);
            break;
        case CPMediaSourceState::Waiting:
            log("[%p][SOURCE] Waiting");
            if (source_->lock()) setPlayer(nullptr);
            setState(CPSessionState::Waiting);
            break;
        case CPMediaSourceState::Realized:
            log("[%p][SOURCE] Realized");
            // A realize is for the source as it is now: a channel that went offline and
            // came back has a new URL, and the player kept through the wait plays the old.
            makePlayer(PlayerOfEarlierRealize::Replace);
            break;
        case CPMediaSourceState::Failed:
        case CPMediaSourceState::FailedPermanent:
            log("[%p][SOURCE] Failed");
            setPlayer(nullptr);
            setError(source_->error());
            setState(CPSessionState::Failed);
            break;
        default:
            break;
    }
}

void CPPlaybackSession::playerStateChanged(long state) {
    const auto playerState = static_cast<CPPlayerState>(state);
    const auto* step = playerStateStep(playerState);
    if (!step) return;
    log(step->logLine);
    if (step->sessionState) setState(*step->sessionState);
    // What the state sets off beyond the session's own state.
    if (playerState == CPPlayerState::Ready) playerReady();
    if (playerState == CPPlayerState::Finished) playerFinished();
    if (playerState == CPPlayerState::Error) onPlaybackError();
}

void CPPlaybackSession::playerReady() {
    if (!suspendStates_.empty()) {
        suspendStates_.back()->setPlayed(autoStart_);
        return;
    }
    if (autoStart_) startPlayer();
}

void CPPlaybackSession::playerFinished() {
    setState(CPSessionState::Finished);
    setAutoStart(false);
    // The tracker hears of the end before the rewind or the dropped player produce
    // events of their own.
    if (trackingAdapter_) trackingAdapter_->playerDidFinish();
    if (rewindOnFinish_) {
        if (player_) player_->reset();
        setState(CPSessionState::Stopped);
    } else {
        setPlayer(nullptr);
    }
}

void CPPlaybackSession::onPlaybackError() {
    auto playerError = player_ ? player_->error() : nullptr;
    lastPlaybackError_ = playerError;
    if (source_ && source_->handlePlaybackError(playerError)) return;
    setError(playerError);
    setState(CPSessionState::Failed);
}

// ---- locks --------------------------------------------------------------------------

void CPPlaybackSession::handleSourceLock(const rt::Ref<CPMediaSourceLock>& lock) {
    if (!lock) return;
    if (!initializing_) {
        requestAnswerForLock(lock);
        return;
    }
    // Nobody can listen yet while the session is being made: ask on the next turn of
    // the main loop, if the source still holds this lock then.
    rt::Weak<CPPlaybackSession> weak = selfAs<CPPlaybackSession>();
    fnd::Queue::main()->async([weak, lock] {
        auto session = weak.lock();
        if (session && session->lock() == lock) session->requestAnswerForLock(lock);
    });
}

void CPPlaybackSession::requestAnswerForLock(const rt::Ref<CPMediaSourceLock>& lock) {
    if (auto age = rt::cast<CPMediaSourceAgeLock>(lock)) {
        notifyListeners<CPPlaybackSessionListener>(
            *this, [&](CPPlaybackSessionListener& l) { l.sessionRequiresAgeConfirmation(*this, age->minAge()); });
    } else if (rt::cast<CPMediaSourceBirthdayLock>(lock)) {
        notifyListeners<CPPlaybackSessionListener>(
            *this, [&](CPPlaybackSessionListener& l) { l.sessionRequiresBirthdate(*this); });
    } else if (auto hash = rt::cast<CPMediaSourceHashLock>(lock)) {
        notifyListeners<CPPlaybackSessionListener>(
            *this, [&](CPPlaybackSessionListener& l) { l.sessionRequiresHash(*this, hash->url()); });
    } else if (lock->lockType() == 1) {
        notifyListeners<CPPlaybackSessionListener>(
            *this, [&](CPPlaybackSessionListener& l) { l.sessionRequiresPassword(*this); });
    }
}

void CPPlaybackSession::continueWithPassword(const std::string& password) {
    RT_MAIN_THREAD_ONLY();
    auto l = lock();
    if (l && l->lockType() == 1) source_->continueWithPassword(password);
}

void CPPlaybackSession::continueWithHash(const std::string& hash) {
    RT_MAIN_THREAD_ONLY();
    auto l = lock();
    if (l && l->lockType() == 6) source_->continueWithHash(hash);
}

void CPPlaybackSession::continueWithAgeConfirmed() {
    RT_MAIN_THREAD_ONLY();
    if (rt::cast<CPMediaSourceAgeLock>(lock())) source_->continueWithAgeConfirmed(true);
}

void CPPlaybackSession::cancelAgeConfirmation() {
    RT_MAIN_THREAD_ONLY();
    if (rt::cast<CPMediaSourceAgeLock>(lock())) source_->cancelAgeConfirmation();
}

void CPPlaybackSession::continueWithBirthdate(const rt::Date& birthdate) {
    RT_MAIN_THREAD_ONLY();
    if (auto l = rt::cast<CPMediaSourceBirthdayLock>(lock()))
        source_->continueWithAgeConfirmed(l->checkBirthdate(birthdate));
}

void CPPlaybackSession::cancelBirthdateValidation() {
    RT_MAIN_THREAD_ONLY();
    if (rt::cast<CPMediaSourceBirthdayLock>(lock())) source_->cancelAgeConfirmation();
}

// ---- diagnostics --------------------------------------------------------------------

std::string CPPlaybackSession::stateString() const {
    RT_MAIN_THREAD_ONLY();
    static const char* names[] = {"STOPPED", "LOADING", "WAITING", "READY", "PLAYING", "PAUSED", "FAILED", "FINISHED"};
    auto i = static_cast<long>(state_);
    return i >= 0 && i < 8 ? names[i] : "";
}

std::string CPPlaybackSession::sourceString() const {
    RT_MAIN_THREAD_ONLY();
    if (!source_) return "NO SOURCE";
    switch (source_->state()) {
        case CPMediaSourceState::Unrealized:
            return "UNREALIZED";
        case CPMediaSourceState::Realizing:
            return "REALIZING";
        case CPMediaSourceState::Waiting:
            return rt::format("WAITING(%@)", rt::Value(source_->lock()));
        case CPMediaSourceState::Realized:
            return "REALIZED";
        case CPMediaSourceState::Failed:
            return rt::format("ERROR(%@)", rt::Value(source_->error()));
        case CPMediaSourceState::FailedPermanent:
            return rt::format("PERM ERROR(%@)", rt::Value(source_->error()));
    }
    return "";
}

std::string CPPlaybackSession::playerString() const {
    RT_MAIN_THREAD_ONLY();
    if (!player_) return "NO PLAYER";
    static const char* names[] = {"STOPPED", "BUFFERING", "READY", "PLAYING", "STALLED", "PAUSED", "FINISHED"};
    auto i = static_cast<long>(player_->state());
    if (i == 7) return rt::format("ERROR(%@)", rt::Value(player_->error()));
    return i >= 0 && i < 7 ? names[i] : "";
}

std::string CPPlaybackSession::description() const {
    return rt::format("<%p> %@ S:%@ P:%@", rt::Value(self()), rt::Value(stateString()), rt::Value(sourceString()),
                      rt::Value(playerString()));
}

}  // namespace zid
