#pragma once
// The one object a host needs: configured once per process with the service's API key,
// made per player, it gives the host a view to embed, plays a live channel or a recorded
// video by identifier, forwards transport calls and unlock answers, and publishes what
// it plays through observable properties and its delegate. Main thread only.
//
//   QXQuorvexPlayer::configureWithApiKey("key");
//   auto player = QXQuorvexPlayer::player();
//   window->addSubview(player->view());
//   player->playChannel("channel-id");

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Core/CPPlaybackSessionListener.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>
#include <QXCorePlayer/Core/View/PlayerView/CPPlayerView.h>
#include <QXMediaPlayer/Ad/IMA/QXIMAPlayer.h>
#include <QXMediaPlayer/Ad/IMA/QXQuorvexPlayerAdManager.h>
#include <QXSDKPlayer/Common/QXMediaDescriptor.h>
#include <QXSDKPlayer/Common/QXMediaSelectionOption.h>
#include <QXSDKPlayer/Common/QXPlayerDelegate.h>
#include <QXSDKPlayer/Common/QXSubtitle.h>
#include <QXSDKPlayer/Common/SDKVexaFactory.h>
#include <rt/Error.h>
#include <rt/Exception.h>
#include <rt/KVC.h>
#include <rt/Key.h>

namespace zid {

class QXToolbar;
class QXImageToolbarItem;
class QXButtonToolbarItem;

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

/// The folded session state the facade publishes.
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

class QXQuorvexPlayer : public rt::Object,
                        public CPPlayerViewListener,
                        public CPPlaybackSessionListener,
                        public QXIMAPlayerDelegate {
    RT_CLASS(QXQuorvexPlayer, rt::Object)
private:
    rt::Ref<CPPlaybackSession> session_;
    rt::Ref<CPPlayerFactory> playerFactory_;
    rt::Ref<rt::Error> error_;
    double loadingTimeout_ = 10.0;
    unsigned long playerControlStyle_ = 2;
    bool muted_ = false;
    bool continuePlaybackInBackground_ = false;
    bool adsDisabled_ = false;
    bool playingAd_ = false;
    std::string contentTitle_;
    bool isLive_ = false;
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

public:
    using P_ = QXQuorvexPlayer;
    static constexpr rt::Key<P_, rt::Ref<CPPlaybackSession>> sessionKey{"session", &P_::session_};
    static constexpr rt::Key<P_, rt::Ref<CPPlayerFactory>> playerFactoryKey{"playerFactory", &P_::playerFactory_};
    static constexpr rt::Key<P_, rt::Ref<rt::Error>> errorKey{"error", &P_::error_};
    static constexpr rt::Key<P_, double> loadingTimeoutKey{"loadingTimeout", &P_::loadingTimeout_};
    static constexpr rt::Key<P_, unsigned long> playerControlStyleKey{"playerControlStyle", &P_::playerControlStyle_};
    static constexpr rt::Key<P_, bool> mutedKey{"muted", &P_::muted_};
    static constexpr rt::Key<P_, bool> continuePlaybackInBackgroundKey{"continuePlaybackInBackground",
                                                                       &P_::continuePlaybackInBackground_};
    static constexpr rt::Key<P_, bool> adsDisabledKey{"adsDisabled", &P_::adsDisabled_};
    static constexpr rt::Key<P_, bool> playingAdKey{"playingAd", &P_::playingAd_};
    static constexpr rt::Key<P_, std::string> contentTitleKey{"contentTitle", &P_::contentTitle_};
    static constexpr rt::Key<P_, bool> isLiveKey{"isLive", &P_::isLive_};
    static constexpr rt::Key<P_, bool> enableLoggingKey{"enableLogging", &P_::enableLogging_};
    static constexpr rt::Key<P_, rt::Ref<ICPPlaybackControlFactory>> playbackControlFactoryKey{
        "playbackControlFactory", &P_::playbackControlFactory_};
    static constexpr rt::Key<P_, rt::Ref<CPToolbarPlaybackControl>> customToolbarPlaybackControlKey{
        "customToolbarPlaybackControl", &P_::customToolbarPlaybackControl_};
    static constexpr rt::Key<P_, rt::Ref<QXMediaDescriptor>> mediaDescriptorKey{"mediaDescriptor",
                                                                                &P_::mediaDescriptor_};
    static constexpr rt::Key<P_, std::vector<rt::Ref<QXSubtitle>>> subtitlesKey{"subtitles", &P_::subtitles_};
    static constexpr rt::Key<P_, rt::Ref<QXSubtitle>> defaultSubtitleKey{"defaultSubtitle", &P_::defaultSubtitle_};
    static constexpr rt::Key<P_, rt::Ref<QXSubtitle>> selectedSubtitleKey{"selectedSubtitle", &P_::selectedSubtitle_};
    static constexpr rt::Key<P_, std::vector<rt::Ref<QXMediaSelectionOption>>> legibleMediaSelectionOptionsKey{
        "legibleMediaSelectionOptions", &P_::legibleMediaSelectionOptions_};
    static constexpr rt::Key<P_, rt::Ref<QXMediaSelectionOption>> defaultLegibleMediaSelectionOptionKey{
        "defaultLegibleMediaSelectionOption", &P_::defaultLegibleMediaSelectionOption_};
    static constexpr rt::Key<P_, rt::Ref<QXMediaSelectionOption>> selectedLegibleMediaSelectionOptionKey{
        "selectedLegibleMediaSelectionOption", &P_::selectedLegibleMediaSelectionOption_};
    static constexpr rt::Key<P_, std::vector<rt::Ref<QXMediaSelectionOption>>> audibleMediaSelectionOptionsKey{
        "audibleMediaSelectionOptions", &P_::audibleMediaSelectionOptions_};
    static constexpr rt::Key<P_, rt::Ref<QXMediaSelectionOption>> defaultAudibleMediaSelectionOptionKey{
        "defaultAudibleMediaSelectionOption", &P_::defaultAudibleMediaSelectionOption_};
    static constexpr rt::Key<P_, rt::Ref<QXMediaSelectionOption>> selectedAudibleMediaSelectionOptionKey{
        "selectedAudibleMediaSelectionOption", &P_::selectedAudibleMediaSelectionOption_};

    // ---- configuration and creation ----------------------------------------------------
    /// Stores the key for every facade made from now on; none raises
    /// QXQuorvexPlayerParameterError and keeps the earlier key. Also does the process's
    /// one-time set-up (the presentation rule of view controllers), so a host needs no
    /// other call.
    static void configureWithApiKey(const std::optional<std::string>& apiKey);
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
    /// A new session for any source, prepared at once; it replaces the current one.
    void playSource(const rt::Ref<ICPMediaSource>& source, bool autoplay, bool rewindOnFinish);
    void play();
    void pause();
    void seekTo(double seconds);
    void suspend();
    void resume();
    void setActive(bool active) { (void)active; }
    void continueWithPassword(const std::string& password);
    void continueWithHash(const std::string& hash);
    void continueWithBirthdate(const rt::Date& birthdate);
    void continueWithAgeConfirmed();

    // ---- stored properties ---------------------------------------------------------------
    std::shared_ptr<QXPlayerDelegate> delegate() const { return delegate_.lock(); }
    /// Held weakly.
    void setDelegate(const std::shared_ptr<QXPlayerDelegate>& delegate) { delegate_ = delegate; }
    rt::Ref<ui::ViewController> presentingViewController() const { return presentingViewController_.lock(); }
    /// Held weakly.
    void setPresentingViewController(const rt::Ref<ui::ViewController>& controller) {
        presentingViewController_ = controller;
    }
    /// The session's error in QXQuorvexPlayerErrorDomain; none while the session has none.
    const rt::Ref<rt::Error>& error() const { return error_; }
    /// Seconds a player may take to load (10 by default); reaches the players made after
    /// the change.
    double loadingTimeout() const { return loadingTimeout_; }
    void setLoadingTimeout(double seconds) { loadingTimeoutKey.set(*this, seconds); }
    /// 0 no control, 1 customToolbarPlaybackControl for every session, 2 the default
    /// controls (the default); any other value shows no control.
    unsigned long playerControlStyle() const { return playerControlStyle_; }
    void setPlayerControlStyle(unsigned long style) { playerControlStyleKey.set(*this, style); }
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
    bool enableLogging() const { return enableLogging_; }
    /// YES logs one record of the device, once per process.
    void setEnableLogging(bool enable);

    // ---- derived from the session ----------------------------------------------------------
    /// The session's state when it is 1 to 6, else 0 (also with no session).
    unsigned long playerState() const;
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
    /// With the hide delay current at the call (kDefaultControlHideDelay).
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
    /// backend is installed in the process.
    static void assertIMAAvailable();
    /// A tag replaces the ad player (the old one ends, its ad too); none removes it,
    /// resuming the content when an ad was playing.
    void setGoogleIMATag(const std::optional<std::string>& tag, const rt::Dictionary& customMetadata);
    const std::optional<std::string>& googleIMATag() const { return googleIMATag_; }
    const rt::Ref<QXIMAPlayer>& adPlayer() const { return adPlayer_; }
    const rt::Ref<QXQuorvexPlayerAdManager>& adManager() const { return adManager_; }
    /// Starts the prepared ad when allowAd says YES (ten times a second and on every
    /// change of the source's state).
    void playAdIfNeeded();
    /// Whether an ad may start now.
    bool allowAd() const;

    // QXIMAPlayerDelegate
    rt::Dictionary QXIMAPlayerWillLoadAdWithCustomParameters(QXIMAPlayer& adPlayer,
                                                             const rt::Dictionary& parameters) override;
    bool QXIMAPlayerReadyToPlayAd(QXIMAPlayer& adPlayer) override;
    void QXIMAPlayerRequestContentPause(QXIMAPlayer& adPlayer) override;
    void QXIMAPlayerRequestContentResume(QXIMAPlayer& adPlayer) override;
    double QXIMAPlayerRequestContentTime(QXIMAPlayer& adPlayer) override;
    void QXIMAPlayerDidFinishPlayingAds(QXIMAPlayer& adPlayer) override;
    void QXIMAPlayerDidFailWithError(QXIMAPlayer& adPlayer, const rt::Ref<rt::Error>& error) override;

    // ---- errors ----------------------------------------------------------------------------
    /// The error in QXQuorvexPlayerErrorDomain (player and media-source errors), or the
    /// error itself for any other domain; none gives none.
    static rt::Ref<rt::Error> mapError(const rt::Ref<rt::Error>& error);

    // ---- toolbar access (style 1) ----------------------------------------------------------
    /// The facade's own toolbar control, shown with style 1.
    const rt::Ref<CPToolbarPlaybackControl>& customToolbarPlaybackControl() const {
        return customToolbarPlaybackControl_;
    }
    /// A new factory answering customToolbarPlaybackControl, on every read.
    rt::Ref<ICPPlaybackControlFactory> customToolbarPlaybackControlFactory() const;
    rt::Ref<QXToolbar> topToolbar() const;
    rt::Ref<QXToolbar> bottomToolbar() const;
    /// Each item accessor makes a new item bound to the custom control.
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

    // ---- inner parts -------------------------------------------------------------------------
    const rt::Ref<CPPlaybackSession>& session() const { return session_; }
    /// Stops listening to the old session and listens to the new one.
    void setSession(const rt::Ref<CPPlaybackSession>& session);
    const rt::Ref<SDKVexaFactory>& vexaFactory() const { return vexaFactory_; }
    const rt::Ref<CPPlayerFactory>& playerFactory() const { return playerFactory_; }
    const rt::Ref<CPPlayerView>& playerView() const { return playerView_; }
    const rt::Ref<ICPPlaybackControlFactory>& playbackControlFactory() const { return playbackControlFactory_; }
    const rt::Ref<QXMediaDescriptor>& mediaDescriptor() const { return mediaDescriptor_; }

    // CPPlaybackSessionListener
    void sessionRequiresPassword(CPPlaybackSession& session) override;
    void sessionRequiresHash(CPPlaybackSession& session, const std::string& fromURL) override;
    void sessionRequiresAgeConfirmation(CPPlaybackSession& session, unsigned long ageRequired) override;
    void sessionRequiresBirthdate(CPPlaybackSession& session) override;
    // CPPlayerViewListener
    void playerViewWillPresentControls(CPPlayerView& view, bool animated, double duration) override;
    void playerViewWillHideControls(CPPlayerView& view, bool animated, double duration) override;
    void playerViewRequestsPresentingViewController(CPPlayerView& view,
                                                    const rt::Ref<ui::ViewController>& controller) override;

protected:
    void didInitialize() override;

private:
    [[noreturn]] static void raiseParameterError(const std::string& reason);
    void installTriggers();
    void installSelectionBindings();
    void refreshSubtitles();
    void refreshAudioTracks();
    void updateLive();
    void bindLoadingTimeout(const rt::Ref<CPPlaybackSession>& session);
    template <class F> void tellDelegate(F&& call);

    std::weak_ptr<QXPlayerDelegate> delegate_;
    rt::Weak<ui::ViewController> presentingViewController_;
    rt::Ref<SDKVexaFactory> vexaFactory_;
    rt::Ref<ui::View> view_;
    rt::Ref<CPPlayerView> playerView_;
    rt::Ref<ICPPlaybackControlFactory> defaultControlFactory_;
    std::vector<rt::Ref<rt::Object>> observations_;
    // The session's option lists the records were made from.
    std::vector<rt::Ref<rt::Object>> sessionSubtitles_, sessionAudioTracks_;
    unsigned long lastPlayerState_ = 0;
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
