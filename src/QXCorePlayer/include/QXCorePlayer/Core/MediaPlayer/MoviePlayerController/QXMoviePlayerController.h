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
#include <rt/Property.h>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace zid {

class QXAssetLoader;
class QXDebugConsolePresenter;
class QXMediaSelectionList;
class QXPlaybackLimits;
class QXPlayerViewAttachment;
class QXStreamStatistics;
class QXPlayerDebugConsoleView;
class OnSignalHelper;

inline constexpr const char* QXMoviePlayerLoadStateDidChangeNotification =
    "QXMoviePlayerLoadStateDidChangeNotification";
inline constexpr const char* QXMoviePlayerNowPlayingMovieDidChangeNotification =
    "QXMoviePlayerNowPlayingMovieDidChangeNotification";
inline constexpr const char* QXMoviePlayerAudioOnlyModeDidChangeNotification =
    "QXMoviePlayerAudioOnlyModeDidChangeNotification";
inline constexpr const char* QXMoviePlayerAccessURIDidChangeNotification =
    "QXMoviePlayerAccessURIDidChangeNotification";
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

    QXMoviePlaybackState playbackState() const override { return playback_.state; }
    /// Does nothing when the state is unchanged.
    void setPlaybackState(QXMoviePlaybackState state);
    /// Changes the state (timeouts, notification) even when it is unchanged.
    void directSetPlaybackState(QXMoviePlaybackState state);
    long loadState() const { return playback_.loadState; }
    void setLoadState(long state);
    bool isPreparing() const { return playback_.preparing; }
    bool isPreparedToPlay() const override { return playback_.preparedToPlay; }
    void setPreparedToPlay(bool prepared);
    rt::Ref<rt::Error> error() const override { return playback_.error; }
    void failedWithError(const rt::Ref<rt::Error>& error);
    double loadingTimeout() const override { return settings_.loadingTimeout; }
    void setLoadingTimeout(double seconds) override;
    double stalledTimeout() const { return settings_.stalledTimeout; }
    void setStalledTimeout(double seconds);
    bool shouldAutoplay() const override { return settings_.shouldAutoplay; }
    void setShouldAutoplay(bool autoplay) override;
    bool resumeFromLastPosition() const { return settings_.resumeFromLastPosition; }
    void setResumeFromLastPosition(bool resume);
    rt::Ref<media::Player> player() const { return media_.player; }
    rt::Ref<media::PlayerItem> playerItem() const { return media_.item; }
    rt::Ref<media::Asset> asset() const { return media_.asset; }
    /// The asset whose keys are loading for the running preparation, or nullptr.
    const rt::Ref<media::Asset>& loadingAsset() const;

    // ---- time, seeking and statistics ----------------------------------------------
    double duration() const override { return times_.duration; }
    /// Stores and posts the duration notification, changed or not.
    void setDuration(double seconds);
    /// The player's time (a seek's target until the seek is answered, then where it
    /// landed); before playback, the initial playback time.
    double currentPlaybackTime() const override;
    /// Seeks the player at once; a seek asked while another is in flight replaces it
    /// (the player and its engine keep only the newest). Announces "currentPlaybackTime"
    /// when the seek is answered, so observers read where it landed.
    void setCurrentPlaybackTime(double seconds) override;
    double initialPlaybackTime() const { return times_.initial; }
    void setInitialPlaybackTime(double seconds) override;
    double endPlaybackTime() const { return times_.end; }
    void setEndPlaybackTime(double seconds) override;
    media::TimeRange loadedTimeRange() const { return times_.loaded; }
    double loadedStartTime() const { return times_.loaded.startSeconds(); }
    double loadedDuration() const { return times_.loaded.durationSeconds(); }
    /// Seconds of media loaded ahead of the playing position: the end of the current item's
    /// loaded range that holds its current time, less that time. Both come from the item at
    /// the same moment, so they share its time base (stream times for a live stream, whose
    /// window does not start at zero). 0 without an item, or when no loaded range holds the
    /// position; never negative.
    double bufferedDuration() const;
    std::string accessURI() const;
    double indicatedBitrate() const;
    double observedBitrate() const override;
    std::int64_t numberOfDroppedVideoFrames() const;
    std::int64_t numberOfBytesTransferred() const override;

    // ---- view, media selection and presentation -------------------------------------
    rt::Ref<QXPlayerView> playerView() const { return playerView_; }
    rt::Ref<rt::Object> view() const override { return playerView_; }
    const rt::Ref<QXPlayerDebugConsoleView>& debugConsoleView() const;
    std::string title() const { return presentation_.title; }
    void setTitle(const std::string& title) override;
    std::string artist() const { return presentation_.artist; }
    void setArtist(const std::string& artist);
    const rt::Dictionary& playingInfo() const { return presentation_.playingInfo; }
    long scalingMode() const override { return settings_.scalingMode; }
    void setScalingMode(long mode) override;
    bool allowsAirPlay() const { return settings_.allowsAirPlay; }
    void setAllowsAirPlay(bool allows) override;
    bool isAirPlayVideoActive() const override { return presentation_.airPlayVideoActive; }
    void setAirPlayVideoActive(bool active);
    bool muted() const override { return settings_.muted; }
    void setMuted(bool muted) override;
    bool continuePlaybackInBackground() const override { return settings_.background; }
    void setContinuePlaybackInBackground(bool flag) override;
    bool isActive() const { return settings_.active; }
    void setActive(bool active) override;
    bool shouldAutoswitchToExternalScreen() const { return settings_.autoswitch; }
    void setShouldAutoswitchToExternalScreen(bool flag);
    bool isAudioOnly() const override { return presentation_.audioOnly; }
    void setAudioOnly(bool audioOnly);
    bool currentStreamIsAudioOnly() const;
    CPVideoSize videoSize() const override { return presentation_.videoSize; }
    bool isPictureInPictureAvailable() const override { return false; }
    bool isPictureInPictureActive() const override { return false; }
    void startPictureInPicture() override {}
    void stopPictureInPicture() override {}

    rt::Ref<rt::Object> subtitles() const override;
    rt::Ref<rt::Object> defaultSubtitle() const override;
    rt::Ref<rt::Object> selectedSubtitle() const override;
    rt::Ref<rt::Object> audioTracks() const override;
    rt::Ref<rt::Object> defaultAudioTrack() const override;
    rt::Ref<rt::Object> selectedAudioTrack() const override;
    void selectSubtitle(const rt::Ref<rt::Object>& option) override;
    void selectAudioTrack(const rt::Ref<rt::Object>& option) override;
    void listSubtitles();
    void listAudioTracks();

    void showDebugConsole() override;
    void hideDebugConsole() override;
    void toggleDebugConsole();
    void setDebugConsoleValue(const rt::Value& value, const std::string& key);

    void playerViewDidReceiveRemoteControlEvent(QXPlayerView& view, const media::RemoteControlEvent& event) override;

    // ---- properties by name (read here; those a host writes, through their setters) -----
    using Self = QXMoviePlayerController;
    static constexpr rt::Derived<&Self::player, "player"> playerKey{};
    static constexpr rt::Derived<&Self::playerItem, "playerItem"> playerItemKey{};
    static constexpr rt::Derived<&Self::asset, "asset"> assetKey{};
    static constexpr rt::Derived<&Self::playerView, "playerView"> playerViewKey{};
    static constexpr rt::Derived<&Self::accessURI, "accessURI"> accessURIKey{};
    static constexpr rt::Accessor<&Self::title, &Self::setTitle, "title"> titleKey{};
    static constexpr rt::Accessor<&Self::artist, &Self::setArtist, "artist"> artistKey{};
    static constexpr rt::Derived<&Self::contentURL, "contentURL"> contentURLKey{};
    static constexpr rt::Derived<&Self::loadState, "loadState"> loadStateKey{};
    static constexpr rt::Derived<&Self::isPreparing, "preparing"> preparingKey{};
    static constexpr rt::Derived<&Self::isPreparedToPlay, "preparedToPlay"> preparedToPlayKey{};
    static constexpr rt::Derived<&Self::error, "error"> errorKey{};
    static constexpr rt::Derived<&Self::duration, "duration"> durationKey{};
    static constexpr rt::Derived<&Self::loadedTimeRange, "loadedTimeRange"> loadedTimeRangeKey{};
    static constexpr rt::Derived<&Self::indicatedBitrate, "indicatedBitrate"> indicatedBitrateKey{};
    static constexpr rt::Derived<&Self::numberOfDroppedVideoFrames, "numberOfDroppedVideoFrames">
        numberOfDroppedVideoFramesKey{};
    static constexpr rt::Derived<&Self::isAirPlayVideoActive, "airPlayVideoActive"> airPlayVideoActiveKey{};
    static constexpr rt::Accessor<&Self::initialPlaybackTime, &Self::setInitialPlaybackTime, "initialPlaybackTime">
        initialPlaybackTimeKey{};
    static constexpr rt::Accessor<&Self::endPlaybackTime, &Self::setEndPlaybackTime, "endPlaybackTime">
        endPlaybackTimeKey{};
    static constexpr rt::Accessor<&Self::currentPlaybackTime, &Self::setCurrentPlaybackTime, "currentPlaybackTime">
        currentPlaybackTimeKey{};
    static constexpr rt::Accessor<&Self::stalledTimeout, &Self::setStalledTimeout, "stalledTimeout">
        stalledTimeoutKey{};
    static constexpr rt::Accessor<&Self::shouldAutoplay, &Self::setShouldAutoplay, "shouldAutoplay">
        shouldAutoplayKey{};
    static constexpr rt::Accessor<&Self::resumeFromLastPosition, &Self::setResumeFromLastPosition,
                                  "resumeFromLastPosition">
        resumeFromLastPositionKey{};
    static constexpr rt::Accessor<&Self::scalingMode, &Self::setScalingMode, "scalingMode"> scalingModeKey{};
    static constexpr rt::Accessor<&Self::allowsAirPlay, &Self::setAllowsAirPlay, "allowsAirPlay"> allowsAirPlayKey{};
    static constexpr rt::Accessor<&Self::isActive, &Self::setActive, "active"> activeKey{};
    static constexpr rt::Accessor<&Self::shouldAutoswitchToExternalScreen, &Self::setShouldAutoswitchToExternalScreen,
                                  "shouldAutoswitchToExternalScreen">
        shouldAutoswitchToExternalScreenKey{};

protected:
    void didInitialize() override;
    void willDestroy() override;

private:
    /// Where the controller stands in loading and playing.
    struct Playback {
        QXMoviePlaybackState state = QXMoviePlaybackState::Stopped;
        long loadState = 0;
        bool preparing = false;
        bool preparedToPlay = false;
        rt::Ref<rt::Error> error;
    };
    /// The content's times in seconds (NaN for none).
    struct Times {
        double duration = 0;
        double initial = std::numeric_limits<double>::quiet_NaN();
        double end = std::numeric_limits<double>::quiet_NaN();
        media::TimeRange loaded{media::Time::zero(), media::Time::zero()};
    };
    /// What the host chooses.
    struct Settings {
        double loadingTimeout = 10.0;
        double stalledTimeout = 20.0;
        bool shouldAutoplay = true;
        bool resumeFromLastPosition = false;
        bool autoswitch = false;
        bool allowsAirPlay = true;
        bool background = false;
        bool active = false;
        bool muted = false;
        long scalingMode = 0;
    };
    /// What is shown of the content: the now-playing facts and the picture.
    struct Presentation {
        std::string title, artist;
        rt::Dictionary playingInfo;
        CPVideoSize videoSize;
        std::optional<media::Size> sizeTold;  ///< the last size told, none before the first
        bool audioOnly = false;
        bool airPlayVideoActive = false;
    };
    /// The media layer's objects of the current preparation.
    struct MediaLayer {
        rt::Ref<media::Player> player;
        rt::Ref<media::PlayerItem> item;
        rt::Ref<media::Asset> asset;
        rt::Ref<media::TimeObserverToken> timeObserver;
    };
    /// What the controller listens to; all of it ends when the controller goes.
    struct Listening {
        std::vector<rt::Ref<rt::Observation>> observations;
        std::vector<rt::Ref<OnSignalHelper>> triggers;
        std::vector<rt::Ref<fnd::NotificationObserver>> itemTokens;
        rt::Ref<fnd::NotificationObserver> selectionGroupsToken;
    };

    rt::Ref<media::PlayerItem> currentItem() const;
    void post(const char* name);
    /// Observes the notification from object for as long as the controller lives.
    rt::Ref<fnd::NotificationObserver> listen(const char* name, const rt::Ref<rt::Object>& object,
                                              void (*handler)(QXMoviePlayerController&));
    void prepareToPlayAsset(const rt::Ref<media::Asset>& asset);
    void cleanupPlayer();
    void setPlayer(const rt::Ref<media::Player>& player);
    void setPlayerItem(const rt::Ref<media::PlayerItem>& item);
    void startTimeObserver();
    void removeTimeObserver();
    void timeObserverTick(media::Time time);
    void setupBindings();
    void itemStatusChanged(media::PlayerItemStatus status);
    void itemLikelyToKeepUpChanged(bool likely);
    void rateChanged(float rate);
    void presentationSizeChanged();
    void storeResumePosition(media::Time time);
    /// Seeks the player to the initial playback time, once: the time is cleared.
    void seekToInitialPlaybackTime();

    std::string contentURL_;
    Playback playback_;
    Times times_;
    Settings settings_;
    Presentation presentation_;
    std::unique_ptr<QXStreamStatistics> statistics_;
    MediaLayer media_;
    Listening listening_;
    std::unique_ptr<QXPlaybackLimits> limits_;
    std::unique_ptr<QXMediaSelectionList> subtitles_, audioTracks_;
    std::unique_ptr<QXDebugConsolePresenter> debugConsole_;
    std::unique_ptr<QXAssetLoader> loader_;
    std::unique_ptr<QXPlayerViewAttachment> viewAttachment_;
    rt::Ref<QXPlayerView> playerView_;
};

}  // namespace zid
