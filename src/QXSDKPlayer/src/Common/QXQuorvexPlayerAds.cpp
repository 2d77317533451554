// The facade's ads: the ad player laid behind the player view, the ad-timing policy asked
// ten times a second and on every change of the source's state, the content session
// suspended while an ad plays and resumed after it. A preroll that starts before the
// content has a player shows its first picture before the content's player is made: the
// content's pipeline would otherwise build and preroll beside the ad's on the same cores
// and hold that picture back. Made during the ad, the content is ready when the ad ends.
#include <rt/MainThread.h>
#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>

#include "Common/QXQuorvexPlayerImpl.h"
#include "Common/QXQuorvexPlayerListener.h"
#include "Common/ShownNumber.h"
#include "Common/ShownText.h"
#include <QXMediaPlayer/Ad/IMA/QXIMAVastBackend.h>
#include <fnd/RunLoop.h>
#include <ima/Backend.h>
#include <media/Asset.h>
#include <rt/Format.h>

#include <cmath>

namespace zid {

const char* const QXQuorvexPlayerAdPlacementKey = "placement";
const char* const QXQuorvexPlayerAdPlacementValuePreroll = "preroll";
const char* const QXQuorvexPlayerAdPlacementValueMidroll = "midroll";

namespace {
constexpr double kAdTickInterval = 0.1;
// The shortest ad-free interval taken: one tick. The policy is asked at each tick of the
// ad check (and when the source's state changes), so the interval is kept in ticks: every
// interval up to one tick gives the next ad at the first tick the content plays after
// the last, and a shorter one would promise a spacing the player cannot tell apart.
constexpr double kMinAdFreeInterval = kAdTickInterval;
// How long after a preroll's first picture the content's player waits to be made.
constexpr double kContentAfterAdPicture = 0.1;
constexpr unsigned kFlexibleWidthAndHeight = ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight;

// Gives the content back after an ad. The session's resume plays it again when it was
// playing at the ad's start; a content that is to play (auto-start, a play call during
// the ad) but was not playing then starts too. One still loading keeps that wish: the
// session's resume restarts a source that cannot continue with the start decided from
// whether it was playing, which it never was.
void resumeAfterAd(const rt::Ref<CPPlaybackSession>& session) {
    bool wantsToPlay = session->autoStart();
    session->resume();
    if (!wantsToPlay) return;
    CPSessionState state = session->state();
    if (state == CPSessionState::Loading && !session->autoStart())
        session->setAutoStart(true);
    else if (state == CPSessionState::Ready || state == CPSessionState::Paused)
        session->play();
}
}  // namespace

namespace {
/// Ads configured on a facade play through the process's ads backend; without one the
/// facade installs the one that fetches and plays VAST ads, so a host makes no set-up call.
void installAdsBackendIfNeeded() {
    if (!ima::installedBackend()) QXIMAVastBackend::install();
}
}  // namespace

namespace {
constexpr const char* kConfigureAds = "QXQuorvexPlayer: configureAdServiceWithGoogleIMATag: must be called with ";

/// Ads are fetched over HTTP: any other tag would fail each request, quietly, for ever.
void requireAdTag(const std::string& tag, const char* call) {
    if (!media::Asset::isSupportedURL(tag))
        QXQuorvexPlayerImpl::raiseParameterError(
            rt::format("%san http or https ad tag URL with a host, not \"%s\"!", call, shownText(tag)));
}
}  // namespace

void QXQuorvexPlayerImpl::assertIMAAvailable() {
    if (!ima::sdkClassNamed("AdsManager"))
        throw rt::Exception(QXQuorvexPlayerConfigurationError, "IMA SDK is not available.");
}

// Both configurations make the policy before the tag: setting the tag requests the first
// ad at once, and its placement depends on the policy's preroll.
void QXQuorvexPlayerImpl::configureAdServiceWithGoogleIMATag(const std::string& tag, const rt::Dictionary& customMetadata,
                                                         double minAdFreeTimeInterval, bool allowPreroll) {
    // Below one tick the interval says nothing the ad check can keep, and NaN would never
    // allow an ad.
    if (!std::isfinite(minAdFreeTimeInterval) || minAdFreeTimeInterval < kMinAdFreeInterval)
        raiseParameterError(rt::format("%sa minimum ad-free interval that is a finite number of seconds, at least %s "
                                       "(the ads are checked once every %s seconds), not %s!",
                                       kConfigureAds, shownNumber(kMinAdFreeInterval), shownNumber(kAdTickInterval),
                                       shownNumber(minAdFreeTimeInterval)));
    requireAdTag(tag, kConfigureAds);
    installAdsBackendIfNeeded();
    assertIMAAvailable();
    adManager_ = QXQuorvexPlayerAdManager::managerWithMinAdFreeTimeInterval(minAdFreeTimeInterval, allowPreroll);
    setGoogleIMATag(tag, customMetadata);
}

void QXQuorvexPlayerImpl::configureAdServiceWithGoogleIMATag(const std::string& tag, const rt::Dictionary& customMetadata,
                                                         const std::vector<double>& cuePoints, bool allowPreroll) {
    for (std::size_t i = 0; i < cuePoints.size(); ++i)
        if (!std::isfinite(cuePoints[i]) || cuePoints[i] < 0)
            raiseParameterError(rt::format("%scue points that are finite numbers of seconds, 0 or more, not %s (cue point %lld)!",
                                           kConfigureAds, shownNumber(cuePoints[i]), static_cast<long long>(i)));
    requireAdTag(tag, kConfigureAds);
    installAdsBackendIfNeeded();
    assertIMAAvailable();
    adManager_ = QXQuorvexPlayerAdManager::managerWithCuePoints(cuePoints, allowPreroll);
    setGoogleIMATag(tag, customMetadata);
}

void QXQuorvexPlayerImpl::setGoogleIMATag(const std::optional<std::string>& tag, const rt::Dictionary& customMetadata) {
    if (tag) requireAdTag(*tag, "QXQuorvexPlayer: setGoogleIMATag: must be called with no tag or ");
    googleIMATag_ = tag;
    removeAdPlayer();
    if (!tag) return;
    auto container = view();
    adPlayer_ = rt::make<QXIMAPlayer>(container->bounds(), *tag, customMetadata);
    adPlayer_->setAutoresizingMask(kFlexibleWidthAndHeight);
    container->addSubview(adPlayer_);
    // Behind the player view: hidden until an ad plays.
    container->sendSubviewToBack(adPlayer_);
    adPlayer_->setDelegate(listener_);
    adPlayer_->start();
    rt::Weak<QXQuorvexPlayer> weak = owner_.selfAs<QXQuorvexPlayer>();
    adTicker_ = fnd::RunLoop::main()->schedule(kAdTickInterval, true, [weak](fnd::Timer& timer) {
        if (auto self = weak.lock())
            QXQuorvexPlayerImpl::of(*self).playAdIfNeeded();
        else
            timer.invalidate();
    });
}

void QXQuorvexPlayerImpl::removeAdPlayer() {
    if (adTicker_) adTicker_->invalidate();
    adTicker_ = nullptr;
    if (!adPlayer_) return;
    rt::Ref<QXIMAPlayer> old = std::move(adPlayer_);
    adPlayer_ = nullptr;
    old->setDelegate(nullptr);
    old->removeFromSuperview();
    // An ad cut short still gives the content back.
    endAdOfContent();
    // The last reference: its request leaves the loader's queue and its ads are destroyed.
    old = nullptr;
}

void QXQuorvexPlayerImpl::endAdOfContent() {
    bool wasPlaying = playingAd_;
    if (auto session = std::move(adSuspendedSession_)) resumeAfterAd(session);
    adSuspendedSession_ = nullptr;
    letContentGo();
    playingAdKey.set(owner_, *this, false);
    if (!wasPlaying) return;
    if (auto delegate = delegate_.lock()) delegate->playerDidFinishPlayingAd(owner_);
}

void QXQuorvexPlayerImpl::setAdsDisabled(bool disabled) {
    adsDisabledKey.set(owner_, *this, disabled);
    if (disabled && adPlayer_ && adPlayer_->isPlaying()) adPlayer_->skip();
}

bool QXQuorvexPlayerImpl::adHoldsContent() const {
    return playingAd_ || (adPlayer_ && adPlayer_->isPlaying());
}

// The session makes its player as its source is realized, in the same pass as the
// facade's check of that change starts the preroll, before or after it: the player waits
// for an ad that has paused the content and not yet let it go, or one about to start.
void QXQuorvexPlayerImpl::sessionWillMakePlayer(CPPlaybackSession& session) {
    if (&session != session_.get() || adDeferredSession_ || session.playerDeferred()) return;
    bool adStarting = adHoldsContent() ? !adLetContentGo_ : (!adStartIgnored_ && allowAd());
    if (!adStarting) return;
    adDeferredSession_ = session_;
    session.setPlayerDeferred(true);
}

void QXQuorvexPlayerImpl::releaseContentFromAd() {
    if (contentAfterAdPicture_) contentAfterAdPicture_->invalidate();
    contentAfterAdPicture_ = nullptr;
    if (auto session = std::move(adDeferredSession_)) session->setPlayerDeferred(false);
    adDeferredSession_ = nullptr;
}

void QXQuorvexPlayerImpl::letContentGo() {
    adLetContentGo_ = true;
    releaseContentFromAd();
}

void QXQuorvexPlayerImpl::playAdIfNeeded() {
    if (allowAd()) adPlayer_->start();
    // The content waits only for an ad that pauses it or plays: one whose start did
    // neither is not waited for again.
    if (adDeferredSession_ && !adHoldsContent()) {
        adStartIgnored_ = true;
        releaseContentFromAd();
    }
}

bool QXQuorvexPlayerImpl::allowAd() const {
    if (adsDisabled_ || !adManager_ || hostSuspends_ > 0) return false;
    if (!adPlayer_ || !adPlayer_->adPrepared()) return false;
    if (!session_) return false;
    double time = session_->playbackTime();
    // A preroll may start before the content plays.
    if (session_->sourceState() == CPMediaSourceState::Realized && adManager_->prerollEnabled() && time == 0.0)
        return adManager_->allowAdAtMediaTime(time);
    if (session_->state() != CPSessionState::Playing) return false;
    return adManager_->allowAdAtMediaTime(time);
}

rt::Dictionary QXQuorvexPlayerImpl::QXIMAPlayerWillLoadAdWithCustomParameters(QXIMAPlayer&,
                                                                          const rt::Dictionary& parameters) {
    rt::Dictionary result = parameters;
    if (!result.contains(QXQuorvexPlayerAdPlacementKey)) {
        bool failed = session_ && session_->sourceState() >= CPMediaSourceState::Failed;
        double time = session_ ? session_->playbackTime() : 0.0;
        bool preroll = !failed && adManager_ && adManager_->prerollEnabled() && time == 0.0;
        result.set(QXQuorvexPlayerAdPlacementKey,
                   preroll ? QXQuorvexPlayerAdPlacementValuePreroll : QXQuorvexPlayerAdPlacementValueMidroll);
    }
    if (auto delegate = delegate_.lock()) return delegate->playerWillLoadAdWithCustomParameters(owner_, result);
    return result;
}

bool QXQuorvexPlayerImpl::QXIMAPlayerReadyToPlayAd(QXIMAPlayer&) {
    adStartIgnored_ = false;
    return allowAd();
}

void QXQuorvexPlayerImpl::QXIMAPlayerRequestContentPause(QXIMAPlayer& adPlayer) {
    if (&adPlayer != adPlayer_.get()) return;
    // Once per ad: the session's suspend stack stays balanced whatever the ads report.
    if (!adSuspendedSession_ && session_) {
        adSuspendedSession_ = session_;
        session_->suspend();
    }
    adLetContentGo_ = false;
    adStartIgnored_ = false;
    playingAdKey.set(owner_, *this, true);
    view()->bringSubviewToFront(adPlayer_);
    if (adManager_) adManager_->adStartedAtMediaTime(session_ ? session_->playbackTime() : 0.0);
    if (auto delegate = delegate_.lock()) delegate->playerStartingAd(owner_);
}

void QXQuorvexPlayerImpl::QXIMAPlayerRequestContentResume(QXIMAPlayer& adPlayer) {
    if (&adPlayer != adPlayer_.get()) return;
    if (auto session = std::move(adSuspendedSession_)) resumeAfterAd(session);
    adSuspendedSession_ = nullptr;
    // After the resume: a source the resume restarts gets its player once realized again.
    letContentGo();
    view()->sendSubviewToBack(adPlayer_);
    bool wasPlaying = playingAd_;
    playingAdKey.set(owner_, *this, false);
    if (!wasPlaying) return;
    if (auto delegate = delegate_.lock()) delegate->playerDidFinishPlayingAd(owner_);
}

// The content's player is made a moment after the ad's first picture, not in its pass:
// the views that show that picture hear of it after the ad player does, and the ad's
// first frames go first.
void QXQuorvexPlayerImpl::QXIMAPlayerDidStartAd(QXIMAPlayer& adPlayer) {
    if (&adPlayer != adPlayer_.get()) return;
    adLetContentGo_ = true;
    if (!adDeferredSession_) return;
    rt::Weak<QXQuorvexPlayer> weak = owner_.selfAs<QXQuorvexPlayer>();
    if (contentAfterAdPicture_) contentAfterAdPicture_->invalidate();
    contentAfterAdPicture_ = fnd::RunLoop::main()->after(kContentAfterAdPicture, [weak] {
        if (auto self = weak.lock()) QXQuorvexPlayerImpl::of(*self).letContentGo();
    });
}

double QXQuorvexPlayerImpl::QXIMAPlayerRequestContentTime(QXIMAPlayer&) {
    return session_ ? session_->playbackTime() : 0.0;
}

void QXQuorvexPlayerImpl::QXIMAPlayerDidFinishPlayingAds(QXIMAPlayer& adPlayer) {
    if (&adPlayer != adPlayer_.get()) return;
    if (adManager_ && adManager_->wantsMoreAd()) adPlayer_->start();
}

void QXQuorvexPlayerImpl::QXIMAPlayerDidFailWithError(QXIMAPlayer& adPlayer, const rt::Ref<rt::Error>& error) {
    // A failing ad holds the content back no longer, whether or not it ends at once.
    if (&adPlayer == adPlayer_.get()) letContentGo();
    if (auto delegate = delegate_.lock()) delegate->playerReceivedAdError(owner_, error);
}

// ---- the public calls ------------------------------------------------------------------------------

void QXQuorvexPlayer::configureAdServiceWithGoogleIMATag(const std::string& tag, const rt::Dictionary& customMetadata,
                                                         double minAdFreeTimeInterval, bool allowPreroll) {
    RT_MAIN_THREAD_ONLY();
    QXQuorvexPlayerImpl::requireMainThread("configureAdServiceWithGoogleIMATag");
    impl_->configureAdServiceWithGoogleIMATag(tag, customMetadata, minAdFreeTimeInterval, allowPreroll);
}

void QXQuorvexPlayer::configureAdServiceWithGoogleIMATag(const std::string& tag, const rt::Dictionary& customMetadata,
                                                         const std::vector<double>& cuePoints, bool allowPreroll) {
    RT_MAIN_THREAD_ONLY();
    QXQuorvexPlayerImpl::requireMainThread("configureAdServiceWithGoogleIMATag");
    impl_->configureAdServiceWithGoogleIMATag(tag, customMetadata, cuePoints, allowPreroll);
}

void QXQuorvexPlayer::setGoogleIMATag(const std::optional<std::string>& tag, const rt::Dictionary& customMetadata) {
    RT_MAIN_THREAD_ONLY();
    QXQuorvexPlayerImpl::hostCall<&QXQuorvexPlayerImpl::setGoogleIMATag>(*this, "setGoogleIMATag", tag, customMetadata);
}

std::optional<std::string> QXQuorvexPlayer::googleIMATag() const {
    RT_MAIN_THREAD_ONLY();
    QXQuorvexPlayerImpl::requireMainThread("googleIMATag");
    return impl_->googleIMATag_;
}

}  // namespace zid
