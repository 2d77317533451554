#pragma once
// The one object a host needs: configured once per process with the service's API key,
// made per player, it gives the host a view to embed, plays a live channel, a recorded
// video or a stream URL, forwards transport calls and unlock answers, and publishes what
// it plays through typed read-only keys and its delegate. Main thread only.
//
//   QXQuorvexPlayer::configureWithApiKey("key");
//   auto player = QXQuorvexPlayer::player();
//   window->addSubview(player->view());
//   player->playChannel("channel-id");
//
// A host includes <Zidoredider/Player.h>, which brings this header with the toolbar
// items and the views a host places; this header alone declares them only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QXSDKPlayer/Common/QXMediaDescriptor.h>
#include <QXSDKPlayer/Common/QXMediaSelectionOption.h>
#include <QXSDKPlayer/Common/QXMediaServerSettings.h>
#include <QXSDKPlayer/Common/QXPlayerDelegate.h>
#include <QXSDKPlayer/Common/QXSubtitle.h>
#include <rt/Error.h>
#include <rt/KVC.h>
#include <rt/Key.h>

namespace fnd {
class Timer;
}
namespace ui {
class View;
class ViewController;
}  // namespace ui

namespace zid {

class CPAirplayToolbarItem;
class CPContentDurationToolbarItem;
class CPContentTitleToolbarItem;
class CPPictureInPictureToolbarItem;
class CPPlayButtonToolbarItem;
class CPPlaybackSession;
class CPPlaybackSliderToolbarItem;
class CPPlaybackTimeLabelToolbarItem;
class CPPlayerFactory;
class CPPlayerView;
class CPStartedDateToolbarItem;
class CPTimePerDurationToolbarItem;
class CPToolbarPlaybackControl;
class CPViewerCountToolbarItem;
class ICPMediaSource;
class ICPPlaybackControlFactory;
class QXButtonToolbarItem;
class QXIMAPlayer;
class QXImageToolbarItem;
class QXQuorvexPlayerAdManager;
class QXQuorvexPlayerInternals;
class QXQuorvexPlayerListener;
class QXToolbar;
class SDKVexaFactory;

/// The configured API key; none until configureWithApiKey. Every facade (and
/// prebuffering controller) takes the key current when it is made.
extern std::optional<std::string> QXQuorvexPlayerApiKey;
/// Names of the exceptions the facade raises for a caller's programming errors.
extern const char* const QXQuorvexPlayerConfigurationError;
extern const char* const QXQuorvexPlayerParameterError;
/// The domain of the facade's errors (codes in QXQuorvexPlayerErrorCode).
extern const char* const QXQuorvexPlayerErrorDomain;
/// The ad request's placement parameter: "placement", "preroll", "midroll".
extern const char* const QXQuorvexPlayerAdPlacementKey;
extern const char* const QXQuorvexPlayerAdPlacementValuePreroll;
extern const char* const QXQuorvexPlayerAdPlacementValueMidroll;

/// The codes of QXQuorvexPlayerErrorDomain: compare with `QXQuorvexPlayer::errorCode()`.
enum class QXQuorvexPlayerErrorCode : long {
    Unknown = 0,
    LoadingFailed = 1,
    Stalled = 2,
    Offline = 3,
    Unsupported = 4,
    Deleted = 5,
    Nonexistent = 6,
    StreamAccessRefused = 7,
    ApiKeyRejected = 8,
    AgeRefused = 9,
    AgeConfirmationCancelled = 10,
};

/// The folded session state the facade publishes (a finished recording reads Stopped).
enum class QXPlayerState : unsigned long {
    Stopped = 0,
    Loading = 1,
    Waiting = 2,
    Ready = 3,
    Playing = 4,
    Paused = 5,
    Failed = 6,
};

/// Which control the player view shows.
enum class QXPlayerControlStyle : unsigned long { None = 0, CustomToolbar = 1, Default = 2 };

/// What a stream URL given to playURL carries.
enum class QXStreamKind { Recorded, Live };

class QXQuorvexPlayer : public rt::Object {
    RT_CLASS(QXQuorvexPlayer, rt::Object)
private:
    rt::Ref<CPPlaybackSession> session_;
    rt::Ref<CPPlayerFactory> playerFactory_;
    rt::Ref<rt::Error> error_;
    double loadingTimeout_ = 10.0;
    QXPlayerControlStyle playerControlStyle_ = QXPlayerControlStyle::Default;
    bool muted_ = false;
    bool continuePlaybackInBackground_ = false;
    bool adsDisabled_ = false;
    bool playingAd_ = false;
    std::string contentTitle_;
    bool isLive_ = false;
    bool readyForDisplay_ = false;
    bool enableLogging_ = false;
    rt::Ref<ICPPlaybackControlFactory> playbackControlFactory_;
    rt::Ref<CPToolbarPlaybackControl> customToolbarPlaybackControl_;
    rt::Ref<QXMediaDescriptor> mediaDescriptor_;
    std::vector<rt::Ref<QXSubtitle>> subtitles_;
    rt::Ref<QXSubtitle> defaultSubtitle_, selectedSubtitle_;
    std::vector<rt::Ref<QXMediaSelectionOption>> legibleMediaSelectionOptions_;
    rt::Ref<QXMediaSelectionOption> defaultLegibleMediaSelectionOption_, selectedLegibleMediaSelectionOption_;
    std::vector<rt::Ref<QXMediaSelectionOption>> audibleMediaSelectionOptions_;
    rt::Ref<QXMediaSelectionOption> defaultAudibleMediaSelectionOption_, selectedAudibleMediaSelectionOption_;

    // The writing keys of the stored properties a host only reads.
    static constexpr rt::Key<QXQuorvexPlayer, rt::Ref<CPPlaybackSession>> sessionStore{"session",
                                                                                       &QXQuorvexPlayer::session_};
    static constexpr rt::Key<QXQuorvexPlayer, rt::Ref<CPPlayerFactory>> playerFactoryStore{
        "playerFactory", &QXQuorvexPlayer::playerFactory_};
    static constexpr rt::Key<QXQuorvexPlayer, rt::Ref<rt::Error>> errorStore{"error", &QXQuorvexPlayer::error_};
    static constexpr rt::Key<QXQuorvexPlayer, bool> playingAdStore{"playingAd", &QXQuorvexPlayer::playingAd_};
    static constexpr rt::Key<QXQuorvexPlayer, std::string> contentTitleStore{"contentTitle",
                                                                             &QXQuorvexPlayer::contentTitle_};
    static constexpr rt::Key<QXQuorvexPlayer, bool> isLiveStore{"isLive", &QXQuorvexPlayer::isLive_};
    static constexpr rt::Key<QXQuorvexPlayer, bool> readyForDisplayStore{"readyForDisplay",
                                                                         &QXQuorvexPlayer::readyForDisplay_};
    static constexpr rt::Key<QXQuorvexPlayer, rt::Ref<ICPPlaybackControlFactory>> playbackControlFactoryStore{
        "playbackControlFactory", &QXQuorvexPlayer::playbackControlFactory_};
    static constexpr rt::Key<QXQuorvexPlayer, rt::Ref<CPToolbarPlaybackControl>> customToolbarPlaybackControlStore{
        "customToolbarPlaybackControl", &QXQuorvexPlayer::customToolbarPlaybackControl_};
    static constexpr rt::Key<QXQuorvexPlayer, rt::Ref<QXMediaDescriptor>> mediaDescriptorStore{
        "mediaDescriptor", &QXQuorvexPlayer::mediaDescriptor_};
    static constexpr rt::Key<QXQuorvexPlayer, std::vector<rt::Ref<QXSubtitle>>> subtitlesStore{
        "subtitles", &QXQuorvexPlayer::subtitles_};
    static constexpr rt::Key<QXQuorvexPlayer, rt::Ref<QXSubtitle>> defaultSubtitleStore{
        "defaultSubtitle", &QXQuorvexPlayer::defaultSubtitle_};
    static constexpr rt::Key<QXQuorvexPlayer, rt::Ref<QXSubtitle>> selectedSubtitleStore{
        "selectedSubtitle", &QXQuorvexPlayer::selectedSubtitle_};
    static constexpr rt::Key<QXQuorvexPlayer, std::vector<rt::Ref<QXMediaSelectionOption>>>
        legibleMediaSelectionOptionsStore{"legibleMediaSelectionOptions",
                                          &QXQuorvexPlayer::legibleMediaSelectionOptions_};
    static constexpr rt::Key<QXQuorvexPlayer, rt::Ref<QXMediaSelectionOption>> defaultLegibleMediaSelectionOptionStore{
        "defaultLegibleMediaSelectionOption", &QXQuorvexPlayer::defaultLegibleMediaSelectionOption_};
    static constexpr rt::Key<QXQuorvexPlayer, rt::Ref<QXMediaSelectionOption>> selectedLegibleMediaSelectionOptionStore{
        "selectedLegibleMediaSelectionOption", &QXQuorvexPlayer::selectedLegibleMediaSelectionOption_};
    static constexpr rt::Key<QXQuorvexPlayer, std::vector<rt::Ref<QXMediaSelectionOption>>>
        audibleMediaSelectionOptionsStore{"audibleMediaSelectionOptions",
                                          &QXQuorvexPlayer::audibleMediaSelectionOptions_};
    static constexpr rt::Key<QXQuorvexPlayer, rt::Ref<QXMediaSelectionOption>> defaultAudibleMediaSelectionOptionStore{
        "defaultAudibleMediaSelectionOption", &QXQuorvexPlayer::defaultAudibleMediaSelectionOption_};
    static constexpr rt::Key<QXQuorvexPlayer, rt::Ref<QXMediaSelectionOption>> selectedAudibleMediaSelectionOptionStore{
        "selectedAudibleMediaSelectionOption", &QXQuorvexPlayer::selectedAudibleMediaSelectionOption_};

public:
    // ---- typed keys ----------------------------------------------------------------------
    // Observe with rt::observe(player, QXQuorvexPlayer::playerStateKey, owner,
    //                          [](Owner& o, QXPlayerState old, QXPlayerState now) { ... });
    // Keys a host may write:
    static constexpr rt::Key<QXQuorvexPlayer, double> loadingTimeoutKey{"loadingTimeout",
                                                                        &QXQuorvexPlayer::loadingTimeout_};
    static constexpr rt::Key<QXQuorvexPlayer, QXPlayerControlStyle> playerControlStyleKey{
        "playerControlStyle", &QXQuorvexPlayer::playerControlStyle_};
    static constexpr rt::Key<QXQuorvexPlayer, bool> mutedKey{"muted", &QXQuorvexPlayer::muted_};
    static constexpr rt::Key<QXQuorvexPlayer, bool> continuePlaybackInBackgroundKey{
        "continuePlaybackInBackground", &QXQuorvexPlayer::continuePlaybackInBackground_};
    static constexpr rt::Key<QXQuorvexPlayer, bool> adsDisabledKey{"adsDisabled", &QXQuorvexPlayer::adsDisabled_};
    static constexpr rt::Key<QXQuorvexPlayer, bool> enableLoggingKey{"enableLogging", &QXQuorvexPlayer::enableLogging_};
    // Read-only keys, stored by the facade:
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Ref<rt::Error>> errorKey{errorStore};
    static constexpr rt::ReadKey<QXQuorvexPlayer, bool> playingAdKey{playingAdStore};
    static constexpr rt::ReadKey<QXQuorvexPlayer, std::string> contentTitleKey{contentTitleStore};
    static constexpr rt::ReadKey<QXQuorvexPlayer, bool> isLiveKey{isLiveStore};
    /// YES once the current session's first picture is on screen (NO again for a new session).
    static constexpr rt::ReadKey<QXQuorvexPlayer, bool> readyForDisplayKey{readyForDisplayStore};
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Ref<QXMediaDescriptor>> mediaDescriptorKey{mediaDescriptorStore};
    static constexpr rt::ReadKey<QXQuorvexPlayer, std::vector<rt::Ref<QXSubtitle>>> subtitlesKey{subtitlesStore};
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Ref<QXSubtitle>> defaultSubtitleKey{defaultSubtitleStore};
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Ref<QXSubtitle>> selectedSubtitleKey{selectedSubtitleStore};
    static constexpr rt::ReadKey<QXQuorvexPlayer, std::vector<rt::Ref<QXMediaSelectionOption>>>
        legibleMediaSelectionOptionsKey{legibleMediaSelectionOptionsStore};
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Ref<QXMediaSelectionOption>>
        defaultLegibleMediaSelectionOptionKey{defaultLegibleMediaSelectionOptionStore};
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Ref<QXMediaSelectionOption>>
        selectedLegibleMediaSelectionOptionKey{selectedLegibleMediaSelectionOptionStore};
    static constexpr rt::ReadKey<QXQuorvexPlayer, std::vector<rt::Ref<QXMediaSelectionOption>>>
        audibleMediaSelectionOptionsKey{audibleMediaSelectionOptionsStore};
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Ref<QXMediaSelectionOption>>
        defaultAudibleMediaSelectionOptionKey{defaultAudibleMediaSelectionOptionStore};
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Ref<QXMediaSelectionOption>>
        selectedAudibleMediaSelectionOptionKey{selectedAudibleMediaSelectionOptionStore};

    // ---- configuration and creation ----------------------------------------------------
    /// Stores the key for every facade made from now on; none raises
    /// QXQuorvexPlayerParameterError and keeps the earlier key. Also does the process's
    /// one-time set-up (the presentation rule of view controllers), so a host needs no
    /// other call.
    static void configureWithApiKey(const std::optional<std::string>& apiKey);
    /// Where the facades made from now on reach the media server (the service's own
    /// by default).
    static void configureMediaServer(const QXMediaServerSettings& settings);
    static QXMediaServerSettings mediaServerSettings();
    /// A new facade; raises QXQuorvexPlayerConfigurationError before configureWithApiKey.
    static rt::Ref<QXQuorvexPlayer> player() { return rt::make<QXQuorvexPlayer>(); }
    /// A new facade playing the given session (a prepared one, from the prebuffering
    /// controller); its loadingTimeout reaches that session's player factory.
    static rt::Ref<QXQuorvexPlayer> playerWithSession(const rt::Ref<CPPlaybackSession>& session);
    /// Raises QXQuorvexPlayerConfigurationError in an unconfigured process.
    QXQuorvexPlayer();
    /// Raises QXQuorvexPlayerConfigurationError, with the reason every play call gives,
    /// unless configureWithApiKey was called: for objects that need the key as a
    /// facade does.
    static void requireConfigured();
    static void describe(rt::ClassBuilder<QXQuorvexPlayer>& c);

    // ---- playing -------------------------------------------------------------------------
    /// The container view the host embeds; the player view fills it.
    const rt::Ref<ui::View>& view();
    void playChannel(const std::optional<std::string>& channelID);
    void playRecorded(const std::optional<std::string>& videoID);
    void playMedia(const rt::Ref<QXMediaDescriptor>& descriptor) { playMedia(descriptor, true); }
    void playMedia(const rt::Ref<QXMediaDescriptor>& descriptor, bool autoplay);
    /// Plays a stream URL (an HLS playlist, a media file) directly, without the media
    /// server: a recording plays to its end (then reads Stopped), a live stream plays on.
    void playURL(const std::optional<std::string>& url, QXStreamKind kind = QXStreamKind::Recorded,
                 bool autoplay = true);
    /// A new session for any source, prepared at once; it replaces the current one.
    void playSource(const rt::Ref<ICPMediaSource>& source, bool autoplay, bool rewindOnFinish);
    void play();
    void pause();
    void seekTo(double seconds);
    void suspend();
    void resume();
    void continueWithPassword(const std::string& password);
    void continueWithHash(const std::string& hash);
    void continueWithBirthdate(const rt::Date& birthdate);
    void continueWithAgeConfirmed();

    // ---- stored properties ---------------------------------------------------------------
    std::shared_ptr<QXPlayerDelegate> delegate() const { return delegate_.lock(); }
    /// Held weakly.
    void setDelegate(const std::shared_ptr<QXPlayerDelegate>& delegate) { delegate_ = delegate; }
    rt::Ref<ui::ViewController> presentingViewController() const;
    /// Held weakly.
    void setPresentingViewController(const rt::Ref<ui::ViewController>& controller);
    /// The session's error in QXQuorvexPlayerErrorDomain. While the player waits (state 2)
    /// on a source whose connection failed and is retried, that failure: code 0, its
    /// message saying why (a refused certificate, an unreachable server), the transport's
    /// error beneath it. None otherwise.
    const rt::Ref<rt::Error>& error() const { return error_; }
    /// The code of error() when it is in QXQuorvexPlayerErrorDomain; none otherwise.
    std::optional<QXQuorvexPlayerErrorCode> errorCode() const;
    /// Seconds a player may take to load (10 by default); reaches the players made after
    /// the change.
    double loadingTimeout() const { return loadingTimeout_; }
    void setLoadingTimeout(double seconds) { loadingTimeoutKey.set(*this, seconds); }
    /// Default (the default) shows the default controls, CustomToolbar the facade's own
    /// toolbar control with the items the host places, None no control.
    QXPlayerControlStyle playerControlStyle() const { return playerControlStyle_; }
    void setPlayerControlStyle(QXPlayerControlStyle style) { playerControlStyleKey.set(*this, style); }
    bool muted() const { return muted_; }
    void setMuted(bool muted);
    bool continuePlaybackInBackground() const { return continuePlaybackInBackground_; }
    void setContinuePlaybackInBackground(bool flag);
    bool adsDisabled() const { return adsDisabled_; }
    /// YES forbids ads from now on and skips the ad playing.
    void setAdsDisabled(bool disabled);
    /// YES from an ad's content pause to its content resume.
    bool playingAd() const { return playingAd_; }
    /// The session's title.
    const std::string& contentTitle() const { return contentTitle_; }
    /// YES while playing content that is online.
    bool isLive() const { return isLive_; }
    /// YES once the current session's first picture is on screen.
    bool readyForDisplay() const { return readyForDisplay_; }
    bool enableLogging() const { return enableLogging_; }
    /// YES logs one record of the device, once per process.
    void setEnableLogging(bool enable);
    /// The descriptor of the last playMedia (playChannel, playRecorded).
    const rt::Ref<QXMediaDescriptor>& mediaDescriptor() const { return mediaDescriptor_; }

    // ---- derived from the session ----------------------------------------------------------
    /// The session's state when it is 1 to 6, else Stopped (also with no session).
    QXPlayerState playerState() const;
    double duration() const;
    double playbackTime() const;
    long viewerCount() const;
    /// A date, or none.
    rt::Value broadcastStartDate() const;
    bool pictureInPictureAvailable() const;
    bool pictureInPictureActive() const;
    bool isPlayingLiveStream() const;
    std::string contentId() const;
    bool controlsVisible() const;

    static constexpr rt::ReadKey<QXQuorvexPlayer, QXPlayerState> playerStateKey{"playerState",
                                                                                &QXQuorvexPlayer::playerState};
    static constexpr rt::ReadKey<QXQuorvexPlayer, double> durationKey{"duration", &QXQuorvexPlayer::duration};
    static constexpr rt::ReadKey<QXQuorvexPlayer, double> playbackTimeKey{"playbackTime",
                                                                          &QXQuorvexPlayer::playbackTime};
    static constexpr rt::ReadKey<QXQuorvexPlayer, long> viewerCountKey{"viewerCount", &QXQuorvexPlayer::viewerCount};
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Value> broadcastStartDateKey{
        "broadcastStartDate", &QXQuorvexPlayer::broadcastStartDate};
    static constexpr rt::ReadKey<QXQuorvexPlayer, bool> pictureInPictureAvailableKey{
        "pictureInPictureAvailable", &QXQuorvexPlayer::pictureInPictureAvailable};
    static constexpr rt::ReadKey<QXQuorvexPlayer, bool> pictureInPictureActiveKey{
        "pictureInPictureActive", &QXQuorvexPlayer::pictureInPictureActive};
    static constexpr rt::ReadKey<QXQuorvexPlayer, bool> isPlayingLiveStreamKey{"isPlayingLiveStream",
                                                                               &QXQuorvexPlayer::isPlayingLiveStream};
    static constexpr rt::ReadKey<QXQuorvexPlayer, std::string> contentIdKey{"contentId", &QXQuorvexPlayer::contentId};
    static constexpr rt::ReadKey<QXQuorvexPlayer, bool> controlsVisibleKey{"controlsVisible",
                                                                           &QXQuorvexPlayer::controlsVisible};

    // ---- subtitles and audio tracks ------------------------------------------------------
    /// Made anew whenever the session's list changes, in its order; the default and
    /// selected records are always members of the current list (none when the session's
    /// option is not in its list).
    const std::vector<rt::Ref<QXSubtitle>>& subtitles() const { return subtitles_; }
    const rt::Ref<QXSubtitle>& defaultSubtitle() const { return defaultSubtitle_; }
    const rt::Ref<QXSubtitle>& selectedSubtitle() const { return selectedSubtitle_; }
    const std::vector<rt::Ref<QXMediaSelectionOption>>& legibleMediaSelectionOptions() const {
        return legibleMediaSelectionOptions_;
    }
    const rt::Ref<QXMediaSelectionOption>& defaultLegibleMediaSelectionOption() const {
        return defaultLegibleMediaSelectionOption_;
    }
    const rt::Ref<QXMediaSelectionOption>& selectedLegibleMediaSelectionOption() const {
        return selectedLegibleMediaSelectionOption_;
    }
    const std::vector<rt::Ref<QXMediaSelectionOption>>& audibleMediaSelectionOptions() const {
        return audibleMediaSelectionOptions_;
    }
    const rt::Ref<QXMediaSelectionOption>& defaultAudibleMediaSelectionOption() const {
        return defaultAudibleMediaSelectionOption_;
    }
    const rt::Ref<QXMediaSelectionOption>& selectedAudibleMediaSelectionOption() const {
        return selectedAudibleMediaSelectionOption_;
    }
    /// A record of the current list selects its subtitle; any other (none, or one of an
    /// earlier list) switches subtitles off.
    void selectSubtitle(const rt::Ref<QXSubtitle>& subtitle);
    void selectLegibleMediaSelectionOption(const rt::Ref<QXMediaSelectionOption>& option);
    /// A record of the current list selects its audio track; any other leaves the audio
    /// as it is.
    void selectAudibleMediaSelectionOption(const rt::Ref<QXMediaSelectionOption>& option);

    // ---- picture in picture and controls -------------------------------------------------
    void startPictureInPicture();
    void stopPictureInPicture();
    void showControls(bool show, bool animated, double timeout);
    /// With the default hide delay (kDefaultControlHideDelay).
    void showControls(bool show, bool animated);

    // ---- ads (QXQuorvexPlayerAds.cpp) -----------------------------------------------------
    /// Ads of the tag at least `minAdFreeTimeInterval` seconds apart, with a preroll when
    /// allowed. Raises QXQuorvexPlayerConfigurationError, changing nothing, in a process
    /// where ads cannot play (assertIMAAvailable).
    void configureAdServiceWithGoogleIMATag(const std::string& tag, const rt::Dictionary& customMetadata,
                                            double minAdFreeTimeInterval, bool allowPreroll);
    /// Ads of the tag at the cue points (seconds), with a preroll when allowed.
    void configureAdServiceWithGoogleIMATag(const std::string& tag, const rt::Dictionary& customMetadata,
                                            const std::vector<double>& cuePoints, bool allowPreroll);
    /// Raises QXQuorvexPlayerConfigurationError "IMA SDK is not available." when no ads
    /// backend can play in the process.
    static void assertIMAAvailable();
    /// A tag replaces the ad player (the old one ends, its ad too); none removes it,
    /// resuming the content when an ad was playing.
    void setGoogleIMATag(const std::optional<std::string>& tag, const rt::Dictionary& customMetadata);
    const std::optional<std::string>& googleIMATag() const { return googleIMATag_; }

    // ---- errors ----------------------------------------------------------------------------
    /// The error in QXQuorvexPlayerErrorDomain (player and media-source errors), or the
    /// error itself for any other domain; none gives none.
    static rt::Ref<rt::Error> mapError(const rt::Ref<rt::Error>& error);

    // ---- toolbar access (CustomToolbar style) ----------------------------------------------
    /// The facade's own toolbar control, shown with style CustomToolbar.
    const rt::Ref<CPToolbarPlaybackControl>& customToolbarPlaybackControl() const {
        return customToolbarPlaybackControl_;
    }
    /// A new factory answering customToolbarPlaybackControl, on every read.
    rt::Ref<ICPPlaybackControlFactory> customToolbarPlaybackControlFactory() const;
    rt::Ref<QXToolbar> topToolbar() const;
    rt::Ref<QXToolbar> bottomToolbar() const;
    /// Each item accessor makes a new item bound to the custom control; place it with
    /// topToolbar()->setToolbarItems({...}) and keep it.
    rt::Ref<CPPlayButtonToolbarItem> playButtonItem() const;
    rt::Ref<CPPlaybackSliderToolbarItem> sliderItem() const;
    rt::Ref<CPPlaybackTimeLabelToolbarItem> timeLabelItem() const;
    rt::Ref<CPContentDurationToolbarItem> durationLabelItem() const;
    rt::Ref<CPTimePerDurationToolbarItem> timePerDurationLabelItem() const;
    rt::Ref<CPViewerCountToolbarItem> viewerCountLabelItem() const;
    rt::Ref<CPStartedDateToolbarItem> startedDateLabelItem() const;
    rt::Ref<CPContentTitleToolbarItem> titleLabelItem() const;
    rt::Ref<CPAirplayToolbarItem> airplayButtonItem() const;
    rt::Ref<CPPictureInPictureToolbarItem> pictureInPictureButtonItem() const;
    rt::Ref<QXButtonToolbarItem> subtitlesButtonItem() const;
    rt::Ref<QXButtonToolbarItem> audioTracksButtonItem() const;
    rt::Ref<QXImageToolbarItem> liveBadgeItem() const;

    /// The player view inside view().
    const rt::Ref<CPPlayerView>& playerView() const { return playerView_; }
    const rt::Ref<ICPPlaybackControlFactory>& playbackControlFactory() const { return playbackControlFactory_; }

protected:
    void didInitialize() override;

private:
    // The session, the factories, the ad player and the listener calls are the facade's
    // own; the test and the prebuffering controller reach them through
    // QXQuorvexPlayerInternals.
    friend class QXQuorvexPlayerInternals;
    friend class QXQuorvexPlayerListener;

    const rt::Ref<CPPlaybackSession>& session() const { return session_; }
    /// Stops listening to the old session and listens to the new one.
    void setSession(const rt::Ref<CPPlaybackSession>& session);
    const rt::Ref<SDKVexaFactory>& vexaFactory() const { return vexaFactory_; }
    const rt::Ref<CPPlayerFactory>& playerFactory() const { return playerFactory_; }
    const rt::Ref<QXIMAPlayer>& adPlayer() const { return adPlayer_; }
    const rt::Ref<QXQuorvexPlayerAdManager>& adManager() const { return adManager_; }
    /// Starts the prepared ad when allowAd says YES (ten times a second and on every
    /// change of the source's state).
    void playAdIfNeeded();
    /// Whether an ad may start now.
    bool allowAd() const;

    // Calls of the ad player (through the listener).
    rt::Dictionary QXIMAPlayerWillLoadAdWithCustomParameters(QXIMAPlayer& adPlayer, const rt::Dictionary& parameters);
    bool QXIMAPlayerReadyToPlayAd(QXIMAPlayer& adPlayer);
    void QXIMAPlayerRequestContentPause(QXIMAPlayer& adPlayer);
    void QXIMAPlayerRequestContentResume(QXIMAPlayer& adPlayer);
    double QXIMAPlayerRequestContentTime(QXIMAPlayer& adPlayer);
    void QXIMAPlayerDidFinishPlayingAds(QXIMAPlayer& adPlayer);
    void QXIMAPlayerDidFailWithError(QXIMAPlayer& adPlayer, const rt::Ref<rt::Error>& error);
    // Calls of the session and of the player view (through the listener).
    void sessionRequiresPassword(CPPlaybackSession& session);
    void sessionRequiresHash(CPPlaybackSession& session, const std::string& fromURL);
    void sessionRequiresAgeConfirmation(CPPlaybackSession& session, unsigned long ageRequired);
    void sessionRequiresBirthdate(CPPlaybackSession& session);
    void playerViewWillPresentControls(CPPlayerView& view, bool animated, double duration);
    void playerViewWillHideControls(CPPlayerView& view, bool animated, double duration);
    void playerViewRequestsPresentingViewController(CPPlayerView& view, const rt::Ref<ui::ViewController>& controller);

    [[noreturn]] static void raiseParameterError(const std::string& reason);
    void installTriggers();
    void installSelectionBindings();
    void followFirstPicture();
    void refreshSubtitles();
    void refreshAudioTracks();
    void updateLive();
    /// Writes error from the session, or from its waiting source.
    void refreshError();
    void bindLoadingTimeout(const rt::Ref<CPPlaybackSession>& session);
    template <class F> void tellDelegate(F&& call);

    std::weak_ptr<QXPlayerDelegate> delegate_;
    rt::Weak<ui::ViewController> presentingViewController_;
    rt::Ref<QXQuorvexPlayerListener> listener_;
    rt::Ref<SDKVexaFactory> vexaFactory_;
    rt::Ref<ui::View> view_;
    rt::Ref<CPPlayerView> playerView_;
    rt::Ref<ICPPlaybackControlFactory> defaultControlFactory_;
    std::vector<rt::Ref<rt::Object>> observations_;
    rt::ObservationHandle firstPictureObservation_;
    // The session's option lists the records were made from.
    std::vector<rt::Ref<rt::Object>> sessionSubtitles_, sessionAudioTracks_;
    QXPlayerState lastPlayerState_ = QXPlayerState::Stopped;
    rt::Ref<rt::Error> unmappedError_;  // what error was mapped from
    rt::Value lastStartDate_;
    bool hasLive_ = false;

    // Ads.
    void removeAdPlayer();
    void endAdOfContent();
    std::optional<std::string> googleIMATag_;
    rt::Ref<QXIMAPlayer> adPlayer_;
    rt::Ref<QXQuorvexPlayerAdManager> adManager_;
    rt::Ref<fnd::Timer> adTicker_;
    /// The session the playing ad holds suspended (the facade's current one, also when
    /// the host set it during the ad), resumed once when the ad ends.
    rt::Ref<CPPlaybackSession> adSuspendedSession_;
    /// The host's suspends not yet resumed (those that went to the session).
    int hostSuspends_ = 0;
};

}  // namespace zid
