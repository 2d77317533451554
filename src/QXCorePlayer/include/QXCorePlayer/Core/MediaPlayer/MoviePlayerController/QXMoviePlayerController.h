#pragma once
// The movie player controller: plays one content URL through the media layer (an asset,
// an item and a queue player) and offers it as a playback state, a prepared flag, an
// error, a duration, a playback time and thirteen notifications on the default centre
// (object: the controller, no user information). Main thread only.
//
// Loading is limited to loadingTimeout seconds in the buffering state and a stall to
// stalledTimeout seconds (0 disables either); both end in the error state with codes 1
// and 2 of QXMoviePlayerControllerErrorDomain. The stall limit also holds for a position
// that stands still in the playing state while the item says it keeps up (an engine that
// hangs without reporting a stall). A failure remembers to continue from the
// stored resume position at the next preparation.
#include <QXCorePlayer/Core/MediaPlayer/IQXMoviePlayerController.h>
#include <QXCorePlayer/Core/View/QXPlayerView.h>
#include <fnd/NotificationCenter.h>
#include <fnd/RunLoop.h>
#include <media/Player.h>
#include <rt/KVO.h>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace zid {

class QXPlayerDebugConsoleView;
class QXProgressWatchdog;
class OnSignalHelper;

inline constexpr const char* QXMoviePlayerLoadStateDidChangeNotification = "QXMoviePlayerLoadStateDidChangeNotification";
inline constexpr const char* QXMoviePlayerNowPlayingMovieDidChangeNotification =
    "QXMoviePlayerNowPlayingMovieDidChangeNotification";
inline constexpr const char* QXMoviePlayerAudioOnlyModeDidChangeNotification =
    "QXMoviePlayerAudioOnlyModeDidChangeNotification";
inline constexpr const char* QXMoviePlayerAccessURIDidChangeNotification = "QXMoviePlayerAccessURIDidChangeNotification";
inline constexpr const char* QXMoviePlayerIndicatedBitrateDidChangeNotification =
    "QXMoviePlayerIndicatedBitrateDidChangeNotification";
inline constexpr const char* QXMoviePlayerObservedBitrateDidChangeNotification =
    "QXMoviePlayerObservedBitrateDidChangeNotification";
inline constexpr const char* QXMoviePlayerNumberOfBytesTransferredDidChangeNotification =
    "QXMoviePlayerNumberOfBytesTransferredDidChangeNotification";

enum class QXMoviePlayerControllerErrorCode : long long { LoadingFailed = 1, StalledTooLong = 2 };

class QXMoviePlayerController : public IQXMoviePlayerController, public QXPlayerViewRemoteControlDelegate {
    RT_CLASS(QXMoviePlayerController, IQXMoviePlayerController)
public:
    static void describe(rt::ClassBuilder<QXMoviePlayerController>& c);

    explicit QXMoviePlayerController(std::string contentURL = {}, std::string title = {}, std::string artist = {});
    ~QXMoviePlayerController() override;

    /// Installs this class as the controller every media player makes (what media
    /// players use anyway when no other maker is set).
    static void installAsMoviePlayerController();

    /// "tracks", "playable", "duration", "availableMediaCharacteristicsWithMediaSelectionOptions".
    static const std::vector<std::string>& asynchronousLoadingKeys();

    // ---- loading and playback states ------------------------------------------------
    void setContentURL(const std::string& url) override;
    std::string contentURL() const override { return contentURL_; }
    void prepareToPlay() override;
    void play() override;
    void pause() override;
    void stop() override;

    QXMoviePlaybackState playbackState() const override { return playbackState_; }
    /// Does nothing when the state is unchanged.
    void setPlaybackState(QXMoviePlaybackState state);
    /// Changes the state (timeouts, notification) even when it is unchanged.
    void directSetPlaybackState(QXMoviePlaybackState state);
    long loadState() const { return loadState_; }
    void setLoadState(long state);
    bool isPreparing() const { return preparing_; }
    bool isPreparedToPlay() const override { return preparedToPlay_; }
    void setPreparedToPlay(bool prepared);
    rt::Ref<rt::Error> error() const override { return error_; }
    void failedWithError(const rt::Ref<rt::Error>& error);
    double loadingTimeout() const override { return loadingTimeout_; }
    void setLoadingTimeout(double seconds) override;
    double stalledTimeout() const { return stalledTimeout_; }
    void setStalledTimeout(double seconds);
    bool shouldAutoplay() const override { return shouldAutoplay_; }
    void setShouldAutoplay(bool autoplay) override;
    bool resumeFromLastPosition() const { return resumeFromLastPosition_; }
    void setResumeFromLastPosition(bool resume);
    const rt::Ref<media::Player>& player() const { return player_; }
    const rt::Ref<media::PlayerItem>& playerItem() const { return playerItem_; }
    const rt::Ref<media::Asset>& asset() const { return asset_; }
    /// The asset whose keys are loading for the running preparation, or nullptr.
    const rt::Ref<media::Asset>& loadingAsset() const { return loadingAsset_; }

    // ---- time, seeking and statistics ----------------------------------------------
    double duration() const override { return duration_; }
    /// Stores and posts the duration notification, changed or not.
    void setDuration(double seconds);
    /// The player's time (a seek's target until the seek is answered, then where it
    /// landed); before playback, the initial playback time.
    double currentPlaybackTime() const override;
    /// Seeks the player at once; a seek asked while another is in flight replaces it
    /// (the player and its engine keep only the newest). Announces "currentPlaybackTime"
    /// when the seek is answered, so observers read where it landed.
    void setCurrentPlaybackTime(double seconds) override;
    double initialPlaybackTime() const { return initialPlaybackTime_; }
    void setInitialPlaybackTime(double seconds) override;
    double endPlaybackTime() const { return endPlaybackTime_; }
    void setEndPlaybackTime(double seconds) override;
    media::TimeRange loadedTimeRange() const { return loadedTimeRange_; }
    double loadedStartTime() const { return loadedTimeRange_.startSeconds(); }
    double loadedDuration() const { return loadedTimeRange_.durationSeconds(); }
    /// Seconds of media loaded ahead of the playing position: the end of the current item's
    /// loaded range that holds its current time, less that time. Both come from the item at
    /// the same moment, so they share its time base (stream times for a live stream, whose
    /// window does not start at zero). 0 without an item, or when no loaded range holds the
    /// position; never negative.
    double bufferedDuration() const;
    const std::string& accessURI() const { return accessURI_; }
    double indicatedBitrate() const { return indicatedBitrate_; }
    double observedBitrate() const override { return observedBitrate_; }
    std::int64_t numberOfDroppedVideoFrames() const { return droppedFrames_; }
    std::int64_t numberOfBytesTransferred() const override { return bytesTransferred_; }

    // ---- view, media selection and presentation -------------------------------------
    const rt::Ref<QXPlayerView>& playerView() const { return playerView_; }
    rt::Ref<rt::Object> view() const override { return playerView_; }
    const rt::Ref<QXPlayerDebugConsoleView>& debugConsoleView() const { return debugConsole_; }
    const std::string& title() const { return title_; }
    void setTitle(const std::string& title) override;
    const std::string& artist() const { return artist_; }
    void setArtist(const std::string& artist);
    const rt::Dictionary& playingInfo() const { return playingInfo_; }
    long scalingMode() const override { return scalingMode_; }
    void setScalingMode(long mode) override;
    bool allowsAirPlay() const { return allowsAirPlay_; }
    void setAllowsAirPlay(bool allows) override;
    bool isAirPlayVideoActive() const override { return airPlayVideoActive_; }
    void setAirPlayVideoActive(bool active);
    bool muted() const override { return muted_; }
    void setMuted(bool muted) override;
    bool continuePlaybackInBackground() const override { return background_; }
    void setContinuePlaybackInBackground(bool flag) override;
    bool isActive() const { return active_; }
    void setActive(bool active) override;
    bool shouldAutoswitchToExternalScreen() const { return autoswitch_; }
    void setShouldAutoswitchToExternalScreen(bool flag);
    bool isAudioOnly() const override { return audioOnly_; }
    void setAudioOnly(bool audioOnly);
    bool currentStreamIsAudioOnly() const;
    CPVideoSize videoSize() const override { return videoSize_; }
    bool isPictureInPictureAvailable() const override { return false; }
    bool isPictureInPictureActive() const override { return false; }
    void startPictureInPicture() override {}
    void stopPictureInPicture() override {}

    rt::Ref<rt::Object> subtitles() const override { return subtitles_; }
    rt::Ref<rt::Object> defaultSubtitle() const override { return defaultSubtitle_; }
    rt::Ref<rt::Object> selectedSubtitle() const override { return selectedSubtitle_; }
    rt::Ref<rt::Object> audioTracks() const override { return audioTracks_; }
    rt::Ref<rt::Object> defaultAudioTrack() const override { return defaultAudioTrack_; }
    rt::Ref<rt::Object> selectedAudioTrack() const override { return selectedAudioTrack_; }
    void selectSubtitle(const rt::Ref<rt::Object>& option) override;
    void selectAudioTrack(const rt::Ref<rt::Object>& option) override;
    void listSubtitles();
    void listAudioTracks();

    void showDebugConsole() override;
    void hideDebugConsole() override;
    void toggleDebugConsole();
    void setDebugConsoleValue(const rt::Value& value, const std::string& key);

    void playerViewDidReceiveRemoteControlEvent(QXPlayerView& view, const media::RemoteControlEvent& event) override;

protected:
    void didInitialize() override;
    void willDestroy() override;

private:
    void post(const char* name);
    void prepareToPlayAsset(const rt::Ref<media::Asset>& asset, unsigned generation);
    void cancelLoading();
    void cleanupPlayer();
    void setPlayer(const rt::Ref<media::Player>& player);
    void setPlayerItem(const rt::Ref<media::PlayerItem>& item);
    void watchProgress(bool playing);
    void startTimeObserver();
    void removeTimeObserver();
    void timeObserverTick(media::Time time);
    void setupBindings();
    void bindPlayerView();
    void itemStatusChanged(media::PlayerItemStatus status);
    void itemLikelyToKeepUpChanged(bool likely);
    void rateChanged(float rate);
    void presentationSizeChanged();
    void storeResumePosition(media::Time time);
    void setAccessURI(const std::string& uri);
    void setIndicatedBitrate(double v);
    void setObservedBitrate(double v);
    void setNumberOfBytesTransferred(std::int64_t v);
    void setSelection(const char* key, rt::Ref<rt::Object>& field, rt::Ref<rt::Object> value);

    static constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

    std::string contentURL_;
    std::string title_, artist_;
    rt::Dictionary playingInfo_;
    QXMoviePlaybackState playbackState_ = QXMoviePlaybackState::Stopped;
    long loadState_ = 0;
    bool preparing_ = false;
    bool preparedToPlay_ = false;
    rt::Ref<rt::Error> error_;
    double duration_ = 0;
    CPVideoSize videoSize_;
    std::optional<media::Size> sizeTold_;
    media::TimeRange loadedTimeRange_{media::Time::zero(), media::Time::zero()};
    bool audioOnly_ = false;
    bool airPlayVideoActive_ = false;
    double initialPlaybackTime_ = kNaN;
    double endPlaybackTime_ = kNaN;
    double loadingTimeout_ = 10.0;
    double stalledTimeout_ = 20.0;
    bool shouldAutoplay_ = true;
    bool autoswitch_ = false;
    bool allowsAirPlay_ = true;
    bool background_ = false;
    bool resumeFromLastPosition_ = false;
    bool active_ = false;
    bool muted_ = false;
    long scalingMode_ = 0;
    std::string accessURI_;
    bool accessURISet_ = false;
    double indicatedBitrate_ = 0, observedBitrate_ = 0;
    std::int64_t droppedFrames_ = 0, bytesTransferred_ = 0;
    rt::Ref<rt::Object> subtitles_, defaultSubtitle_, selectedSubtitle_;
    rt::Ref<rt::Object> audioTracks_, defaultAudioTrack_, selectedAudioTrack_;
    rt::Ref<media::MediaSelectionGroup> subtitleGroup_, audioGroup_;

    rt::Ref<media::Player> player_;
    rt::Ref<media::PlayerItem> playerItem_;
    rt::Ref<media::Asset> asset_;
    rt::Ref<media::Asset> loadingAsset_;
    unsigned loadGeneration_ = 0;
    rt::Ref<media::TimeObserverToken> timeObserver_;
    rt::Ref<fnd::Timer> bufferingTimer_, stalledTimer_;
    std::unique_ptr<QXProgressWatchdog> progressWatchdog_;
    rt::Ref<QXPlayerView> playerView_;
    rt::Ref<QXPlayerDebugConsoleView> debugConsole_;
    std::vector<rt::Ref<rt::Observation>> observations_;
    std::vector<rt::Ref<OnSignalHelper>> triggers_;
    rt::Ref<rt::Observation> viewBinding_;
    std::vector<rt::Ref<fnd::NotificationObserver>> notificationTokens_;
    std::vector<rt::Ref<fnd::NotificationObserver>> itemTokens_;
    rt::Ref<fnd::NotificationObserver> selectionGroupsToken_;
};

}  // namespace zid
