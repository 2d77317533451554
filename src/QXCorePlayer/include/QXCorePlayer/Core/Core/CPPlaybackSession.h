#pragma once
// One playback of one media source: realizes the source, gets a player from the factory
// once the source is realized, condenses the source's and the player's states into its
// own, and feeds a tracking adapter. Main thread only.
#include <QXCorePlayer/Core/Core/CPPlaybackSessionListener.h>
#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXFoundation/Disposable/IDisposable.h>
#include <rt/KVC.h>
#include <rt/KVO.h>
#include <rt/Property.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include <rt/MainThread.h>

namespace zid {

class CPPlaybackSessionTrackingAdapter;

enum class CPSessionState : long {
    Stopped = 0,
    Loading = 1,
    Waiting = 2,
    Ready = 3,
    Playing = 4,
    Paused = 5,
    Failed = 6,
    Finished = 7,
};

/// One suspension: whether playback goes on when it ends.
class CPPlaybackSessionState : public rt::Object {
    RT_CLASS(CPPlaybackSessionState, rt::Object)
public:
    static void describe(rt::ClassBuilder<CPPlaybackSessionState>& c) { c.mainThreadOnly(); }
    explicit CPPlaybackSessionState(bool played = false) : played_(played) {}
    static rt::Ref<CPPlaybackSessionState> stateWithPlaying(bool played) {
        return rt::make<CPPlaybackSessionState>(played);
    }
    bool played() const { RT_MAIN_THREAD_ONLY(); return played_; }
    void setPlayed(bool played) { RT_MAIN_THREAD_ONLY(); played_ = played; }

private:
    bool played_;
};

class CPPlaybackSession : public rt::Object {
    RT_CLASS(CPPlaybackSession, rt::Object)
    rt::Ref<ICPMediaSource> source_;
    rt::Ref<ICPMediaPlayer> player_;
    rt::Ref<ICPPlayerFactory> playerFactory_;
    std::string playbackID_;
    CPSessionState state_ = CPSessionState::Stopped;
    rt::Ref<rt::Error> error_;
    bool contentModeScaleAspectFill_ = false;
    bool muted_ = false;
    bool autoStart_ = false;
    bool rewindOnFinish_ = false;
    rt::Ref<ICPPlaybackTracker> tracker_;

public:
    static void describe(rt::ClassBuilder<CPPlaybackSession>& c) { c.mainThreadOnly(); }
    static constexpr rt::Stored<&CPPlaybackSession::source_, "source"> sourceKey{};
    static constexpr rt::Stored<&CPPlaybackSession::player_, "player"> playerKey{};
    static constexpr rt::Stored<&CPPlaybackSession::playerFactory_, "playerFactory"> playerFactoryKey{};
    static constexpr rt::Stored<&CPPlaybackSession::playbackID_, "playbackID"> playbackIDKey{};
    static constexpr rt::Stored<&CPPlaybackSession::state_, "state"> stateKey{};
    static constexpr rt::Stored<&CPPlaybackSession::error_, "error"> errorKey{};
    static constexpr rt::Stored<&CPPlaybackSession::contentModeScaleAspectFill_, "contentModeScaleAspectFill",
                                rt::writable>
        contentModeScaleAspectFillKey{};
    static constexpr rt::Stored<&CPPlaybackSession::muted_, "muted", rt::writable> mutedKey{};
    static constexpr rt::Stored<&CPPlaybackSession::autoStart_, "autoStart", rt::writable> autoStartKey{};
    static constexpr rt::Stored<&CPPlaybackSession::rewindOnFinish_, "rewindOnFinish", rt::writable>
        rewindOnFinishKey{};
    static constexpr rt::Stored<&CPPlaybackSession::tracker_, "tracker"> trackerKey{};

    CPPlaybackSession(rt::Ref<ICPMediaSource> source, rt::Ref<ICPPlayerFactory> playerFactory);
    static rt::Ref<CPPlaybackSession> sessionWithMediaSource(rt::Ref<ICPMediaSource> source,
                                                             rt::Ref<ICPPlayerFactory> playerFactory);

    // ---- transport ----------------------------------------------------------------
    void prepareToPlay();
    void play();
    void pause();
    void seekTo(double seconds);
    void suspend();
    void resume();
    /// Lets the player go and stops; play() or prepareToPlay() make a new one. A session
    /// needs no reset before it is let go: its player (and the engine's) go with it.
    void reset();
    void startPlayer();
    /// While deferred, a realized source gets no player yet (a new one's pipeline would
    /// compete for the machine with something that must come first, a preroll ad's first
    /// picture); ending the deferral makes the player a realized source waits for.
    void setPlayerDeferred(bool deferred);
    bool playerDeferred() const { RT_MAIN_THREAD_ONLY(); return playerDeferred_; }
    void onPrerollLoading();
    void onPrerolling();
    void onMidrolling();
    void onClick();
    void onFullscreen(bool fullscreen);

    // ---- lock answers -------------------------------------------------------------
    void continueWithPassword(const std::string& password);
    void continueWithHash(const std::string& hash);
    void continueWithAgeConfirmed();
    void cancelAgeConfirmation();
    void continueWithBirthdate(const rt::Date& birthdate);
    void cancelBirthdateValidation();

    // ---- player options -----------------------------------------------------------
    void startPictureInPicture();
    void stopPictureInPicture();
    void selectSubtitle(const rt::Ref<rt::Object>& option);
    void selectAudioTrack(const rt::Ref<rt::Object>& option);

    // ---- fields -------------------------------------------------------------------
    const rt::Ref<ICPMediaSource>& source() const { RT_MAIN_THREAD_ONLY(); return source_; }
    const rt::Ref<ICPMediaPlayer>& player() const { RT_MAIN_THREAD_ONLY(); return player_; }
    const rt::Ref<ICPPlayerFactory>& playerFactory() const { RT_MAIN_THREAD_ONLY(); return playerFactory_; }
    const std::string& playbackID() const { RT_MAIN_THREAD_ONLY(); return playbackID_; }
    CPSessionState state() const { RT_MAIN_THREAD_ONLY(); return state_; }
    const rt::Ref<rt::Error>& error() const { RT_MAIN_THREAD_ONLY(); return error_; }
    const std::vector<rt::Ref<CPPlaybackSessionState>>& suspendStates() const {
        RT_MAIN_THREAD_ONLY();
        return suspendStates_;
    }
    const rt::Ref<CPPlaybackSessionTrackingAdapter>& trackingAdapter() const {
        RT_MAIN_THREAD_ONLY();
        return trackingAdapter_;
    }
    bool contentModeScaleAspectFill() const { RT_MAIN_THREAD_ONLY(); return contentModeScaleAspectFill_; }
    void setContentModeScaleAspectFill(bool v) { RT_MAIN_THREAD_ONLY(); contentModeScaleAspectFillKey.set(*this, v); }
    bool muted() const { RT_MAIN_THREAD_ONLY(); return muted_; }
    void setMuted(bool v) { RT_MAIN_THREAD_ONLY(); mutedKey.set(*this, v); }
    bool autoStart() const { RT_MAIN_THREAD_ONLY(); return autoStart_; }
    void setAutoStart(bool v) { RT_MAIN_THREAD_ONLY(); autoStartKey.set(*this, v); }
    bool rewindOnFinish() const { RT_MAIN_THREAD_ONLY(); return rewindOnFinish_; }
    void setRewindOnFinish(bool v) { RT_MAIN_THREAD_ONLY(); rewindOnFinishKey.set(*this, v); }
    /// The player's flag when there is a player, else the stored one.
    bool continuePlaybackInBackground() const;
    /// Stores the flag for the next player and passes it to the current one.
    void setContinuePlaybackInBackground(bool flag);
    const rt::Ref<ICPPlaybackTracker>& tracker() const { RT_MAIN_THREAD_ONLY(); return tracker_; }
    /// The player's error as it was when the player entered its error state, kept so
    /// the tracker hears it even when the source switches away at once.
    const rt::Ref<rt::Error>& lastPlaybackError() const { RT_MAIN_THREAD_ONLY(); return lastPlaybackError_; }

    // ---- derived from the source --------------------------------------------------
    CPMediaSourceState sourceState() const {
        RT_MAIN_THREAD_ONLY();
        return source_ ? source_->state() : CPMediaSourceState::Unrealized;
    }
    std::string title() const { RT_MAIN_THREAD_ONLY(); return source_ ? source_->title() : std::string(); }
    std::string channelTitle() const {
        RT_MAIN_THREAD_ONLY();
        return source_ ? source_->channelTitle() : std::string();
    }
    rt::Value channelThumbnails() const {
        RT_MAIN_THREAD_ONLY();
        return source_ ? source_->channelThumbnails() : rt::Value();
    }
    bool viewerCountEnabled() const { RT_MAIN_THREAD_ONLY(); return source_ && source_->viewerCountEnabled(); }
    long viewerCount() const { RT_MAIN_THREAD_ONLY(); return source_ ? source_->viewerCount() : 0; }
    long totalViewerCount() const { RT_MAIN_THREAD_ONLY(); return source_ ? source_->totalViewerCount() : 0; }
    std::string contentId() const { RT_MAIN_THREAD_ONLY(); return source_ ? source_->contentId() : std::string(); }
    std::string contentDescription() const {
        RT_MAIN_THREAD_ONLY();
        return source_ ? source_->contentDescription() : std::string();
    }
    rt::Ref<CPMediaSourceLock> lock() const { RT_MAIN_THREAD_ONLY(); return source_ ? source_->lock() : nullptr; }
    bool online() const { RT_MAIN_THREAD_ONLY(); return source_ && source_->online(); }
    rt::Value startDate() const { RT_MAIN_THREAD_ONLY(); return source_ ? source_->startDate() : rt::Value(); }
    rt::Value creationDate() const { RT_MAIN_THREAD_ONLY(); return source_ ? source_->creationDate() : rt::Value(); }
    CPMediaSourceType sourceType() const {
        RT_MAIN_THREAD_ONLY();
        return source_ ? source_->sourceType() : CPMediaSourceType::PlainURL;
    }
    rt::Value logoInfos() const { RT_MAIN_THREAD_ONLY(); return source_ ? source_->logoInfos() : rt::Value(); }

    // ---- derived from the player --------------------------------------------------
    rt::Ref<rt::Object> presentationLayer() const {
        RT_MAIN_THREAD_ONLY();
        return player_ ? player_->presentationLayer() : nullptr;
    }
    bool isAudioOnly() const { RT_MAIN_THREAD_ONLY(); return player_ && player_->isAudioOnly(); }
    bool isAirplayActive() const { RT_MAIN_THREAD_ONLY(); return player_ && player_->isAirplayActive(); }
    bool isPlaying() const { RT_MAIN_THREAD_ONLY(); return player_ && player_->isPlaying(); }
    CPVideoSize videoSize() const { RT_MAIN_THREAD_ONLY(); return player_ ? player_->videoSize() : CPVideoSize{}; }
    bool pictureInPictureAvailable() const {
        RT_MAIN_THREAD_ONLY();
        return player_ && player_->pictureInPictureAvailable();
    }
    bool pictureInPictureActive() const { RT_MAIN_THREAD_ONLY(); return player_ && player_->pictureInPictureActive(); }
    rt::Ref<rt::Object> subtitles() const { RT_MAIN_THREAD_ONLY(); return player_ ? player_->subtitles() : nullptr; }
    rt::Ref<rt::Object> selectedSubtitle() const {
        RT_MAIN_THREAD_ONLY();
        return player_ ? player_->selectedSubtitle() : nullptr;
    }
    rt::Ref<rt::Object> defaultSubtitle() const {
        RT_MAIN_THREAD_ONLY();
        return player_ ? player_->defaultSubtitle() : nullptr;
    }
    rt::Ref<rt::Object> audioTracks() const {
        RT_MAIN_THREAD_ONLY();
        return player_ ? player_->audioTracks() : nullptr;
    }
    rt::Ref<rt::Object> selectedAudioTrack() const {
        RT_MAIN_THREAD_ONLY();
        return player_ ? player_->selectedAudioTrack() : nullptr;
    }
    rt::Ref<rt::Object> defaultAudioTrack() const {
        RT_MAIN_THREAD_ONLY();
        return player_ ? player_->defaultAudioTrack() : nullptr;
    }
    double playbackTime() const { RT_MAIN_THREAD_ONLY(); return player_ ? player_->playbackTime() : 0.0; }
    rt::Ref<ICPMediaTiming> timeInfo() const { RT_MAIN_THREAD_ONLY(); return player_ ? player_->timeInfo() : nullptr; }
    double observedBitrate() const { RT_MAIN_THREAD_ONLY(); return player_ ? player_->observedBitrate() : 0.0; }
    std::int64_t numberOfBytesTransferred() const {
        RT_MAIN_THREAD_ONLY();
        return player_ ? player_->numberOfBytesTransferred() : 0;
    }

private:
    // The entries of the flag and of the derived properties, each announced with what it
    // is read from.
    using Session = CPPlaybackSession;
    static constexpr rt::Accessor<&Session::continuePlaybackInBackground, &Session::setContinuePlaybackInBackground,
                                  "continuePlaybackInBackground", "player.continuePlaybackInBackground">
        continuePlaybackInBackgroundKey{};
    static constexpr rt::Derived<&Session::sourceState, "sourceState", "source.state"> sourceStateKey{};
    static constexpr rt::Derived<&Session::title, "title", "source.title"> titleKey{};
    static constexpr rt::Derived<&Session::channelTitle, "channelTitle", "source.channelTitle"> channelTitleKey{};
    static constexpr rt::Derived<&Session::channelThumbnails, "channelThumbnails", "source.channelThumbnails">
        channelThumbnailsKey{};
    static constexpr rt::Derived<&Session::viewerCountEnabled, "viewerCountEnabled", "source.viewerCountEnabled">
        viewerCountEnabledKey{};
    static constexpr rt::Derived<&Session::viewerCount, "viewerCount", "source.viewerCount"> viewerCountKey{};
    static constexpr rt::Derived<&Session::totalViewerCount, "totalViewerCount", "source.totalViewerCount">
        totalViewerCountKey{};
    static constexpr rt::Derived<&Session::contentId, "contentId", "source.contentId"> contentIdKey{};
    static constexpr rt::Derived<&Session::contentDescription, "contentDescription", "source.contentDescription">
        contentDescriptionKey{};
    static constexpr rt::Derived<&Session::lock, "lock", "source.lock"> lockKey{};
    static constexpr rt::Derived<&Session::online, "online", "source.online"> onlineKey{};
    static constexpr rt::Derived<&Session::startDate, "startDate", "source.startDate"> startDateKey{};
    static constexpr rt::Derived<&Session::creationDate, "creationDate", "source.creationDate"> creationDateKey{};
    static constexpr rt::Derived<&Session::sourceType, "sourceType", "source.sourceType"> sourceTypeKey{};
    static constexpr rt::Derived<&Session::logoInfos, "logoInfos", "source.logoInfos"> logoInfosKey{};
    static constexpr rt::Derived<&Session::presentationLayer, "presentationLayer", "player.presentationLayer">
        presentationLayerKey{};
    static constexpr rt::Derived<&Session::isAudioOnly, "isAudioOnly", "player.isAudioOnly"> isAudioOnlyKey{};
    static constexpr rt::Derived<&Session::isAudioOnly, "audioOnly", "player.audioOnly"> audioOnlyKey{};
    static constexpr rt::Derived<&Session::isAirplayActive, "isAirplayActive", "player.isAirplayActive">
        isAirplayActiveKey{};
    static constexpr rt::Derived<&Session::isPlaying, "isPlaying", "player.isPlaying"> isPlayingKey{};
    static constexpr rt::Derived<&Session::videoSize, "videoSize", "player.videoSize"> videoSizeKey{};
    static constexpr rt::Derived<&Session::pictureInPictureAvailable, "pictureInPictureAvailable",
                                 "player.pictureInPictureAvailable">
        pictureInPictureAvailableKey{};
    static constexpr rt::Derived<&Session::pictureInPictureActive, "pictureInPictureActive",
                                 "player.pictureInPictureActive">
        pictureInPictureActiveKey{};
    static constexpr rt::Derived<&Session::subtitles, "subtitles", "player.subtitles"> subtitlesKey{};
    static constexpr rt::Derived<&Session::selectedSubtitle, "selectedSubtitle", "player.selectedSubtitle">
        selectedSubtitleKey{};
    static constexpr rt::Derived<&Session::defaultSubtitle, "defaultSubtitle", "player.defaultSubtitle">
        defaultSubtitleKey{};
    static constexpr rt::Derived<&Session::audioTracks, "audioTracks", "player.audioTracks"> audioTracksKey{};
    static constexpr rt::Derived<&Session::selectedAudioTrack, "selectedAudioTrack", "player.selectedAudioTrack">
        selectedAudioTrackKey{};
    static constexpr rt::Derived<&Session::defaultAudioTrack, "defaultAudioTrack", "player.defaultAudioTrack">
        defaultAudioTrackKey{};
    static constexpr rt::Derived<&Session::playbackTime, "playbackTime", "player.playbackTime"> playbackTimeKey{};
    static constexpr rt::Derived<&Session::timeInfo, "timeInfo", "player.timeInfo"> timeInfoKey{};
    static constexpr rt::Derived<&Session::observedBitrate, "observedBitrate", "player.observedBitrate">
        observedBitrateKey{};
    static constexpr rt::Derived<&Session::numberOfBytesTransferred, "numberOfBytesTransferred",
                                 "player.numberOfBytesTransferred">
        numberOfBytesTransferredKey{};

public:
    // ---- diagnostics --------------------------------------------------------------
    std::string stateString() const;
    std::string sourceString() const;
    std::string playerString() const;
    std::string description() const override;

protected:
    void didInitialize() override;
    void willDestroy() override;

private:
    void setPlayer(rt::Ref<ICPMediaPlayer> player);
    /// Whether a player the session still holds from an earlier realize of its source
    /// stays (a prepare, the end of a deferral) or gives way (the source realized again).
    enum class PlayerOfEarlierRealize { Keep, Replace };
    /// The factory's player for the source, unless deferred (also by a listener told
    /// that it is about to be made).
    void makePlayer(PlayerOfEarlierRealize earlier = PlayerOfEarlierRealize::Keep);
    void setState(CPSessionState state) { stateKey.set(*this, state); }
    void setError(rt::Ref<rt::Error> error) { errorKey.set(*this, std::move(error)); }
    void sourceStateChanged(long state);
    void playerStateChanged(long state);
    void playerReady();
    void playerFinished();
    void onPlaybackError();
    void handleSourceLock(const rt::Ref<CPMediaSourceLock>& lock);
    void requestAnswerForLock(const rt::Ref<CPMediaSourceLock>& lock);
    void log(const char* message);

    std::vector<rt::Ref<CPPlaybackSessionState>> suspendStates_;
    rt::Ref<CPPlaybackSessionTrackingAdapter> trackingAdapter_;
    bool continuePlaybackInBackground_ = false;
    rt::Ref<rt::Error> lastPlaybackError_;
    bool initializing_ = true;
    bool restartingSource_ = false;
    bool playerDeferred_ = false;
    std::vector<std::shared_ptr<IDisposable>> triggers_;
};

}  // namespace zid
