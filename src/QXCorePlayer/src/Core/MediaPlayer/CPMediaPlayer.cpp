#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>
#include <QXFoundation/Assert/QXAssert.h>
#include <QXFoundation/Log/QXLogger.h>
#include <RuzEzo/Binding/FKBindingInfo.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Signal/Timer/FKTimerSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <fnd/RunLoop.h>
#include <media/Asset.h>
#include <rt/ChangeScope.h>
#include <rt/Exception.h>

#include <cmath>
#include <mutex>
#include "Core/CoreLogModule.h"
#include "Core/CPEndAndRelease.h"

namespace zid {

namespace {
constexpr double kProgressInterval = 0.1;

std::mutex makerMutex;
CPMediaPlayer::MoviePlayerMaker& maker() {
    static CPMediaPlayer::MoviePlayerMaker m;
    return m;
}

rt::Ref<rt::Error> playerError(CPMediaPlayerErrorCode code, const std::string& description) {
    return rt::Error::withDescription(CPMediaPlayerErrorDomain, static_cast<long long>(code), description);
}

/// Where the error of a state the player takes from its movie player comes from.
enum class StateCause { None, MoviePlayer, Interruption };

/// The state the player takes for each state of its movie player, with the log line
/// (and its level) that notes the change.
struct MovieStateStep {
    QXMoviePlaybackState movieState;
    CPPlayerState state;
    StateCause cause;
    int logLevel;
    const char* logLine;
};

constexpr MovieStateStep kMovieStateSteps[] = {
    {QXMoviePlaybackState::Stopped, CPPlayerState::Stopped, StateCause::None, 5, "playback:stopped"},
    {QXMoviePlaybackState::Buffering, CPPlayerState::Buffering, StateCause::None, 5, "playback:buffering"},
    {QXMoviePlaybackState::Ready, CPPlayerState::Ready, StateCause::None, 5, "playback:ready"},
    {QXMoviePlaybackState::Playing, CPPlayerState::Playing, StateCause::None, 5, "playback:playing"},
    {QXMoviePlaybackState::Paused, CPPlayerState::Paused, StateCause::None, 5, "playback:paused"},
    {QXMoviePlaybackState::Interrupted, CPPlayerState::Error, StateCause::Interruption, 2, "playback:interrupted"},
    {QXMoviePlaybackState::Error, CPPlayerState::Error, StateCause::MoviePlayer, 2, "playback:error"},
    {QXMoviePlaybackState::Stalled, CPPlayerState::Stalled, StateCause::MoviePlayer, 5, "playback:stalled"},
};

const MovieStateStep* movieStateStep(QXMoviePlaybackState movieState) {
    for (const auto& step : kMovieStateSteps)
        if (step.movieState == movieState) return &step;
    return nullptr;
}
}  // namespace

void CPMediaPlayer::setMoviePlayerControllerMaker(MoviePlayerMaker m) {
    std::lock_guard lock(makerMutex);
    maker() = std::move(m);
}

rt::Ref<IQXMoviePlayerController> CPMediaPlayer::makeMoviePlayerController() {
    MoviePlayerMaker m;
    {
        std::lock_guard lock(makerMutex);
        m = maker();
    }
    if (!m) return rt::make<QXMoviePlayerController>();
    auto controller = m();
    if (!controller)
        throw rt::Exception(rt::Exception::InternalInconsistency,
                            "No movie player controller is available: the maker given to "
                            "CPMediaPlayer::setMoviePlayerControllerMaker answered none; return a controller from it, "
                            "or call CPMediaPlayer::setMoviePlayerControllerMaker(nullptr) to use QXMoviePlayerController");
    return controller;
}

void CPMediaPlayer::describe(rt::ClassBuilder<CPMediaPlayer>& c) {
    // What the movie player announces, this player passes on under the same key.
    c.dependent("isAudioOnly", {"moviePlayer.audioOnly"});
    for (const char* key :
         {"audioOnly", "observedBitrate", "numberOfBytesTransferred", "muted", "videoSize", "pictureInPictureAvailable",
          "pictureInPictureActive", "continuePlaybackInBackground", "subtitles", "defaultSubtitle", "selectedSubtitle",
          "audioTracks", "defaultAudioTrack", "selectedAudioTrack"}) {
        c.dependent(key, {std::string("moviePlayer.") + key});
    }
}

CPMediaPlayer::CPMediaPlayer(rt::Ref<IQXMoviePlayerController> moviePlayer) : moviePlayer_(std::move(moviePlayer)) {
    moviePlayer_->setShouldAutoplay(false);
    moviePlayer_->setScalingMode(1);
    moviePlayer_->setAllowsAirPlay(true);
}

void CPMediaPlayer::didInitialize() {
    ICPMediaPlayer::didInitialize();
    rt::Weak<CPMediaPlayer> weak = selfAs<CPMediaPlayer>();
    observer_ = fnd::NotificationCenter::defaultCenter()->addObserver(std::nullopt, moviePlayer_, nullptr,
                                                                      [weak](const rt::Ref<fnd::Notification>& note) {
                                                                          if (auto p = weak.lock())
                                                                              p->notification(note);
                                                                      });
    // The movie player announces its time when a seek it started is answered: the
    // position then is where the seek landed, which a paused player (no ticker) would
    // otherwise not tell.
    seekAnswers_ = rt::observe(moviePlayer_, "currentPlaybackTime", rt::KVONew, [weak](const rt::KVOChange&) {
        if (auto p = weak.lock()) p->reportProgress();
    });
    auto sourceTiming = signalForKeypath(*this, "source.timeInfo");
    FKSignalBinder::sharedInstance()[FKKeypathBindingInfo::infoWithTarget(selfAs<rt::Object>(), "timeInfo")] =
        sourceTiming->if_(sourceTiming->toBool(), signalForKeypath(*this, "extractedTimeInfo"));
}

void CPMediaPlayer::willDestroy() {
    if (observer_) fnd::NotificationCenter::defaultCenter()->removeObserver(observer_);
    observer_ = nullptr;
    if (seekAnswers_) seekAnswers_->remove();
    seekAnswers_ = nullptr;
    userState_ = CPPlayerUserState::Stop;
    stopLoadingTimer();
    stopProgressTicker();
    moviePlayer_->stop();
    ICPMediaPlayer::willDestroy();
}

double CPMediaPlayer::now() const { return fnd::RunLoop::main()->clock().now(); }

bool CPMediaPlayer::isLive() const { return source_ && source_->sourceType() == CPMediaSourceType::LiveChannel; }

void CPMediaPlayer::setSource(const rt::Ref<ICPMediaSource>& source) {
    RT_MAIN_THREAD_ONLY();
    if (source == source_) return;
    stop();
    if (!source || !dynamic_cast<ICPURLMediaSource*>(source.get())) {
        sourceKey.set(*this, rt::Ref<ICPMediaSource>());
        throw rt::Exception("InvalidParameterError", "invalid source");
    }
    sourceKey.set(*this, source);
    lastPlaybackPeriodStart_.reset();
    accumulatedPlaybackTime_ = 0;
    changeState(CPPlayerState::Buffering, nullptr);
    prepareToPlay();
}

void CPMediaPlayer::prepareToPlay() {
    RT_MAIN_THREAD_ONLY();
    if (!source_) return;
    std::string url = dynamic_cast<ICPURLMediaSource*>(source_.get())->mediaUrl();
    if (auto refusal = media::Asset::refusalOfURL(url)) {
        // Only http and https streams are played; anything else fails as a load would,
        // with the media layer's refusal beneath saying why.
        QXLog(kCoreLogModule, staticClass(), 2, "Unsupported media URL: %@", rt::Value(url));
        rt::Dictionary info;
        // The refusal names the URL and what is wrong with it (another scheme, no host).
        info.set(rt::Value(rt::Error::LocalizedDescriptionKey), rt::Value(refusal->localizedDescription()));
        info.set(rt::Value(rt::Error::UnderlyingErrorKey), rt::Value(refusal));
        changeState(CPPlayerState::Error,
                    rt::Error::make(CPMediaPlayerErrorDomain, static_cast<long long>(CPMediaPlayerErrorCode::LoadingFailed), info));
        return;
    }
    moviePlayer_->setContentURL(url);
    if (auto timing = source_->timeInfo()) {
        moviePlayer_->setInitialPlaybackTime(timing->startTime());
        moviePlayer_->setEndPlaybackTime(timing->endTime());
    }
    moviePlayer_->setTitle(source_->title());
    startLoadingTimer();
    moviePlayer_->prepareToPlay();
}

void CPMediaPlayer::start() {
    RT_MAIN_THREAD_ONLY();
    setUserState(CPPlayerUserState::Start);
    moviePlayer_->setShouldAutoplay(true);
    moviePlayer_->play();
}

void CPMediaPlayer::stop() {
    RT_MAIN_THREAD_ONLY();
    setUserState(CPPlayerUserState::Stop);
    stopLoadingTimer();
    moviePlayer_->stop();
}

void CPMediaPlayer::pause() {
    RT_MAIN_THREAD_ONLY();
    // An errored player keeps its error: a pause (from a suspension, say) would turn
    // the failure into an ordinary pause.
    if (state_ == CPPlayerState::Error) return;
    setUserState(CPPlayerUserState::Pause);
    moviePlayer_->setShouldAutoplay(false);
    stopLoadingTimer();
    moviePlayer_->pause();
}

void CPMediaPlayer::reset() {
    RT_MAIN_THREAD_ONLY();
    stop();
    changeState(CPPlayerState::Buffering, nullptr);
    prepareToPlay();
    reportProgress();
}

void CPMediaPlayer::seekTo(double seconds) {
    RT_MAIN_THREAD_ONLY();
    // The movie player reads the seek's target until the seek is answered (or, before
    // playback, the time playback will start at): observers see it at once.
    moviePlayer_->setCurrentPlaybackTime(seconds);
    reportProgress();
}

void CPMediaPlayer::setContentModeScaleAspectFill(bool fill) {
    RT_MAIN_THREAD_ONLY();
    rt::ChangeScope scope(*this, {"contentModeScaleAspectFill"});
    moviePlayer_->setScalingMode(fill ? 2 : 1);
}

void CPMediaPlayer::setShowDebugConsole(bool show) {
    RT_MAIN_THREAD_ONLY();
    if (show)
        moviePlayer_->showDebugConsole();
    else
        moviePlayer_->hideDebugConsole();
}

void CPMediaPlayer::selectSubtitle(const rt::Ref<rt::Object>& option) {
    RT_MAIN_THREAD_ONLY();
    bool valid = !option || dynamic_cast<ICPMediaSelectionOption*>(option.get());
    QXAssert(valid, "Invalid subtitle instance: %@", rt::Value(option));
    moviePlayer_->selectSubtitle(valid ? option : nullptr);
}

void CPMediaPlayer::selectAudioTrack(const rt::Ref<rt::Object>& option) {
    RT_MAIN_THREAD_ONLY();
    bool valid = option && dynamic_cast<ICPMediaSelectionOption*>(option.get());
    QXAssert(valid, "Invalid audio track instance: %@", rt::Value(option));
    moviePlayer_->selectAudioTrack(valid ? option : nullptr);
}

// ---- seeking by scrubbing -----------------------------------------------------------

void CPMediaPlayer::beginSeeking() {
    RT_MAIN_THREAD_ONLY();
    QXAssert(!seeking_, "!self.seeking");
    if (seeking_) return;
    setSeeking(true);
    setSeekValue(playbackTime_);
    pause();
}

void CPMediaPlayer::changeSeeking(float delta) {
    RT_MAIN_THREAD_ONLY();
    QXAssert(seeking_, "self.seeking");
    if (!seeking_) return;
    double value = static_cast<float>(seekValue_ + delta);
    if (timeInfo_) {
        value = std::min(value, timeInfo_->endTime());
        value = std::max(value, timeInfo_->startTime());
    }
    setSeekValue(value);
}

void CPMediaPlayer::endSeeking() {
    RT_MAIN_THREAD_ONLY();
    QXAssert(seeking_, "self.seeking");
    if (!seeking_) return;
    seekTo(seekValue_);
    setSeekValue(-1);
    setSeeking(false);
    start();
}

void CPMediaPlayer::cancelSeeking() {
    RT_MAIN_THREAD_ONLY();
    QXAssert(seeking_, "self.seeking");
    if (!seeking_) return;
    setSeekValue(-1);
    setSeeking(false);
}

// ---- notifications and states -------------------------------------------------------

void CPMediaPlayer::notification(const rt::Ref<fnd::Notification>& note) {
    const std::string& name = note->name();
    rt::Ref<rt::Error> candidate = note->userInfo().get(rt::Value("error")).as<rt::Error>();
    if (name == QXMoviePlayerScalingModeDidChangeNotification) return;
    if (name == QXMoviePlayerPlaybackDidFinishNotification) {
        changeState(CPPlayerState::Finished, candidate);
        return;
    }
    if (name == QXMoviePlayerPlaybackStateDidChangeNotification) {
        if (const auto* step = movieStateStep(moviePlayer_->playbackState())) {
            QXLog(kCoreLogModule, staticClass(), step->logLevel, step->logLine);
            rt::Ref<rt::Error> error;
            if (step->cause == StateCause::MoviePlayer) error = moviePlayer_->error();
            if (step->cause == StateCause::Interruption)
                error = playerError(CPMediaPlayerErrorCode::Other, "The playback was interrupted");
            changeState(step->state, error);
        }
        return;
    }
    if (name == QXMoviePlayerIsAirPlayVideoActiveDidChangeNotification) {
        isAirplayActiveKey.set(*this, moviePlayer_->isAirPlayVideoActive());
        return;
    }
    if (name == QXMovieDurationAvailableNotification) {
        extractedTimeInfoKey.set(
            *this, rt::Ref<ICPMediaTiming>(CPMediaTimingBase::timingWithDuration(moviePlayer_->duration())));
        return;
    }
    if (name == QXMediaPlaybackIsPreparedToPlayDidChangeNotification) {
        if (moviePlayer_->playbackState() != QXMoviePlaybackState::Playing && moviePlayer_->isPreparedToPlay())
            changeState(CPPlayerState::Ready, candidate);
    }
}

void CPMediaPlayer::changeState(CPPlayerState state, const rt::Ref<rt::Error>& error) {
    if (state == CPPlayerState::Playing && userState_ == CPPlayerUserState::Stop) {
        // The last request was to stop: the movie player stops again and the player
        // says it is stopped rather than playing.
        moviePlayer_->stop();
        state = CPPlayerState::Stopped;
    }
    if (state == state_) return;
    QXLog(kCoreLogModule, staticClass(), 5, "CAPlayer state: %d error:%@", static_cast<int>(state), rt::Value(error));
    if (isLive()) {
        if (state == CPPlayerState::Playing) {
            lastPlaybackPeriodStart_ = now();
        } else if (lastPlaybackPeriodStart_) {
            accumulatedPlaybackTime_ += now() - *lastPlaybackPeriodStart_;
            lastPlaybackPeriodStart_.reset();
        }
    }
    if (state == CPPlayerState::Playing) {
        stopProgressTicker();
        rt::Weak<CPMediaPlayer> weak = selfAs<CPMediaPlayer>();
        progressTrigger_ =
            onSignal(tickerWithTimeInterval(kProgressInterval), deallocSignal(*this), [weak](const rt::Value&) {
                if (auto p = weak.lock()) p->reportProgress();
            });
        stopLoadingTimer();
    } else if (state != CPPlayerState::Stalled) {
        stopProgressTicker();
    }
    auto mapped = mapError(error);
    if (state == CPPlayerState::Error && !mapped) {
        // An error state always says what went wrong.
        mapped = playerError(CPMediaPlayerErrorCode::Other, "The movie player failed");
    }
    errorKey.set(*this, mapped);
    stateKey.set(*this, state);
    // The first position of a playing period is told once the state says PLAYING, so
    // trackers hear the start before the progress (a live period or a recording begun
    // at a later position would otherwise report progress, or a seek, before it started).
    if (state == CPPlayerState::Playing && state_ == CPPlayerState::Playing) reportProgress();
}

void CPMediaPlayer::reportProgress() {
    if (isLive()) {
        // Live time is the time spent playing; while the stream stalls it holds still
        // rather than switching to the stream position and back, which trackers would
        // take for seeks.
        double t = accumulatedPlaybackTime_;
        if (lastPlaybackPeriodStart_) t += now() - *lastPlaybackPeriodStart_;
        setPlaybackTime(t);
        return;
    }
    double t = moviePlayer_->currentPlaybackTime();
    setPlaybackTime(std::isnan(t) ? 0.0 : t);
}

void CPMediaPlayer::startLoadingTimer() {
    stopLoadingTimer();
    if (timeoutInterval_ <= 0) return;
    rt::Weak<CPMediaPlayer> weak = selfAs<CPMediaPlayer>();
    timeoutTrigger_ =
        onSignal(tickerWithTimeInterval(timeoutInterval_), deallocSignal(*this), [weak](const rt::Value&) {
            auto p = weak.lock();
            if (!p) return;
            p->stop();
            QXLog(kCoreLogModule, staticClass(), 2, "Player timeouted");
            p->changeState(CPPlayerState::Error,
                           playerError(CPMediaPlayerErrorCode::LoadingFailed, "Loading timed out"));
        });
}

void CPMediaPlayer::stopLoadingTimer() { CPEndAndRelease(timeoutTrigger_, &IDisposable::dispose); }

void CPMediaPlayer::stopProgressTicker() { CPEndAndRelease(progressTrigger_, &IDisposable::dispose); }

rt::Ref<rt::Error> CPMediaPlayer::mapError(const rt::Ref<rt::Error>& error) {
    if (!error) return nullptr;
    if (error->domain() == CPMediaPlayerErrorDomain) return error;
    if (error->domain() == QXMoviePlayerControllerErrorDomain) {
        long long code = error->code() == 1 || error->code() == 2 ? error->code() : 0;
        return rt::Error::make(CPMediaPlayerErrorDomain, code, error->userInfo());
    }
    rt::Dictionary info;
    info.set(rt::Value(rt::Error::UnderlyingErrorKey), rt::Value(error));
    return rt::Error::make(CPMediaPlayerErrorDomain, 0, info);
}

// ---- factory ------------------------------------------------------------------------

rt::Ref<ICPMediaPlayer> CPPlayerFactory::playerForSource(const rt::Ref<ICPMediaSource>& source) {
    RT_MAIN_THREAD_ONLY();
    auto player = rt::make<CPMediaPlayer>(CPMediaPlayer::makeMoviePlayerController());
    player->setLoadingTimeout(loadingTimeout_);
    player->setSource(source);
    return player;
}

}  // namespace zid
