#pragma once
// The player of the playback engine: plays the media URL of one source through a movie
// player controller, turns the controller's notifications into its own states, maps its
// errors into "CPMediaPlayerErrorDomain" and keeps a playback time that advances ten
// times a second while playing (for live channels: the time actually spent playing,
// summed on the run loop's monotonic clock). Main thread only.
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaSelectionOption.h>
#include <QXCorePlayer/Core/MediaPlayer/IQXMoviePlayerController.h>
#include <QXFoundation/Disposable/IDisposable.h>
#include <fnd/NotificationCenter.h>
#include <rt/KVO.h>
#include <rt/Property.h>

#include <functional>
#include <memory>
#include <optional>
#include <rt/MainThread.h>

namespace zid {

class CPMediaPlayer : public ICPMediaPlayer {
    RT_CLASS(CPMediaPlayer, ICPMediaPlayer)
    rt::Ref<IQXMoviePlayerController> moviePlayer_;
    rt::Ref<ICPMediaSource> source_;
    CPPlayerState state_ = CPPlayerState::Stopped;
    CPPlayerUserState userState_ = CPPlayerUserState::Stop;
    rt::Ref<rt::Error> error_;
    double playbackTime_ = 0;
    rt::Ref<ICPMediaTiming> timeInfo_;
    rt::Ref<ICPMediaTiming> extractedTimeInfo_;
    bool airplayActive_ = false;
    bool seeking_ = false;
    double seekValue_ = -1;
    rt::Value seekPosition_;

public:
    static constexpr rt::Stored<&CPMediaPlayer::moviePlayer_, "moviePlayer"> moviePlayerKey{};
    static constexpr rt::Stored<&CPMediaPlayer::source_, "source"> sourceKey{};
    static constexpr rt::Stored<&CPMediaPlayer::state_, "state"> stateKey{};
    static constexpr rt::Stored<&CPMediaPlayer::userState_, "userState"> userStateKey{};
    static constexpr rt::Stored<&CPMediaPlayer::error_, "error"> errorKey{};
    static constexpr rt::Stored<&CPMediaPlayer::playbackTime_, "playbackTime"> playbackTimeKey{};
    static constexpr rt::Stored<&CPMediaPlayer::timeInfo_, "timeInfo", rt::writable> timeInfoKey{};
    static constexpr rt::Stored<&CPMediaPlayer::extractedTimeInfo_, "extractedTimeInfo"> extractedTimeInfoKey{};
    static constexpr rt::Stored<&CPMediaPlayer::airplayActive_, "isAirplayActive"> isAirplayActiveKey{};
    static constexpr rt::Stored<&CPMediaPlayer::seeking_, "seeking"> seekingKey{};
    static constexpr rt::Stored<&CPMediaPlayer::seekValue_, "seekValue"> seekValueKey{};
    static constexpr rt::Stored<&CPMediaPlayer::seekPosition_, "seekPosition", rt::writable> seekPositionKey{};

    using MoviePlayerMaker = std::function<rt::Ref<IQXMoviePlayerController>()>;
    /// How new players get their movie player controller. Without a maker (or after
    /// setting nullptr) they get a QXMoviePlayerController on the shared media engine,
    /// so nothing needs installing to play; a host with a controller class of its own
    /// (or a test with a scripted one) sets its maker here.
    static void setMoviePlayerControllerMaker(MoviePlayerMaker maker);
    /// A controller from the maker. A maker that answers none raises
    /// InternalInconsistencyException with a reason naming setMoviePlayerControllerMaker.
    static rt::Ref<IQXMoviePlayerController> makeMoviePlayerController();

    explicit CPMediaPlayer(rt::Ref<IQXMoviePlayerController> moviePlayer);

    // ICPMediaHandler, ICPPlayerController
    void setSource(const rt::Ref<ICPMediaSource>& source) override;
    rt::Ref<ICPMediaSource> source() const override { RT_MAIN_THREAD_ONLY(); return source_; }
    void prepareToPlay() override;
    void start() override;
    void stop() override;
    void pause() override;
    void reset() override;
    void seekTo(double seconds) override;
    rt::Value seekPosition() const override { RT_MAIN_THREAD_ONLY(); return seekPosition_; }
    void setSeekPosition(rt::Value position) override {
        RT_MAIN_THREAD_ONLY();
        seekPositionKey.set(*this, std::move(position));
    }

    // ICPMediaPlayer
    void startPictureInPicture() override { RT_MAIN_THREAD_ONLY(); moviePlayer_->startPictureInPicture(); }
    void stopPictureInPicture() override { RT_MAIN_THREAD_ONLY(); moviePlayer_->stopPictureInPicture(); }
    /// Nil turns subtitles off; an object that is not a selection option is reported
    /// and replaced by nil.
    void selectSubtitle(const rt::Ref<rt::Object>& option) override;
    /// Only a selection option is passed on; anything else (nil included) is reported
    /// and passed on as nil.
    void selectAudioTrack(const rt::Ref<rt::Object>& option) override;
    void beginSeeking() override;
    void endSeeking() override;
    void cancelSeeking() override;
    void changeSeeking(float delta) override;
    rt::Ref<rt::Object> presentationLayer() const override { RT_MAIN_THREAD_ONLY(); return moviePlayer_->view(); }
    CPPlayerState state() const override { RT_MAIN_THREAD_ONLY(); return state_; }
    bool isAudioOnly() const override { RT_MAIN_THREAD_ONLY(); return moviePlayer_->isAudioOnly(); }
    bool isAirplayActive() const override { RT_MAIN_THREAD_ONLY(); return airplayActive_; }
    CPVideoSize videoSize() const override { RT_MAIN_THREAD_ONLY(); return moviePlayer_->videoSize(); }
    bool contentModeScaleAspectFill() const override { RT_MAIN_THREAD_ONLY(); return moviePlayer_->scalingMode() == 2; }
    void setContentModeScaleAspectFill(bool fill) override;
    bool muted() const override { RT_MAIN_THREAD_ONLY(); return moviePlayer_->muted(); }
    void setMuted(bool muted) override { RT_MAIN_THREAD_ONLY(); moviePlayer_->setMuted(muted); }
    double loadingTimeout() const { RT_MAIN_THREAD_ONLY(); return moviePlayer_->loadingTimeout(); }
    void setLoadingTimeout(double seconds) { RT_MAIN_THREAD_ONLY(); moviePlayer_->setLoadingTimeout(seconds); }
    bool continuePlaybackInBackground() const override {
        RT_MAIN_THREAD_ONLY();
        return moviePlayer_->continuePlaybackInBackground();
    }
    void setContinuePlaybackInBackground(bool flag) override {
        RT_MAIN_THREAD_ONLY();
        moviePlayer_->setContinuePlaybackInBackground(flag);
    }
    bool pictureInPictureAvailable() const override {
        RT_MAIN_THREAD_ONLY();
        return moviePlayer_->isPictureInPictureAvailable();
    }
    bool pictureInPictureActive() const override {
        RT_MAIN_THREAD_ONLY();
        return moviePlayer_->isPictureInPictureActive();
    }
    rt::Ref<rt::Object> subtitles() const override { RT_MAIN_THREAD_ONLY(); return moviePlayer_->subtitles(); }
    rt::Ref<rt::Object> defaultSubtitle() const override {
        RT_MAIN_THREAD_ONLY();
        return moviePlayer_->defaultSubtitle();
    }
    rt::Ref<rt::Object> selectedSubtitle() const override {
        RT_MAIN_THREAD_ONLY();
        return moviePlayer_->selectedSubtitle();
    }
    rt::Ref<rt::Object> audioTracks() const override { RT_MAIN_THREAD_ONLY(); return moviePlayer_->audioTracks(); }
    rt::Ref<rt::Object> defaultAudioTrack() const override {
        RT_MAIN_THREAD_ONLY();
        return moviePlayer_->defaultAudioTrack();
    }
    rt::Ref<rt::Object> selectedAudioTrack() const override {
        RT_MAIN_THREAD_ONLY();
        return moviePlayer_->selectedAudioTrack();
    }
    double playbackTime() const override { RT_MAIN_THREAD_ONLY(); return playbackTime_; }
    rt::Ref<ICPMediaTiming> timeInfo() const override { RT_MAIN_THREAD_ONLY(); return timeInfo_; }
    void setTimeInfo(rt::Ref<ICPMediaTiming> t) { RT_MAIN_THREAD_ONLY(); timeInfoKey.set(*this, std::move(t)); }
    rt::Ref<rt::Error> error() const override { RT_MAIN_THREAD_ONLY(); return error_; }
    double observedBitrate() const override { RT_MAIN_THREAD_ONLY(); return moviePlayer_->observedBitrate(); }
    std::int64_t numberOfBytesTransferred() const override {
        RT_MAIN_THREAD_ONLY();
        return moviePlayer_->numberOfBytesTransferred();
    }
    bool seeking() const override { RT_MAIN_THREAD_ONLY(); return seeking_; }
    double seekValue() const override { RT_MAIN_THREAD_ONLY(); return seekValue_; }
    bool showDebugConsole() const override { RT_MAIN_THREAD_ONLY(); return false; }
    void setShowDebugConsole(bool show) override;
    void setActive(bool active) { RT_MAIN_THREAD_ONLY(); moviePlayer_->setActive(active); }

    const rt::Ref<IQXMoviePlayerController>& moviePlayer() const { RT_MAIN_THREAD_ONLY(); return moviePlayer_; }
    CPPlayerUserState userState() const { RT_MAIN_THREAD_ONLY(); return userState_; }
    rt::Ref<ICPMediaTiming> extractedTimeInfo() const { RT_MAIN_THREAD_ONLY(); return extractedTimeInfo_; }
    double accumulatedPlaybackTime() const { RT_MAIN_THREAD_ONLY(); return accumulatedPlaybackTime_; }
    /// The player's own loading limit in seconds; 0 (the default) is off.
    double timeoutInterval() const { RT_MAIN_THREAD_ONLY(); return timeoutInterval_; }
    void setTimeoutInterval(double seconds) { RT_MAIN_THREAD_ONLY(); timeoutInterval_ = seconds; }

    /// Maps a movie player error into "CPMediaPlayerErrorDomain"; nil gives nil.
    static rt::Ref<rt::Error> mapError(const rt::Ref<rt::Error>& error);

    static void describe(rt::ClassBuilder<CPMediaPlayer>& c);

protected:
    void didInitialize() override;
    void willDestroy() override;

private:
    void notification(const rt::Ref<fnd::Notification>& note);
    void changeState(CPPlayerState state, const rt::Ref<rt::Error>& error);
    void reportProgress();
    void startLoadingTimer();
    void stopLoadingTimer();
    void stopProgressTicker();
    bool isLive() const;
    double now() const;
    void setPlaybackTime(double t) { playbackTimeKey.set(*this, t); }
    void setSeeking(bool v) { seekingKey.set(*this, v); }
    void setSeekValue(double v) { seekValueKey.set(*this, v); }
    void setUserState(CPPlayerUserState s) { userStateKey.set(*this, s); }
    static constexpr rt::Accessor<&CPMediaPlayer::loadingTimeout, &CPMediaPlayer::setLoadingTimeout, "loadingTimeout",
                                  "moviePlayer.loadingTimeout">
        loadingTimeoutKey{};

    std::optional<double> lastPlaybackPeriodStart_;
    double accumulatedPlaybackTime_ = 0;
    double timeoutInterval_ = 0;
    std::shared_ptr<IDisposable> timeoutTrigger_;
    std::shared_ptr<IDisposable> progressTrigger_;
    rt::Ref<fnd::NotificationObserver> observer_;
    rt::Ref<rt::Observation> seekAnswers_;
};

/// Makes a CPMediaPlayer per source. The loading limit is 10 s unless set.
class CPPlayerFactory : public ICPPlayerFactory {
    RT_CLASS(CPPlayerFactory, ICPPlayerFactory)
public:
    static constexpr double kDefaultLoadingTimeout = 10.0;

private:
    double loadingTimeout_ = kDefaultLoadingTimeout;

public:
    static constexpr rt::Stored<&CPPlayerFactory::loadingTimeout_, "loadingTimeout", rt::writable> loadingTimeoutKey{};
    CPPlayerFactory() = default;
    rt::Ref<ICPMediaPlayer> playerForSource(const rt::Ref<ICPMediaSource>& source) override;
    double loadingTimeout() const override { RT_MAIN_THREAD_ONLY(); return loadingTimeoutKey.get(*this); }
    void setLoadingTimeout(double seconds) override { RT_MAIN_THREAD_ONLY(); loadingTimeoutKey.set(*this, seconds); }
};

}  // namespace zid
