#pragma once
// The one object a host needs: configured once per process with the service's API key,
// made per player, it gives the host a view to embed, plays a live channel, a recorded
// video or a stream URL, forwards transport calls and unlock answers, and publishes what
// it plays through typed read-only keys and its delegate.
//
//   QXQuorvexPlayer::configureWithApiKey("key");
//   auto player = QXQuorvexPlayer::player();
//   window->addSubview(player->view());
//   player->playChannel("channel-id");
//
// Main thread only: every call below, made on another thread than the main run loop's,
// raises QXQuorvexPlayerThreadError naming the call and the thread.
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
#include <QXSDKPlayer/Common/QXQuorvexPlayerTypes.h>
#include <QXSDKPlayer/Common/QXSubtitle.h>
#include <rt/AccessorKey.h>
#include <rt/Error.h>
#include <rt/KVC.h>
#include <rt/MainThread.h>
#include <rt/Key.h>

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
class CPPlaybackSliderToolbarItem;
class CPPlaybackTimeLabelToolbarItem;
class CPStartedDateToolbarItem;
class CPTimePerDurationToolbarItem;
class CPToolbarPlaybackControl;
class CPViewerCountToolbarItem;
class QXButtonToolbarItem;
class QXImageToolbarItem;
class QXQuorvexPlayerImpl;
class QXToolbar;

class QXQuorvexPlayer : public rt::Object {
    RT_CLASS(QXQuorvexPlayer, rt::Object)
    RT_MAIN_THREAD_ONLY_CLASS;
public:
    // ---- configuration and creation ----------------------------------------------------
    /// Stores the key for every facade made from now on; none, an empty key, one of white
    /// space alone, or one holding a CR, LF or NUL or longer than 8192 bytes raises
    /// QXQuorvexPlayerParameterError and keeps the earlier key. Also does the process's
    /// one-time set-up (the presentation rule of view controllers), so a host needs no
    /// other call.
    static void configureWithApiKey(const std::optional<std::string>& apiKey);
    /// Where the facades made from now on reach the media server (the service's own by
    /// default). A blank host, one that is more than a host name (a scheme, a port, a
    /// path), an IP address, a name DNS does not allow (a label empty, over 63 characters
    /// or beginning or ending with '-'; over 253 in all), an origin or user agent holding
    /// a CR, LF or NUL or longer than 8192 bytes, or trust anchors that hold no PEM
    /// certificate, raise QXQuorvexPlayerParameterError and keep the earlier settings.
    static void configureMediaServer(const QXMediaServerSettings& settings);
    static QXMediaServerSettings mediaServerSettings();
    /// A new facade; raises QXQuorvexPlayerConfigurationError before configureWithApiKey.
    static rt::Ref<QXQuorvexPlayer> player();
    /// Raises QXQuorvexPlayerConfigurationError in an unconfigured process.
    QXQuorvexPlayer();
    ~QXQuorvexPlayer() override;

    // ---- playing -------------------------------------------------------------------------
    /// The container view the host embeds; the player view fills it.
    const rt::Ref<ui::View>& view();
    void playChannel(const std::optional<std::string>& channelID);
    void playRecorded(const std::optional<std::string>& videoID);
    void playMedia(const rt::Ref<QXMediaDescriptor>& descriptor);
    void playMedia(const rt::Ref<QXMediaDescriptor>& descriptor, bool autoplay);
    /// Plays a stream URL (an HLS playlist, a media file) directly, without the media
    /// server: a recording plays to its end (then reads Stopped), a live stream plays on.
    void playURL(const std::optional<std::string>& url, QXStreamKind kind = QXStreamKind::Recorded,
                 bool autoplay = true);
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
    std::shared_ptr<QXPlayerDelegate> delegate() const;
    /// Held weakly.
    void setDelegate(const std::shared_ptr<QXPlayerDelegate>& delegate);
    rt::Ref<ui::ViewController> presentingViewController() const;
    /// Held weakly.
    void setPresentingViewController(const rt::Ref<ui::ViewController>& controller);
    /// The session's error in QXQuorvexPlayerErrorDomain. While the player waits (state 2)
    /// on a source whose connection failed and is retried, that failure: code 0, its
    /// message saying why (a refused certificate, an unreachable server), the transport's
    /// error beneath it. When the media engine's program could not be started, its
    /// message is that cause and what to set, with every path the program was looked for
    /// at. A key the service refuses: ApiKeyRejected, its message saying so with what the
    /// service sent, the service's refusal (domain "QXVexaRejectErrorDomain") beneath. A
    /// stream that fails to load: the media layer's error beneath names its URL. Without a
    /// session error, a process whose
    /// resource folder is missing or empty reads that cause here. None otherwise.
    rt::Ref<rt::Error> error() const;
    /// The code of error() when it is in QXQuorvexPlayerErrorDomain; none otherwise.
    std::optional<QXQuorvexPlayerErrorCode> errorCode() const;
    /// Seconds a player may take to load (10 by default, 0 for no limit); reaches the
    /// players made after the change. A negative or non-finite value raises
    /// QXQuorvexPlayerParameterError.
    double loadingTimeout() const;
    void setLoadingTimeout(double seconds);
    /// Default (the default) shows the default controls, CustomToolbar the facade's own
    /// toolbar control with the items the host places, None no control. Any other value
    /// raises QXQuorvexPlayerParameterError and keeps the style.
    QXPlayerControlStyle playerControlStyle() const;
    void setPlayerControlStyle(QXPlayerControlStyle style);
    bool muted() const;
    void setMuted(bool muted);
    bool continuePlaybackInBackground() const;
    void setContinuePlaybackInBackground(bool flag);
    bool adsDisabled() const;
    /// YES forbids ads from now on and skips the ad playing.
    void setAdsDisabled(bool disabled);
    /// YES from an ad's content pause to its content resume.
    bool playingAd() const;
    /// The session's title.
    std::string contentTitle() const;
    /// YES while playing content that is online.
    bool isLive() const;
    /// YES once the current session's first picture is on screen (NO again for a new session).
    bool readyForDisplay() const;
    bool enableLogging() const;
    /// YES logs one record of the device, once per process.
    void setEnableLogging(bool enable);
    /// The descriptor of the last playMedia (playChannel, playRecorded).
    rt::Ref<QXMediaDescriptor> mediaDescriptor() const;

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

    // ---- subtitles and audio tracks ------------------------------------------------------
    /// Made anew whenever the session's list changes, in its order; the default and
    /// selected records are always members of the current list (none when the session's
    /// option is not in its list).
    std::vector<rt::Ref<QXSubtitle>> subtitles() const;
    rt::Ref<QXSubtitle> defaultSubtitle() const;
    rt::Ref<QXSubtitle> selectedSubtitle() const;
    std::vector<rt::Ref<QXMediaSelectionOption>> legibleMediaSelectionOptions() const;
    rt::Ref<QXMediaSelectionOption> defaultLegibleMediaSelectionOption() const;
    rt::Ref<QXMediaSelectionOption> selectedLegibleMediaSelectionOption() const;
    std::vector<rt::Ref<QXMediaSelectionOption>> audibleMediaSelectionOptions() const;
    rt::Ref<QXMediaSelectionOption> defaultAudibleMediaSelectionOption() const;
    rt::Ref<QXMediaSelectionOption> selectedAudibleMediaSelectionOption() const;
    /// A record of the current list selects its subtitle; any other (none, or one of an
    /// earlier list) switches subtitles off.
    void selectSubtitle(const rt::Ref<QXSubtitle>& subtitle);
    void selectLegibleMediaSelectionOption(const rt::Ref<QXMediaSelectionOption>& option);
    /// A record of the current list selects its audio track; any other leaves the audio
    /// as it is.
    void selectAudibleMediaSelectionOption(const rt::Ref<QXMediaSelectionOption>& option);

    // ---- typed keys ----------------------------------------------------------------------
    // Observe with rt::observe(player, QXQuorvexPlayer::playerStateKey, owner,
    //                          [](Owner& o, QXPlayerState old, QXPlayerState now) { ... });
    // Keys a host may also write (through the setters above):
    static constexpr rt::AccessorKey<QXQuorvexPlayer, double> loadingTimeoutKey{"loadingTimeout", &QXQuorvexPlayer::loadingTimeout,
                                                                  &QXQuorvexPlayer::setLoadingTimeout};
    static constexpr rt::AccessorKey<QXQuorvexPlayer, QXPlayerControlStyle> playerControlStyleKey{
        "playerControlStyle", &QXQuorvexPlayer::playerControlStyle, &QXQuorvexPlayer::setPlayerControlStyle};
    static constexpr rt::AccessorKey<QXQuorvexPlayer, bool> mutedKey{"muted", &QXQuorvexPlayer::muted, &QXQuorvexPlayer::setMuted};
    static constexpr rt::AccessorKey<QXQuorvexPlayer, bool> continuePlaybackInBackgroundKey{
        "continuePlaybackInBackground", &QXQuorvexPlayer::continuePlaybackInBackground, &QXQuorvexPlayer::setContinuePlaybackInBackground};
    static constexpr rt::AccessorKey<QXQuorvexPlayer, bool> adsDisabledKey{"adsDisabled", &QXQuorvexPlayer::adsDisabled, &QXQuorvexPlayer::setAdsDisabled};
    static constexpr rt::AccessorKey<QXQuorvexPlayer, bool> enableLoggingKey{"enableLogging", &QXQuorvexPlayer::enableLogging,
                                                               &QXQuorvexPlayer::setEnableLogging};
    // Read-only keys:
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Ref<rt::Error>> errorKey{"error", &QXQuorvexPlayer::error};
    static constexpr rt::ReadKey<QXQuorvexPlayer, bool> playingAdKey{"playingAd", &QXQuorvexPlayer::playingAd};
    static constexpr rt::ReadKey<QXQuorvexPlayer, std::string> contentTitleKey{"contentTitle", &QXQuorvexPlayer::contentTitle};
    static constexpr rt::ReadKey<QXQuorvexPlayer, bool> isLiveKey{"isLive", &QXQuorvexPlayer::isLive};
    static constexpr rt::ReadKey<QXQuorvexPlayer, bool> readyForDisplayKey{"readyForDisplay", &QXQuorvexPlayer::readyForDisplay};
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Ref<QXMediaDescriptor>> mediaDescriptorKey{"mediaDescriptor",
                                                                                    &QXQuorvexPlayer::mediaDescriptor};
    static constexpr rt::ReadKey<QXQuorvexPlayer, std::vector<rt::Ref<QXSubtitle>>> subtitlesKey{"subtitles", &QXQuorvexPlayer::subtitles};
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Ref<QXSubtitle>> defaultSubtitleKey{"defaultSubtitle", &QXQuorvexPlayer::defaultSubtitle};
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Ref<QXSubtitle>> selectedSubtitleKey{"selectedSubtitle",
                                                                              &QXQuorvexPlayer::selectedSubtitle};
    static constexpr rt::ReadKey<QXQuorvexPlayer, std::vector<rt::Ref<QXMediaSelectionOption>>> legibleMediaSelectionOptionsKey{
        "legibleMediaSelectionOptions", &QXQuorvexPlayer::legibleMediaSelectionOptions};
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Ref<QXMediaSelectionOption>> defaultLegibleMediaSelectionOptionKey{
        "defaultLegibleMediaSelectionOption", &QXQuorvexPlayer::defaultLegibleMediaSelectionOption};
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Ref<QXMediaSelectionOption>> selectedLegibleMediaSelectionOptionKey{
        "selectedLegibleMediaSelectionOption", &QXQuorvexPlayer::selectedLegibleMediaSelectionOption};
    static constexpr rt::ReadKey<QXQuorvexPlayer, std::vector<rt::Ref<QXMediaSelectionOption>>> audibleMediaSelectionOptionsKey{
        "audibleMediaSelectionOptions", &QXQuorvexPlayer::audibleMediaSelectionOptions};
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Ref<QXMediaSelectionOption>> defaultAudibleMediaSelectionOptionKey{
        "defaultAudibleMediaSelectionOption", &QXQuorvexPlayer::defaultAudibleMediaSelectionOption};
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Ref<QXMediaSelectionOption>> selectedAudibleMediaSelectionOptionKey{
        "selectedAudibleMediaSelectionOption", &QXQuorvexPlayer::selectedAudibleMediaSelectionOption};
    static constexpr rt::ReadKey<QXQuorvexPlayer, QXPlayerState> playerStateKey{"playerState", &QXQuorvexPlayer::playerState};
    static constexpr rt::ReadKey<QXQuorvexPlayer, double> durationKey{"duration", &QXQuorvexPlayer::duration};
    static constexpr rt::ReadKey<QXQuorvexPlayer, double> playbackTimeKey{"playbackTime", &QXQuorvexPlayer::playbackTime};
    static constexpr rt::ReadKey<QXQuorvexPlayer, long> viewerCountKey{"viewerCount", &QXQuorvexPlayer::viewerCount};
    static constexpr rt::ReadKey<QXQuorvexPlayer, rt::Value> broadcastStartDateKey{"broadcastStartDate", &QXQuorvexPlayer::broadcastStartDate};
    static constexpr rt::ReadKey<QXQuorvexPlayer, bool> pictureInPictureAvailableKey{"pictureInPictureAvailable",
                                                                        &QXQuorvexPlayer::pictureInPictureAvailable};
    static constexpr rt::ReadKey<QXQuorvexPlayer, bool> pictureInPictureActiveKey{"pictureInPictureActive",
                                                                     &QXQuorvexPlayer::pictureInPictureActive};
    static constexpr rt::ReadKey<QXQuorvexPlayer, bool> isPlayingLiveStreamKey{"isPlayingLiveStream", &QXQuorvexPlayer::isPlayingLiveStream};
    static constexpr rt::ReadKey<QXQuorvexPlayer, std::string> contentIdKey{"contentId", &QXQuorvexPlayer::contentId};
    static constexpr rt::ReadKey<QXQuorvexPlayer, bool> controlsVisibleKey{"controlsVisible", &QXQuorvexPlayer::controlsVisible};

    // ---- picture in picture and controls -------------------------------------------------
    void startPictureInPicture();
    void stopPictureInPicture();
    void showControls(bool show, bool animated, double timeout);
    /// With the hide delay of the moment (defaultControlHideDelay()).
    void showControls(bool show, bool animated);

    // ---- ads -------------------------------------------------------------------------------
    /// Ads of the tag at least `minAdFreeTimeInterval` seconds apart, with a preroll when
    /// allowed. Raises QXQuorvexPlayerConfigurationError "IMA SDK is not available.",
    /// changing nothing, in a process where ads cannot play; and, changing nothing,
    /// QXQuorvexPlayerParameterError for an interval below 0.1 s (ads are checked ten times
    /// a second: a shorter interval cannot be kept) or not a finite number, or a tag that
    /// is not an http or https URL with a host.
    void configureAdServiceWithGoogleIMATag(const std::string& tag, const rt::Dictionary& customMetadata,
                                            double minAdFreeTimeInterval, bool allowPreroll);
    /// Ads of the tag at the cue points (seconds), with a preroll when allowed. A cue point
    /// that is negative or not finite, or a tag as above, raises
    /// QXQuorvexPlayerParameterError and changes nothing.
    void configureAdServiceWithGoogleIMATag(const std::string& tag, const rt::Dictionary& customMetadata,
                                            const std::vector<double>& cuePoints, bool allowPreroll);
    /// A tag replaces the ad player (the old one ends, its ad too); none removes it,
    /// resuming the content when an ad was playing.
    void setGoogleIMATag(const std::optional<std::string>& tag, const rt::Dictionary& customMetadata);
    std::optional<std::string> googleIMATag() const;

    // ---- toolbar access (CustomToolbar style) ----------------------------------------------
    /// The facade's own toolbar control, shown with style CustomToolbar (its header:
    /// <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>).
    rt::Ref<CPToolbarPlaybackControl> customToolbarPlaybackControl() const;
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

protected:
    void didInitialize() override;

private:
    static void describe(rt::ClassBuilder<QXQuorvexPlayer>& c);
    // Everything the facade keeps, and every call of its own, is in its implementation
    // (a class of the library's sources).
    friend class QXQuorvexPlayerImpl;
    std::unique_ptr<QXQuorvexPlayerImpl> impl_;
};

}  // namespace zid
