// Configuration, construction and the playing road of the facade.
#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>

#include "Common/QXHostValueCheck.h"
#include "Common/QXQuorvexPlayerImpl.h"
#include "Common/QXQuorvexPlayerListener.h"
#include "Common/ShownNumber.h"
#include "Common/ShownText.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cmath>
#include <mutex>
#include <string_view>

#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPDefaultPlaybackControlFactory.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>
#include <QXCorePlayer/Core/View/QXPlayerView.h>
#include <QXFoundation/Audio/AudioSessionManager.h>
#include <QXFoundation/Device/DeviceType.h>
#include <QXFoundation/Extensions/ResourceDirectoryCheck.h>
#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Log/QXLogger.h>
#include <QXSDKPlayer/Common/ConstPlaybackControlFactory.h>
#include <QXSDKPlayer/Common/QXSourceChain.h>
#include <QXUIKit/Presentation/QXPresentation.h>
#include <dev/Device.h>
#include <media/Engine.h>
#include <net/Pem.h>
#include <rt/MainThread.h>
#include <rt/Format.h>

namespace zid {

namespace {
constexpr const char* kLogModule = "ZIDoredider/QXSDKPlayer/Common";
std::optional<std::string> configuredApiKey;
}  // namespace

const std::optional<std::string>& QXQuorvexPlayerApiKey = configuredApiKey;
const char* const QXQuorvexPlayerConfigurationError = "QXQuorvexPlayerConfigurationError";
const char* const QXQuorvexPlayerParameterError = "QXQuorvexPlayerParameterError";
const char* const QXQuorvexPlayerThreadError = "QXQuorvexPlayerThreadError";

void QXQuorvexPlayer::configureWithApiKey(const std::optional<std::string>& apiKey) {
    QXQuorvexPlayerImpl::requireMainThread("configureWithApiKey");
    if (!apiKey) QXQuorvexPlayerImpl::raiseParameterError("QXQuorvexPlayer: must be configured with a non-nil api key!");
    if (apiKey->empty())
        QXQuorvexPlayerImpl::raiseParameterError("QXQuorvexPlayer: must be configured with a non-empty api key!");
    if (QXHostValueCheck::isBlank(*apiKey))
        QXQuorvexPlayerImpl::raiseParameterError(
            "QXQuorvexPlayer: must be configured with an api key, not with white space alone!");
    if (std::string problem = QXHostValueCheck::headerValueProblem(*apiKey, "an api key"); !problem.empty())
        QXQuorvexPlayerImpl::raiseParameterError("QXQuorvexPlayer: must be configured with " + problem);
    configuredApiKey = apiKey;
    // The facade's presentations follow the process-wide presentation rule; a host
    // makes no set-up call of its own.
    installQXPresentation();
}

void QXQuorvexPlayer::configureMediaServer(const QXMediaServerSettings& settings) {
    QXQuorvexPlayerImpl::requireMainThread("configureMediaServer");
    QXHostValueCheck::requireMediaServerSettings(settings, "QXQuorvexPlayer: configureMediaServer");
    SDKVexaFactory::setMediaServerSettings(settings);
}

QXMediaServerSettings QXQuorvexPlayer::mediaServerSettings() {
    QXQuorvexPlayerImpl::requireMainThread("mediaServerSettings");
    return SDKVexaFactory::mediaServerSettings();
}

rt::Ref<QXQuorvexPlayer> QXQuorvexPlayer::player() {
    QXQuorvexPlayerImpl::requireMainThread("player");
    return rt::make<QXQuorvexPlayer>();
}

void QXQuorvexPlayerImpl::requireConfigured() {
    if (!QXQuorvexPlayerApiKey)
        throw rt::Exception(QXQuorvexPlayerConfigurationError,
                            "QXQuorvexPlayer must be configured with `+[QXQuorvexPlayer configureWithApiKey:]` before use.");
}

void QXQuorvexPlayerImpl::raiseParameterError(const std::string& reason) {
    throw rt::Exception(QXQuorvexPlayerParameterError, reason);
}

void QXQuorvexPlayerImpl::setApiKey(const std::optional<std::string>& key) { configuredApiKey = key; }

void QXQuorvexPlayerImpl::checkMainThreadSlowly(const char* call) {
    if (!fnd::RunLoop::isMainThread()) raiseThreadError(call);
}

void QXQuorvexPlayerImpl::raiseThreadError(std::string_view call) {
    std::string qualified = call.find("::") == std::string_view::npos ? "QXQuorvexPlayer::" + std::string(call)
                                                                      : std::string(call);
    throw rt::Exception(QXQuorvexPlayerThreadError,
                        rt::format("%@ was called on %@, not on the main thread (the thread of the main run loop): the "
                                   "player runs on the main thread only; post the call to fnd::RunLoop::main().",
                                   qualified, rt::MainThread::describeCurrentThread()));
}

namespace {
// Installed when the library is loaded: a host meets the facade's thread error from any
// object it reaches, before it made a player.
[[maybe_unused]] const bool threadErrorInstalled =
    (rt::MainThread::setRefusal(&QXQuorvexPlayerImpl::raiseThreadError), true);
}  // namespace

QXQuorvexPlayer::QXQuorvexPlayer() {
    QXQuorvexPlayerImpl::requireMainThread("QXQuorvexPlayer()");
    QXQuorvexPlayerImpl::requireConfigured();
    impl_ = std::make_unique<QXQuorvexPlayerImpl>(*this);
}

QXQuorvexPlayer::~QXQuorvexPlayer() = default;

QXQuorvexPlayerImpl::QXQuorvexPlayerImpl(QXQuorvexPlayer& owner) : owner_(owner) {
    installQXPresentation();
    listener_ = rt::make<QXQuorvexPlayerListener>(*this);
    customToolbarPlaybackControl_ = rt::make<CPToolbarPlaybackControl>();
    vexaFactory_ = rt::make<SDKVexaFactory>(QXQuorvexPlayerDefaultVexaCluster, SDKVexaFactory::mediaServerSettings().host,
                                            *QXQuorvexPlayerApiKey);
    playerControlStyle_ = QXPlayerControlStyle::Default;
    loadingTimeout_ = 10.0;
    playerFactory_ = rt::make<CPPlayerFactory>();
    resourceError_ = resourceError();
    error_ = resourceError_;
    // The media engine gets ready while the host is still asking for a channel: its URL
    // comes a round trip later, and the first picture need not wait for an engine to start.
    media::Engine::shared()->prepare();
}

QXQuorvexPlayerImpl::~QXQuorvexPlayerImpl() = default;

void QXQuorvexPlayer::didInitialize() {
    rt::Object::didInitialize();
    impl_->didInitialize();
}

void QXQuorvexPlayerImpl::didInitialize() {
    auto me = owner_.self();
    // The loading timeout reaches the facade's player factory and the factory of the
    // session it plays (another one for a session made elsewhere).
    observations_.push_back(rt::observe(me, "loadingTimeout", rt::KVONew | rt::KVOInitial, [this](const rt::KVOChange&) {
        if (playerFactory_) playerFactory_->setLoadingTimeout(loadingTimeout_);
        bindLoadingTimeout(session_);
    }));
    observations_.push_back(rt::observe(me, "session.title", rt::KVONew | rt::KVOInitial, [this](const rt::KVOChange&) {
        contentTitleKey.set(owner_, *this, session_ ? session_->title() : std::string());
    }));
    view();
    installTriggers();
    observations_.push_back(rt::observe(me, "playerControlStyle", rt::KVONew | rt::KVOInitial, [this](const rt::KVOChange&) {
        rt::Ref<ICPPlaybackControlFactory> factory;
        switch (playerControlStyle_) {
            case QXPlayerControlStyle::CustomToolbar: factory = customToolbarPlaybackControlFactory(); break;
            case QXPlayerControlStyle::Default:
                if (!defaultControlFactory_) defaultControlFactory_ = rt::make<CPDefaultPlaybackControlFactory>();
                factory = defaultControlFactory_;
                break;
            default: break;  // None and any style without a case: no control
        }
        playbackControlFactoryKey.set(owner_, *this, factory);
    }));
    for (const char* path : {"session.error", "session.source.error"})
        observations_.push_back(
            rt::observe(me, path, rt::KVONew | rt::KVOInitial, [this](const rt::KVOChange&) { refreshError(); }));
    installSelectionBindings();
    followFirstPicture();
    // Live while playing content the source reports online.
    observations_.push_back(rt::observe(me, "playerState", rt::KVONew | rt::KVOInitial, [this](const rt::KVOChange&) { updateLive(); }));
    observations_.push_back(rt::observe(me, "session.online", rt::KVONew | rt::KVOInitial, [this](const rt::KVOChange&) { updateLive(); }));
    setEnableLogging(true);
}

const rt::Ref<ui::View>& QXQuorvexPlayerImpl::view() {
    if (!view_) view_ = rt::make<ui::View>(ui::Rect(0, 0, 100, 100));
    if (!playerView_) {
        playerView_ = rt::make<CPPlayerView>(ui::Rect(0, 0, 100, 100), playbackControlFactory_);
        playerView_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
        addListener(*playerView_, listener_);
        auto me = owner_.self();
        observations_.push_back(rt::observe(me, "session", rt::KVONew | rt::KVOInitial, [this](const rt::KVOChange&) {
            playerView_->setSession(session_);
        }));
        observations_.push_back(
            rt::observe(me, "playbackControlFactory", rt::KVONew | rt::KVOInitial,
                        [this](const rt::KVOChange&) { playerView_->setPlaybackControlFactory(playbackControlFactory_); }));
        view_->addSubview(playerView_);
    }
    return view_;
}

void QXQuorvexPlayerImpl::setSession(const rt::Ref<CPPlaybackSession>& session) {
    if (session == session_) return;
    // A content that is no longer the facade's is not held back for its ad.
    releaseContentFromAd();
    if (session_) removeListener(*session_, *listener_);
    sessionKey.set(owner_, *this, session);
    if (session_) {
        addListener(*session_, listener_);
        bindLoadingTimeout(session_);
    }
    // Content the host plays during an ad waits, paused, until the ad is over: the ad's
    // end resumes this session instead of the one the ad paused (which is no longer the
    // facade's and stays paused), so two contents never play at once nor under the ad.
    if (playingAd_ && adSuspendedSession_ != session_) {
        adSuspendedSession_ = session_;
        if (session_) session_->suspend();
    }
}

void QXQuorvexPlayerImpl::bindLoadingTimeout(const rt::Ref<CPPlaybackSession>& session) {
    if (session && session->playerFactory()) session->playerFactory()->setLoadingTimeout(loadingTimeout_);
}

// ---- playing -----------------------------------------------------------------------------------

void QXQuorvexPlayerImpl::playChannel(const std::optional<std::string>& channelID) {
    requireConfigured();
    if (!channelID) raiseParameterError("QXQuorvexPlayer: playChannel: must be called with a non-nil channel identifier!");
    playMedia(QXMediaDescriptor::liveDescriptorWithID(*channelID), true);
}

void QXQuorvexPlayerImpl::playRecorded(const std::optional<std::string>& videoID) {
    requireConfigured();
    if (!videoID) raiseParameterError("QXQuorvexPlayer: playRecorded: must be called with a non-nil video identifier!");
    playMedia(QXMediaDescriptor::recordedDescriptorWithID(*videoID), true);
}

void QXQuorvexPlayerImpl::playMedia(const rt::Ref<QXMediaDescriptor>& descriptor, bool autoplay) {
    requireConfigured();
    if (!descriptor)
        raiseParameterError("QXQuorvexPlayer: playMedia:autoplay: must be called with a non-nil media descriptor!");
    mediaDescriptorKey.set(owner_, *this, descriptor);
    auto chain = QXSourceChain::forDescriptor(*descriptor, vexaFactory_);
    playSource(chain.source, autoplay, chain.rewindOnFinish);
}

void QXQuorvexPlayerImpl::playURL(const std::optional<std::string>& url, QXStreamKind kind, bool autoplay) {
    requireConfigured();
    if (!url) raiseParameterError("QXQuorvexPlayer: playURL: must be called with a non-nil URL!");
    auto source = CPURLMediaSource::sourceWithMediaURL(*url);
    source->setSourceType(kind == QXStreamKind::Live ? CPMediaSourceType::LiveChannel : CPMediaSourceType::Recorded);
    playSource(source, autoplay, false);
}

void QXQuorvexPlayerImpl::playSource(const rt::Ref<ICPMediaSource>& source, bool autoplay, bool rewindOnFinish) {
    AudioSessionManager::instance()->beginPlaybackSession();
    requireConfigured();
    if (!source)
        raiseParameterError("QXQuorvexPlayer: playSource:autoplay:rewindOnFinish: must be called with a non-nil media source!");
    auto session = CPPlaybackSession::sessionWithMediaSource(source, playerFactory_);
    setSession(session);
    session->setAutoStart(autoplay);
    session->setRewindOnFinish(rewindOnFinish);
    bindLoadingTimeout(session);
    session->prepareToPlay();
}

void QXQuorvexPlayerImpl::play() {
    AudioSessionManager::instance()->beginPlaybackSession();
    // The content an ad holds plays when the ad is over, never under it.
    if (playingAd_ && session_ && session_ == adSuspendedSession_) {
        session_->setAutoStart(true);
        return;
    }
    if (session_) session_->play();
}

void QXQuorvexPlayerImpl::setMuted(bool muted) {
    mutedKey.set(owner_, *this, muted);
    if (session_) session_->setMuted(muted);
}

void QXQuorvexPlayerImpl::setContinuePlaybackInBackground(bool flag) {
    continuePlaybackInBackgroundKey.set(owner_, *this, flag);
    if (session_) session_->setContinuePlaybackInBackground(flag);
}

// While an ad plays, suspend and resume go to the ad player (a resume without a suspend
// there only logs), otherwise to the session. No ad starts while a suspend of the host
// stands (nobody would see it); one still due starts when the host resumes.
void QXQuorvexPlayerImpl::suspend() {
    if (playingAd_ && adPlayer_) {
        adPlayer_->suspend();
        return;
    }
    ++hostSuspends_;
    if (session_) session_->suspend();
}

void QXQuorvexPlayerImpl::resume() {
    AudioSessionManager::instance()->beginPlaybackSession();
    if (playingAd_ && adPlayer_) {
        adPlayer_->resume();
        return;
    }
    if (hostSuspends_ > 0) --hostSuspends_;
    if (session_) session_->resume();
    if (hostSuspends_ == 0 && adPlayer_) playAdIfNeeded();
}

// The first picture: the player layer of whatever the player view presents says when it
// is ready for display; a new presentation (a new session's player) starts again at NO.
void QXQuorvexPlayerImpl::followFirstPicture() {
    auto follow = [this] {
        firstPictureObservation_.remove();
        auto video = playerView_ ? rt::cast<QXPlayerView>(playerView_->presentationLayer()) : nullptr;
        auto layer = video ? video->playerLayer() : nullptr;
        readyForDisplayKey.set(owner_, *this, layer && layer->isReadyForDisplay());
        if (layer)
            firstPictureObservation_ = rt::observe(*layer, media::PlayerLayer::readyForDisplayKey, owner_,
                                                   [](QXQuorvexPlayer& self, bool, bool ready) {
                                                       auto& impl = QXQuorvexPlayerImpl::of(self);
                                                       readyForDisplayKey.set(self, impl, ready);
                                                   });
    };
    observations_.push_back(rt::observe(owner_.self(), "playerView.presentationLayer", rt::KVONew | rt::KVOInitial,
                                        [follow](const rt::KVOChange&) { follow(); }));
}

void QXQuorvexPlayerImpl::setEnableLogging(bool enable) {
    enableLoggingKey.set(owner_, *this, enable);
    if (!enable) return;
    static std::once_flag once;
    std::call_once(once, [] {
        auto device = dev::Device::current();
        QXLogger::defaultLogger()->logRecord(rt::make<QXLogRecord>(
            kLogModule, rt::Value(), 0,
            rt::format("device_type: %d device: `%@` device_name: `%@` system: `%@ (%@)`", deviceType(device),
                       device->model(), device->name(), device->systemName(), device->systemVersion()),
            4));
    });
}


void QXQuorvexPlayerImpl::setLoadingTimeout(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0)
        raiseParameterError(rt::format("QXQuorvexPlayer: setLoadingTimeout: must be called with 0 (no limit) or a "
                                       "finite number of seconds above 0, not %s!",
                                       shownNumber(seconds)));
    // -0 reads back as the 0 it means.
    loadingTimeoutKey.set(owner_, *this, seconds == 0 ? 0.0 : seconds);
}

rt::Ref<rt::Error> QXQuorvexPlayerImpl::resourceError() {
    std::string problem = resourceDirectoryProblem();
    if (problem.empty()) return nullptr;
    return rt::Error::withDescription(QXQuorvexPlayerErrorDomain, static_cast<long>(QXQuorvexPlayerErrorCode::Unknown),
                                      problem);
}

// ---- the public calls: each checks the thread, then the inside does the work -----------------

namespace {
using Impl = QXQuorvexPlayerImpl;
}  // namespace

const rt::Ref<ui::View>& QXQuorvexPlayer::view() {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostCall<&Impl::view>(*this, "view");
}

void QXQuorvexPlayer::playChannel(const std::optional<std::string>& channelID) {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&Impl::playChannel>(*this, "playChannel", channelID);
}

void QXQuorvexPlayer::playRecorded(const std::optional<std::string>& videoID) {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&Impl::playRecorded>(*this, "playRecorded", videoID);
}

void QXQuorvexPlayer::playMedia(const rt::Ref<QXMediaDescriptor>& descriptor) {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&Impl::playMedia>(*this, "playMedia", descriptor, true);
}

void QXQuorvexPlayer::playMedia(const rt::Ref<QXMediaDescriptor>& descriptor, bool autoplay) {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&Impl::playMedia>(*this, "playMedia", descriptor, autoplay);
}

void QXQuorvexPlayer::playURL(const std::optional<std::string>& url, QXStreamKind kind, bool autoplay) {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&Impl::playURL>(*this, "playURL", url, kind, autoplay);
}

void QXQuorvexPlayer::play() { RT_MAIN_THREAD_ONLY(); Impl::hostCall<&Impl::play>(*this, "play"); }

void QXQuorvexPlayer::pause() { RT_MAIN_THREAD_ONLY(); Impl::hostCall<&CPPlaybackSession::pause>(*this, "pause"); }

void QXQuorvexPlayer::seekTo(double seconds) {
    RT_MAIN_THREAD_ONLY();
    if (!std::isfinite(seconds) || seconds < 0)
        Impl::raiseParameterError(rt::format(
            "QXQuorvexPlayer: seekTo: must be called with a finite number of seconds at or above 0, not %s!",
            shownNumber(seconds)));
    Impl::hostCall<&CPPlaybackSession::seekTo>(*this, "seekTo", seconds);
}

void QXQuorvexPlayer::suspend() { RT_MAIN_THREAD_ONLY(); Impl::hostCall<&Impl::suspend>(*this, "suspend"); }

void QXQuorvexPlayer::resume() { RT_MAIN_THREAD_ONLY(); Impl::hostCall<&Impl::resume>(*this, "resume"); }

void QXQuorvexPlayer::continueWithPassword(const std::string& password) {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&CPPlaybackSession::continueWithPassword>(*this, "continueWithPassword", password);
}

void QXQuorvexPlayer::continueWithHash(const std::string& hash) {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&CPPlaybackSession::continueWithHash>(*this, "continueWithHash", hash);
}

void QXQuorvexPlayer::continueWithBirthdate(const rt::Date& birthdate) {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&CPPlaybackSession::continueWithBirthdate>(*this, "continueWithBirthdate", birthdate);
}

void QXQuorvexPlayer::continueWithAgeConfirmed() {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&CPPlaybackSession::continueWithAgeConfirmed>(*this, "continueWithAgeConfirmed");
}

std::shared_ptr<QXPlayerDelegate> QXQuorvexPlayer::delegate() const {
    RT_MAIN_THREAD_ONLY();
    Impl::requireMainThread("delegate");
    return impl_->delegate_.lock();
}

void QXQuorvexPlayer::setDelegate(const std::shared_ptr<QXPlayerDelegate>& delegate) {
    RT_MAIN_THREAD_ONLY();
    Impl::requireMainThread("setDelegate");
    impl_->delegate_ = delegate;
}

rt::Ref<ui::ViewController> QXQuorvexPlayer::presentingViewController() const {
    RT_MAIN_THREAD_ONLY();
    Impl::requireMainThread("presentingViewController");
    return impl_->presentingViewController_.lock();
}

void QXQuorvexPlayer::setPresentingViewController(const rt::Ref<ui::ViewController>& controller) {
    RT_MAIN_THREAD_ONLY();
    Impl::requireMainThread("setPresentingViewController");
    impl_->presentingViewController_ = controller;
}

rt::Ref<rt::Error> QXQuorvexPlayer::error() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::errorKey);
}

std::optional<QXQuorvexPlayerErrorCode> QXQuorvexPlayer::errorCode() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostCall<&Impl::errorCode>(*this, "errorCode");
}

double QXQuorvexPlayer::loadingTimeout() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::loadingTimeoutKey);
}

void QXQuorvexPlayer::setLoadingTimeout(double seconds) {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&Impl::setLoadingTimeout>(*this, "setLoadingTimeout", seconds);
}

QXPlayerControlStyle QXQuorvexPlayer::playerControlStyle() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::playerControlStyleKey);
}

void QXQuorvexPlayer::setPlayerControlStyle(QXPlayerControlStyle style) {
    RT_MAIN_THREAD_ONLY();
    Impl::requireMainThread("setPlayerControlStyle");
    if (style != QXPlayerControlStyle::None && style != QXPlayerControlStyle::CustomToolbar &&
        style != QXPlayerControlStyle::Default)
        Impl::raiseParameterError(rt::format("QXQuorvexPlayer: setPlayerControlStyle: must be called with None (0), "
                                             "CustomToolbar (1) or Default (2), not %@!",
                                             // As the caller wrote it: -1, not 2^64 - 1.
                                             static_cast<long long>(static_cast<unsigned long>(style))));
    Impl::playerControlStyleKey.set(*this, *impl_, style);
}

bool QXQuorvexPlayer::muted() const { RT_MAIN_THREAD_ONLY(); return Impl::hostRead(*this, Impl::mutedKey); }

void QXQuorvexPlayer::setMuted(bool muted) {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&Impl::setMuted>(*this, "setMuted", muted);
}

bool QXQuorvexPlayer::continuePlaybackInBackground() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::continuePlaybackInBackgroundKey);
}

void QXQuorvexPlayer::setContinuePlaybackInBackground(bool flag) {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&Impl::setContinuePlaybackInBackground>(*this, "setContinuePlaybackInBackground", flag);
}

bool QXQuorvexPlayer::adsDisabled() const { RT_MAIN_THREAD_ONLY(); return Impl::hostRead(*this, Impl::adsDisabledKey); }

void QXQuorvexPlayer::setAdsDisabled(bool disabled) {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&Impl::setAdsDisabled>(*this, "setAdsDisabled", disabled);
}

bool QXQuorvexPlayer::playingAd() const { RT_MAIN_THREAD_ONLY(); return Impl::hostRead(*this, Impl::playingAdKey); }

std::string QXQuorvexPlayer::contentTitle() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::contentTitleKey);
}

bool QXQuorvexPlayer::isLive() const { RT_MAIN_THREAD_ONLY(); return Impl::hostRead(*this, Impl::isLiveKey); }

bool QXQuorvexPlayer::readyForDisplay() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::readyForDisplayKey);
}

bool QXQuorvexPlayer::enableLogging() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::enableLoggingKey);
}

void QXQuorvexPlayer::setEnableLogging(bool enable) {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&Impl::setEnableLogging>(*this, "setEnableLogging", enable);
}

rt::Ref<QXMediaDescriptor> QXQuorvexPlayer::mediaDescriptor() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::mediaDescriptorKey);
}

}  // namespace zid
