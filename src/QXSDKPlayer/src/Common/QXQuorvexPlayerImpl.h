#pragma once
// The facade's inside: everything a QXQuorvexPlayer keeps (its session, its factories,
// its view, the records it publishes, its ad player) and every call of its own. The
// public facade checks the thread and passes each call on; the stored properties are
// written here and announced as the facade's (rt::kvoSet on the facade), so observers of
// the facade see them. Not installed: a host never sees this class, and a change here
// leaves a host's binary alone.

#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>
#include <QXCorePlayer/Core/View/PlayerView/CPPlayerView.h>
#include <QXMediaPlayer/Ad/IMA/QXIMAPlayer.h>
#include <QXMediaPlayer/Ad/IMA/QXQuorvexPlayerAdManager.h>
#include <QXSDKPlayer/Common/SDKVexaFactory.h>
#include <fnd/RunLoop.h>

#include <string_view>
#include <type_traits>
#include <utility>
#include <rt/KVO.h>
#include <rt/MainThread.h>
#include <rt/Property.h>

namespace zid {

class QXQuorvexPlayerListener;

/// The class a member function belongs to.
template <class M> struct CallOf;
template <class C, class F> struct CallOf<F C::*> {
    using Target = C;
};

class QXQuorvexPlayerImpl {
public:
    explicit QXQuorvexPlayerImpl(QXQuorvexPlayer& owner);
    ~QXQuorvexPlayerImpl();
    QXQuorvexPlayerImpl(const QXQuorvexPlayerImpl&) = delete;
    QXQuorvexPlayerImpl& operator=(const QXQuorvexPlayerImpl&) = delete;

    static QXQuorvexPlayerImpl& of(QXQuorvexPlayer& player) { return *player.impl_; }
    static const QXQuorvexPlayerImpl& of(const QXQuorvexPlayer& player) { return *player.impl_; }

    /// Raises QXQuorvexPlayerThreadError, naming the call and the thread, unless the
    /// caller runs on the main run loop's thread. One thread-id compare on the main thread
    /// (the rule every object a host reaches keeps, rt/MainThread.h).
    static void requireMainThread(const char* call) {
        if (rt::MainThread::isCurrent()) [[likely]]
            return;
        checkMainThreadSlowly(call);
    }
    /// The main run loop's answer (which binds the main thread); otherwise the error.
    static void checkMainThreadSlowly(const char* call);
    /// The thread error: installed as the refusal of every object a host reaches, so a
    /// view, a descriptor or a key set by name raise it too. A call without a class is
    /// the facade's.
    [[noreturn]] static void raiseThreadError(std::string_view call);
    /// Raises QXQuorvexPlayerConfigurationError, with the reason every play call gives,
    /// unless configureWithApiKey was called: for objects that need the key as a facade
    /// does.
    static void requireConfigured();
    [[noreturn]] static void raiseParameterError(const std::string& reason);
    /// Stores the key (tests of an unconfigured process set none).
    static void setApiKey(const std::optional<std::string>& key);
    /// Raises QXQuorvexPlayerConfigurationError "IMA SDK is not available." when no ads
    /// backend can play in the process.
    static void assertIMAAvailable();
    /// The error in QXQuorvexPlayerErrorDomain (player and media-source errors), or the
    /// error itself for any other domain; none gives none. When the media engine's
    /// program could not be started anywhere in the chain, its message is the facade
    /// error's, the chain beneath it.
    static rt::Ref<rt::Error> mapError(const rt::Ref<rt::Error>& error);
    /// The error of a process whose resource folder is missing or empty (logged once,
    /// with its path); none when the folder holds resources.
    static rt::Ref<rt::Error> resourceError();

    /// A property of the facade read for its host: on the main thread only (the check
    /// names the property), answered by its entry.
    template <class Entry>
    static auto hostRead(const QXQuorvexPlayer& player, const Entry&) {
        requireMainThread(Entry::name().data());
        return Entry::get(of(player));
    }

    /// A call of the host passed on to what it belongs to: a call of the session goes to
    /// the facade's session when there is one (else it does nothing), a call of the custom
    /// toolbar control to that control, any other to the inside. On the main thread only
    /// (the check names the call).
    template <auto Call, class Player, class... Args>
    static decltype(auto) hostCall(Player& player, const char* call, Args&&... args) {
        requireMainThread(call);
        auto& impl = of(player);
        using Target = typename CallOf<decltype(Call)>::Target;
        if constexpr (std::is_same_v<Target, CPPlaybackSession>) {
            if (impl.session_) ((*impl.session_).*Call)(std::forward<Args>(args)...);
        } else if constexpr (std::is_same_v<Target, CPToolbarPlaybackControl>) {
            return ((*impl.customToolbarPlaybackControl_).*Call)(std::forward<Args>(args)...);
        } else {
            return (impl.*Call)(std::forward<Args>(args)...);
        }
    }

    // ---- construction and playing ------------------------------------------------------
    void didInitialize();
    const rt::Ref<ui::View>& view();
    void setSession(const rt::Ref<CPPlaybackSession>& session);
    void bindLoadingTimeout(const rt::Ref<CPPlaybackSession>& session);
    void playChannel(const std::optional<std::string>& channelID);
    void playRecorded(const std::optional<std::string>& videoID);
    void playMedia(const rt::Ref<QXMediaDescriptor>& descriptor, bool autoplay);
    void playURL(const std::optional<std::string>& url, QXStreamKind kind, bool autoplay);
    /// A new session for any source, prepared at once; it replaces the current one.
    void playSource(const rt::Ref<ICPMediaSource>& source, bool autoplay, bool rewindOnFinish);
    void play();
    void setLoadingTimeout(double seconds);
    void setMuted(bool muted);
    void setContinuePlaybackInBackground(bool flag);
    void suspend();
    void resume();
    void followFirstPicture();
    void setEnableLogging(bool enable);

    // ---- state, delegate and errors (QXQuorvexPlayerState.cpp) ----------------------------
    QXPlayerState playerState() const;
    double duration() const;
    double playbackTime() const;
    /// What the session answers to Read, or the empty value of its type (0, NO, none)
    /// while the facade has none.
    template <auto Read>
    std::decay_t<std::invoke_result_t<decltype(Read), const CPPlaybackSession&>> fromSession() const {
        if (!session_) return {};
        return ((*session_).*Read)();
    }
    bool isPlayingLiveStream() const;
    bool controlsVisible() const;
    std::optional<QXQuorvexPlayerErrorCode> errorCode() const;
    void installTriggers();
    void installSelectionBindings();
    void refreshSubtitles();
    void refreshAudioTracks();
    void updateLive();
    /// Writes error from the session, or from its waiting source.
    void refreshError();
    template <class F> void tellDelegate(F&& call);
    void selectSubtitle(const rt::Ref<QXSubtitle>& subtitle);
    void selectLegibleMediaSelectionOption(const rt::Ref<QXMediaSelectionOption>& option);
    void selectAudibleMediaSelectionOption(const rt::Ref<QXMediaSelectionOption>& option);
    void showControls(bool show, bool animated, double timeout);

    // Calls of the session and of the player view (through the listener).
    void sessionRequiresPassword(CPPlaybackSession& session);
    void sessionRequiresHash(CPPlaybackSession& session, const std::string& fromURL);
    void sessionRequiresAgeConfirmation(CPPlaybackSession& session, unsigned long ageRequired);
    void sessionRequiresBirthdate(CPPlaybackSession& session);
    /// Defers the player of a session whose preroll is about to start (QXQuorvexPlayerAds.cpp).
    void sessionWillMakePlayer(CPPlaybackSession& session);
    void playerViewWillPresentControls(CPPlayerView& view, bool animated, double duration);
    void playerViewWillHideControls(CPPlayerView& view, bool animated, double duration);
    void playerViewRequestsPresentingViewController(CPPlayerView& view, const rt::Ref<ui::ViewController>& controller);

    // ---- ads (QXQuorvexPlayerAds.cpp) ------------------------------------------------------
    void configureAdServiceWithGoogleIMATag(const std::string& tag, const rt::Dictionary& customMetadata,
                                            double minAdFreeTimeInterval, bool allowPreroll);
    void configureAdServiceWithGoogleIMATag(const std::string& tag, const rt::Dictionary& customMetadata,
                                            const std::vector<double>& cuePoints, bool allowPreroll);
    void setGoogleIMATag(const std::optional<std::string>& tag, const rt::Dictionary& customMetadata);
    void setAdsDisabled(bool disabled);
    /// Starts the prepared ad when allowAd says YES (ten times a second and on every
    /// change of the source's state).
    void playAdIfNeeded();
    /// Whether an ad may start now.
    bool allowAd() const;
    void removeAdPlayer();
    void endAdOfContent();
    /// Ends that wait: the content's player is made once its source is realized.
    void releaseContentFromAd();
    /// Ends it for the rest of the ad (its first picture, a failure, its end).
    void letContentGo();
    /// An ad pauses the content or plays.
    bool adHoldsContent() const;
    // Calls of the ad player (through the listener).
    rt::Dictionary QXIMAPlayerWillLoadAdWithCustomParameters(QXIMAPlayer& adPlayer, const rt::Dictionary& parameters);
    bool QXIMAPlayerReadyToPlayAd(QXIMAPlayer& adPlayer);
    void QXIMAPlayerRequestContentPause(QXIMAPlayer& adPlayer);
    void QXIMAPlayerRequestContentResume(QXIMAPlayer& adPlayer);
    void QXIMAPlayerDidStartAd(QXIMAPlayer& adPlayer);
    double QXIMAPlayerRequestContentTime(QXIMAPlayer& adPlayer);
    void QXIMAPlayerDidFinishPlayingAds(QXIMAPlayer& adPlayer);
    void QXIMAPlayerDidFailWithError(QXIMAPlayer& adPlayer, const rt::Ref<rt::Error>& error);

    // ---- toolbar access (QXQuorvexPlayerToolbar.cpp) ----------------------------------------
    /// A new factory answering customToolbarPlaybackControl, on every read.
    rt::Ref<ICPPlaybackControlFactory> customToolbarPlaybackControlFactory() const;

    QXQuorvexPlayer& owner_;

    // Stored properties (announced as the facade's).
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
    rt::Ref<rt::Error> resourceError_;  // the process's resources are missing
    rt::Value lastStartDate_;
    bool hasLive_ = false;

    // Ads.
    std::optional<std::string> googleIMATag_;
    rt::Ref<QXIMAPlayer> adPlayer_;
    rt::Ref<QXQuorvexPlayerAdManager> adManager_;
    rt::Ref<fnd::Timer> adTicker_;
    /// The session the playing ad holds suspended (the facade's current one, also when
    /// the host set it during the ad), resumed once when the ad ends.
    rt::Ref<CPPlaybackSession> adSuspendedSession_;
    /// The session whose player waits for the starting ad's first picture.
    rt::Ref<CPPlaybackSession> adDeferredSession_;
    /// The ad that paused the content has let it go: it showed its first picture,
    /// failed or ended.
    bool adLetContentGo_ = false;
    /// A start of the loaded ad neither paused the content nor played: the content does
    /// not wait for it again.
    bool adStartIgnored_ = false;
    rt::Ref<fnd::Timer> contentAfterAdPicture_;
    /// The host's suspends not yet resumed (those that went to the session).
    int hostSuspends_ = 0;

    // The facade's entries of the stored properties and of the derived ones, read here
    // directly: key-value observation reads them on the thread that changes them, and only
    // the host's own calls are checked. Those a host may write go through its setters.
    using P = QXQuorvexPlayer;
    using I = QXQuorvexPlayerImpl;
    template <auto Member, rt::KeyName Name, auto Writer = rt::readOnly, rt::KeyName... Paths>
    using Entry = rt::Inside<P, Member, Name, Writer, Paths...>;
    static constexpr Entry<&I::session_, "session"> sessionKey{};
    static constexpr Entry<&I::playerFactory_, "playerFactory"> playerFactoryKey{};
    static constexpr Entry<&I::error_, "error"> errorKey{};
    static constexpr Entry<&I::readyForDisplay_, "readyForDisplay"> readyForDisplayKey{};
    static constexpr Entry<&I::loadingTimeout_, "loadingTimeout", &P::setLoadingTimeout> loadingTimeoutKey{};
    static constexpr Entry<&I::playerControlStyle_, "playerControlStyle", &P::setPlayerControlStyle>
        playerControlStyleKey{};
    static constexpr Entry<&I::muted_, "muted", &P::setMuted> mutedKey{};
    static constexpr Entry<&I::continuePlaybackInBackground_, "continuePlaybackInBackground",
                           &P::setContinuePlaybackInBackground>
        continuePlaybackInBackgroundKey{};
    static constexpr Entry<&I::adsDisabled_, "adsDisabled", &P::setAdsDisabled> adsDisabledKey{};
    static constexpr Entry<&I::playingAd_, "playingAd"> playingAdKey{};
    static constexpr Entry<&I::contentTitle_, "contentTitle"> contentTitleKey{};
    static constexpr Entry<&I::isLive_, "isLive"> isLiveKey{};
    static constexpr Entry<&I::enableLogging_, "enableLogging", &P::setEnableLogging> enableLoggingKey{};
    static constexpr Entry<&I::playbackControlFactory_, "playbackControlFactory"> playbackControlFactoryKey{};
    static constexpr Entry<&I::customToolbarPlaybackControl_, "customToolbarPlaybackControl">
        customToolbarPlaybackControlKey{};
    static constexpr Entry<&I::mediaDescriptor_, "mediaDescriptor"> mediaDescriptorKey{};
    static constexpr Entry<&I::subtitles_, "subtitles"> subtitlesKey{};
    static constexpr Entry<&I::defaultSubtitle_, "defaultSubtitle"> defaultSubtitleKey{};
    static constexpr Entry<&I::selectedSubtitle_, "selectedSubtitle"> selectedSubtitleKey{};
    static constexpr Entry<&I::legibleMediaSelectionOptions_, "legibleMediaSelectionOptions">
        legibleMediaSelectionOptionsKey{};
    static constexpr Entry<&I::defaultLegibleMediaSelectionOption_, "defaultLegibleMediaSelectionOption">
        defaultLegibleMediaSelectionOptionKey{};
    static constexpr Entry<&I::selectedLegibleMediaSelectionOption_, "selectedLegibleMediaSelectionOption">
        selectedLegibleMediaSelectionOptionKey{};
    static constexpr Entry<&I::audibleMediaSelectionOptions_, "audibleMediaSelectionOptions">
        audibleMediaSelectionOptionsKey{};
    static constexpr Entry<&I::defaultAudibleMediaSelectionOption_, "defaultAudibleMediaSelectionOption">
        defaultAudibleMediaSelectionOptionKey{};
    static constexpr Entry<&I::selectedAudibleMediaSelectionOption_, "selectedAudibleMediaSelectionOption">
        selectedAudibleMediaSelectionOptionKey{};
    static constexpr Entry<&I::playerView_, "playerView"> playerViewKey{};
    static constexpr Entry<&I::playerState, "playerState", rt::readOnly, "session.state"> playerStateKey{};
    static constexpr Entry<&I::duration, "duration", rt::readOnly, "session.timeInfo.duration"> durationKey{};
    static constexpr Entry<&I::playbackTime, "playbackTime", rt::readOnly, "session.playbackTime"> playbackTimeKey{};
    static constexpr Entry<&I::fromSession<&CPPlaybackSession::viewerCount>, "viewerCount", rt::readOnly,
                           "session.viewerCount">
        viewerCountKey{};
    static constexpr Entry<&I::fromSession<&CPPlaybackSession::startDate>, "broadcastStartDate", rt::readOnly,
                           "session.startDate">
        broadcastStartDateKey{};
    static constexpr Entry<&I::fromSession<&CPPlaybackSession::pictureInPictureAvailable>, "pictureInPictureAvailable",
                           rt::readOnly, "session.pictureInPictureAvailable">
        pictureInPictureAvailableKey{};
    static constexpr Entry<&I::fromSession<&CPPlaybackSession::pictureInPictureActive>, "pictureInPictureActive",
                           rt::readOnly, "session.pictureInPictureActive">
        pictureInPictureActiveKey{};
    static constexpr Entry<&I::isPlayingLiveStream, "isPlayingLiveStream", rt::readOnly, "session.sourceType">
        isPlayingLiveStreamKey{};
    static constexpr Entry<&I::fromSession<&CPPlaybackSession::contentId>, "contentId", rt::readOnly,
                           "session.contentId">
        contentIdKey{};
    static constexpr Entry<&I::controlsVisible, "controlsVisible", rt::readOnly, "playerView.controlsVisible">
        controlsVisibleKey{};
    static constexpr Entry<&I::customToolbarPlaybackControlFactory, "customToolbarPlaybackControlFactory", rt::readOnly,
                           "customToolbarPlaybackControl">
        customToolbarPlaybackControlFactoryKey{};
};

template <class F> void QXQuorvexPlayerImpl::tellDelegate(F&& call) {
    if (auto delegate = delegate_.lock()) call(*delegate);
}

}  // namespace zid
