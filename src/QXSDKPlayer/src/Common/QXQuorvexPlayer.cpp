// Configuration, construction and the playing road of the facade.
#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>

#include "Common/QXQuorvexPlayerInternals.h"

#include <mutex>

#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPDefaultPlaybackControlFactory.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>
#include <QXCorePlayer/Core/View/QXPlayerView.h>
#include <QXFoundation/Audio/AudioSessionManager.h>
#include <QXFoundation/Device/DeviceType.h>
#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Log/QXLogger.h>
#include <QXSDKPlayer/Common/ConstPlaybackControlFactory.h>
#include <QXSDKPlayer/Common/QXSourceChain.h>
#include <QXUIKit/Presentation/QXPresentation.h>
#include <dev/Device.h>
#include <rt/Format.h>

namespace zid {

std::optional<std::string> QXQuorvexPlayerApiKey;
const char* const QXQuorvexPlayerConfigurationError = "QXQuorvexPlayerConfigurationError";
const char* const QXQuorvexPlayerParameterError = "QXQuorvexPlayerParameterError";

namespace {
constexpr const char* kLogModule = "ZIDoredider/QXSDKPlayer/Common";
}  // namespace

void QXQuorvexPlayer::configureWithApiKey(const std::optional<std::string>& apiKey) {
    if (!apiKey) raiseParameterError("QXQuorvexPlayer: must be configured with a non-nil api key!");
    QXQuorvexPlayerApiKey = apiKey;
    // The facade's presentations follow the process-wide presentation rule; a host
    // makes no set-up call of its own.
    installQXPresentation();
}

void QXQuorvexPlayer::configureMediaServer(const QXMediaServerSettings& settings) {
    SDKVexaFactory::setMediaServerSettings(settings);
}

QXMediaServerSettings QXQuorvexPlayer::mediaServerSettings() { return SDKVexaFactory::mediaServerSettings(); }

rt::Ref<QXQuorvexPlayer> QXQuorvexPlayer::playerWithSession(const rt::Ref<CPPlaybackSession>& session) {
    auto player = QXQuorvexPlayer::player();
    player->setSession(session);
    return player;
}

void QXQuorvexPlayer::requireConfigured() {
    if (!QXQuorvexPlayerApiKey)
        throw rt::Exception(QXQuorvexPlayerConfigurationError,
                            "QXQuorvexPlayer must be configured with `+[QXQuorvexPlayer configureWithApiKey:]` before use.");
}

void QXQuorvexPlayer::raiseParameterError(const std::string& reason) {
    throw rt::Exception(QXQuorvexPlayerParameterError, reason);
}

QXQuorvexPlayer::QXQuorvexPlayer() {
    requireConfigured();
    installQXPresentation();
    listener_ = rt::make<QXQuorvexPlayerListener>(*this);
    customToolbarPlaybackControl_ = rt::make<CPToolbarPlaybackControl>();
    vexaFactory_ = rt::make<SDKVexaFactory>(QXQuorvexPlayerDefaultVexaCluster, SDKVexaFactory::mediaServerSettings().host,
                                            *QXQuorvexPlayerApiKey);
    playerControlStyle_ = QXPlayerControlStyle::Default;
    loadingTimeout_ = 10.0;
    playerFactory_ = rt::make<CPPlayerFactory>();
}

void QXQuorvexPlayer::didInitialize() {
    rt::Object::didInitialize();
    auto me = self();
    // The loading timeout reaches the facade's player factory and the factory of the
    // session it plays (another one for a session made elsewhere).
    observations_.push_back(rt::observe(me, "loadingTimeout", rt::KVONew | rt::KVOInitial, [this](const rt::KVOChange&) {
        if (playerFactory_) playerFactory_->setLoadingTimeout(loadingTimeout_);
        bindLoadingTimeout(session_);
    }));
    observations_.push_back(rt::observe(me, "session.title", rt::KVONew | rt::KVOInitial, [this](const rt::KVOChange&) {
        contentTitleStore.set(*this, session_ ? session_->title() : std::string());
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
        playbackControlFactoryStore.set(*this, factory);
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

const rt::Ref<ui::View>& QXQuorvexPlayer::view() {
    if (!view_) view_ = rt::make<ui::View>(ui::Rect(0, 0, 100, 100));
    if (!playerView_) {
        playerView_ = rt::make<CPPlayerView>(ui::Rect(0, 0, 100, 100), playbackControlFactory_);
        playerView_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
        addListener(*playerView_, listener_);
        auto me = self();
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

void QXQuorvexPlayer::setSession(const rt::Ref<CPPlaybackSession>& session) {
    if (session == session_) return;
    if (session_) removeListener(*session_, *listener_);
    sessionStore.set(*this, session);
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

void QXQuorvexPlayer::bindLoadingTimeout(const rt::Ref<CPPlaybackSession>& session) {
    if (session && session->playerFactory()) session->playerFactory()->setLoadingTimeout(loadingTimeout_);
}

// ---- playing -----------------------------------------------------------------------------------

void QXQuorvexPlayer::playChannel(const std::optional<std::string>& channelID) {
    requireConfigured();
    if (!channelID) raiseParameterError("QXQuorvexPlayer: playChannel: must be called with a non-nil channel identifier!");
    playMedia(QXMediaDescriptor::liveDescriptorWithID(*channelID));
}

void QXQuorvexPlayer::playRecorded(const std::optional<std::string>& videoID) {
    requireConfigured();
    if (!videoID) raiseParameterError("QXQuorvexPlayer: playRecorded: must be called with a non-nil video identifier!");
    playMedia(QXMediaDescriptor::recordedDescriptorWithID(*videoID));
}

void QXQuorvexPlayer::playMedia(const rt::Ref<QXMediaDescriptor>& descriptor, bool autoplay) {
    requireConfigured();
    if (!descriptor)
        raiseParameterError("QXQuorvexPlayer: playMedia:autoplay: must be called with a non-nil media descriptor!");
    mediaDescriptorStore.set(*this, descriptor);
    auto chain = QXSourceChain::forDescriptor(*descriptor, vexaFactory_);
    playSource(chain.source, autoplay, chain.rewindOnFinish);
}

void QXQuorvexPlayer::playURL(const std::optional<std::string>& url, QXStreamKind kind, bool autoplay) {
    requireConfigured();
    if (!url) raiseParameterError("QXQuorvexPlayer: playURL: must be called with a non-nil URL!");
    auto source = CPURLMediaSource::sourceWithMediaURL(*url);
    source->setSourceType(kind == QXStreamKind::Live ? CPMediaSourceType::LiveChannel : CPMediaSourceType::Recorded);
    playSource(source, autoplay, false);
}

void QXQuorvexPlayer::playSource(const rt::Ref<ICPMediaSource>& source, bool autoplay, bool rewindOnFinish) {
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

void QXQuorvexPlayer::play() {
    AudioSessionManager::instance()->beginPlaybackSession();
    // The content an ad holds plays when the ad is over, never under it.
    if (playingAd_ && session_ && session_ == adSuspendedSession_) {
        session_->setAutoStart(true);
        return;
    }
    if (session_) session_->play();
}

void QXQuorvexPlayer::pause() {
    if (session_) session_->pause();
}

void QXQuorvexPlayer::seekTo(double seconds) {
    if (session_) session_->seekTo(seconds);
}

void QXQuorvexPlayer::setMuted(bool muted) {
    mutedKey.set(*this, muted);
    if (session_) session_->setMuted(muted);
}

void QXQuorvexPlayer::setContinuePlaybackInBackground(bool flag) {
    continuePlaybackInBackgroundKey.set(*this, flag);
    if (session_) session_->setContinuePlaybackInBackground(flag);
}

// While an ad plays, suspend and resume go to the ad player (a resume without a suspend
// there only logs), otherwise to the session. No ad starts while a suspend of the host
// stands (nobody would see it); one still due starts when the host resumes.
void QXQuorvexPlayer::suspend() {
    if (playingAd_ && adPlayer_) {
        adPlayer_->suspend();
        return;
    }
    ++hostSuspends_;
    if (session_) session_->suspend();
}

void QXQuorvexPlayer::resume() {
    AudioSessionManager::instance()->beginPlaybackSession();
    if (playingAd_ && adPlayer_) {
        adPlayer_->resume();
        return;
    }
    if (hostSuspends_ > 0) --hostSuspends_;
    if (session_) session_->resume();
    if (hostSuspends_ == 0 && adPlayer_) playAdIfNeeded();
}

void QXQuorvexPlayer::continueWithPassword(const std::string& password) {
    if (session_) session_->continueWithPassword(password);
}

void QXQuorvexPlayer::continueWithHash(const std::string& hash) {
    if (session_) session_->continueWithHash(hash);
}

void QXQuorvexPlayer::continueWithBirthdate(const rt::Date& birthdate) {
    if (session_) session_->continueWithBirthdate(birthdate);
}

void QXQuorvexPlayer::continueWithAgeConfirmed() {
    if (session_) session_->continueWithAgeConfirmed();
}

rt::Ref<ui::ViewController> QXQuorvexPlayer::presentingViewController() const {
    return presentingViewController_.lock();
}

void QXQuorvexPlayer::setPresentingViewController(const rt::Ref<ui::ViewController>& controller) {
    presentingViewController_ = controller;
}

// The first picture: the player layer of whatever the player view presents says when it
// is ready for display; a new presentation (a new session's player) starts again at NO.
void QXQuorvexPlayer::followFirstPicture() {
    auto follow = [this] {
        firstPictureObservation_.remove();
        auto video = playerView_ ? rt::cast<QXPlayerView>(playerView_->presentationLayer()) : nullptr;
        auto layer = video ? video->playerLayer() : nullptr;
        readyForDisplayStore.set(*this, layer && layer->isReadyForDisplay());
        if (layer)
            firstPictureObservation_ = rt::observe(*layer, media::PlayerLayer::readyForDisplayKey, *this,
                                                   [](QXQuorvexPlayer& self, bool, bool ready) {
                                                       readyForDisplayStore.set(self, ready);
                                                   });
    };
    observations_.push_back(rt::observe(self(), "playerView.presentationLayer", rt::KVONew | rt::KVOInitial,
                                        [follow](const rt::KVOChange&) { follow(); }));
}

void QXQuorvexPlayer::setEnableLogging(bool enable) {
    enableLoggingKey.set(*this, enable);
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

}  // namespace zid
