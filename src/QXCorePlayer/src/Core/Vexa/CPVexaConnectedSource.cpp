// The connected source's life cycle: the wrapped source, the connection with its
// timers, realization and the unlock answers. What it does with each call of its
// client is in CPVexaConnectedSourceListener.cpp.

#include <QXCorePlayer/Core/Vexa/CPVexaConnectedSource.h>
#include "Core/Vexa/QXCDNAvailability.h"

#include <random>

#include "Core/CPEndAndRelease.h"
#include "Core/Vexa/CPVexaPlaybackTracker.h"
#include <QXFoundation/Crypto/QXCrypto.h>
#include <QXFoundation/Log/QXLogger.h>
#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Const/FKConstSignal.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <net/Errors.h>
#include <net/WebSocket.h>
#include <rt/Format.h>

namespace zid {

namespace {
// Forwarded to the wrapped source, each depending on "source.<name>".
constexpr const char* kForwardedKeys[] = {"sourceType",  "title",        "channelTitle",       "channelThumbnails",
                                          "contentDescription", "contentId", "timeInfo",       "startDate",
                                          "creationDate", "clickTargetURL", "viewerCount", "viewerCountEnabled"};
}  // namespace

void CPVexaConnectedSource::describe(rt::ClassBuilder<CPVexaConnectedSource>& c) {
    using S = CPVexaConnectedSource;
    c.readonly("source", [](const S& s) { return s.source(); });
    c.readonly("sourceType", &S::sourceType);
    c.readonly("title", &S::title);
    c.readonly("channelTitle", &S::channelTitle);
    c.readonly("channelThumbnails", &S::channelThumbnails);
    c.readonly("contentDescription", &S::contentDescription);
    c.readonly("contentId", &S::contentId);
    c.readonly("timeInfo", &S::timeInfo);
    c.readonly("startDate", &S::startDate);
    c.readonly("creationDate", &S::creationDate);
    c.readonly("clickTargetURL", &S::clickTargetURL);
    c.readonly("viewerCount", &S::viewerCount);
    c.readonly("viewerCountEnabled", &S::viewerCountEnabled);
    c.readonly("safeToContinue", &S::safeToContinue);
    c.readonly("user", &S::user);
    for (const char* key : kForwardedKeys) c.dependent(key, {std::string("source.") + key});
    c.dependent("safeToContinue", {"connected"});
}

CPVexaConnectedSource::CPVexaConnectedSource(rt::Ref<ICPMediaSource> source, rt::Ref<ICPVexaFactory> vexaFactory)
    : source_(std::move(source)), vexaFactory_(std::move(vexaFactory)) {
    if (!source_) throw rt::Exception("InvalidParameterError", "a connected source needs a source to wrap");
}

void CPVexaConnectedSource::didInitialize() {
    CPAbstractMediaSource::didInitialize();
    auto self = selfAs<CPVexaConnectedSource>();
    setPlaybackTracker(CPVexaPlaybackTracker::trackerWithVexaConnectedSource(self));
    shouldReconnect_ = true;

    // The signal hands over the wrapped source's present state at once: that is no
    // change, and a source nobody asked to realize does not connect.
    rt::Weak<CPVexaConnectedSource> weak = self;
    auto installing = std::make_shared<bool>(true);
    stateTrigger_ = onSignal(signalForKeypath(*this, "source.state"), deallocSignal(*this),
                             [weak, installing](const rt::Value& v) {
                                 if (*installing) return;
                                 if (auto s = weak.lock()) s->sourceStateChanged(static_cast<long>(v.longLongValue()));
                             });
    *installing = false;

    // Online only for a live channel whose content the media server reports available.
    auto isLive = signalForKeypath(*this, "source.sourceType")
                      ->equ(toConstSignal(rt::Value(static_cast<long long>(CPMediaSourceType::LiveChannel))));
    bindingWithKeypath(*this, "online")->setSignal(signalForKeypath(*this, "contentAvailable")->and_(isLive));
}

void CPVexaConnectedSource::willDestroy() {
    cancelReconnect();
    cancelConnectionTimeout();
    if (auto selector = cdnSelector_.lock()) selector->cancel();
    if (cdnObservation_) cdnObservation_->remove();
    // Released, the client stops itself (its last reports, then the unsubscribe).
    vexaClient_.reset();
    CPAbstractMediaSource::willDestroy();
}

rt::Ref<CPVexaPlaybackTracker> CPVexaConnectedSource::vexaPlaybackTracker() const {
    RT_MAIN_THREAD_ONLY();
    return rt::cast<CPVexaPlaybackTracker>(playbackTracker());
}

CPAbstractMediaSource* CPVexaConnectedSource::wrapped() const {
    return dynamic_cast<CPAbstractMediaSource*>(source_.get());
}

std::string CPVexaConnectedSource::description() const {
    return rt::Object::description() + rt::format(" source: %@ url: %@", rt::Value(source_), mediaUrl());
}

// ---- the wrapped source ------------------------------------------------------------------

void CPVexaConnectedSource::sourceStateChanged(long state) {
    switch (static_cast<CPMediaSourceState>(state)) {
        case CPMediaSourceState::Unrealized:
            break;
        case CPMediaSourceState::Realizing:
            setRealizing();
            break;
        case CPMediaSourceState::Waiting:
            setWaiting();
            break;
        case CPMediaSourceState::Realized:
            connect();
            break;
        case CPMediaSourceState::Failed:
            setFailedWithError(source_->error());
            break;
        case CPMediaSourceState::FailedPermanent:
            setFailedPermanentWithError(source_->error());
            break;
    }
}

void CPVexaConnectedSource::realizeWithPlaybackID(const std::string& playbackID) {
    RT_MAIN_THREAD_ONLY();
    if (state() == CPMediaSourceState::Realizing || state() == CPMediaSourceState::Realized) return;
    playbackID_ = playbackID;
    setRealizing();
    if (vexaClient_ && !contentAvailable()) {
        setWaiting();  // offline: coming online resumes
        return;
    }
    if (source_->state() != CPMediaSourceState::Realized)
        source_->realizeWithPlaybackID(playbackID);  // reaching REALIZED connects
    else
        connect();
}

void CPVexaConnectedSource::dispose() {
    RT_MAIN_THREAD_ONLY();
    cancelReconnect();
    cancelConnectionTimeout();
    setCdnSelector(nullptr);
    certificateRefusals_ = 0;
    source_->dispose();
    disconnect();
    // A source realized again starts without the old lock; a confirmed age stays, it
    // is the host's answer.
    setLock(nullptr);
    setUnrealized();
}

void CPVexaConnectedSource::checkIfRealized() {
    if (lock() || !metadataReceived_ || mediaUrl().empty()) return;
    setError(nullptr);  // an offline or reconnect report no longer holds
    setRealized();
}

void CPVexaConnectedSource::onMetadataReceived() {
    metadataReceived_ = true;
    checkIfRealized();
}

void CPVexaConnectedSource::setLockedWithLock(const rt::Ref<CPMediaSourceLock>& lock) {
    RT_MAIN_THREAD_ONLY();
    disconnect();
    // The lock goes in before the state, so observers of the state find it. An observer
    // of the lock (the session, through its listener) may answer it at once; the answer
    // has then moved the source on, and waiting would undo it.
    std::uint64_t answers = unlockAnswers_;
    setLock(lock);
    if (unlockAnswers_ == answers) setWaiting();
}

void CPVexaConnectedSource::failWithCode(CPMediaSourceErrorCode code, const std::string& reason,
                                         const rt::Ref<rt::Error>& cause) {
    // A failed source keeps no subscription and sends no more reports.
    disconnect();
    if (reason.empty() && !cause) {
        setFailedWithError(mediaSourceError(code));
    } else {
        rt::Dictionary info;
        if (!reason.empty()) info.set(rt::Error::LocalizedDescriptionKey, rt::Value(reason));
        if (cause) info.set(rt::Error::UnderlyingErrorKey, rt::Value(cause));
        setFailedWithError(rt::Error::make(kMediaSourceErrorDomain, static_cast<long long>(code), info));
    }
}

// ---- the connection ----------------------------------------------------------------------

std::string CPVexaConnectedSource::rsidWithPlaybackID(const std::string& playbackID) {
    static std::random_device device;
    std::uint32_t number = device();
    std::string drawn = QXCrypto::MD5ForString(rt::format("%u", static_cast<unsigned>(number))).value_or("");
    // Only what the id has: a short id is used whole.
    return playbackID.substr(0, 8) + ":" + drawn.substr(0, 8);
}

void CPVexaConnectedSource::setVexaClient(std::shared_ptr<IVexaClient> client) {
    if (vexaClient_) vexaClient_->removeListener(*this);
    vexaClient_ = std::move(client);
    connectedKey.set(*this, false);
    if (vexaClient_) vexaClient_->addListener(self());
}

void CPVexaConnectedSource::connect() {
    cancelReconnect();
    cancelConnectionTimeout();
    // A new attempt: the URL comes again from the new client, and the error of the last
    // attempt (a lost connection, say) no longer holds.
    mediaUrlKey.set(*this, std::string());
    setRealizing();
    setVexaClient(vexaFactory_ ? vexaFactory_->vexaClientForObject(source_) : nullptr);
    auto client = vexaClient_;
    if (client) {
        client->setRsid(rsidWithPlaybackID(playbackID_));
        if (password_) client->setPassword(password_);
        if (hashLockHash_) client->setHash(hashLockHash_);
    }
    if (auto tracker = vexaPlaybackTracker()) tracker->clientChanged();
    // Every attempt has its own time-out, whatever the state, so an attempt whose
    // subscribe went unanswered cannot leave the source waiting for ever.
    std::uint64_t attempt = ++connectAttempt_;
    rt::Weak<CPVexaConnectedSource> weak = selfAs<CPVexaConnectedSource>();
    connectionTimeoutTimer_ = fnd::RunLoop::main()->schedule(kConnectionTimeout, false, [weak, attempt](fnd::Timer&) {
        if (auto s = weak.lock()) s->onConnectionTimeout(attempt);
    });
    if (client) client->start();
}

void CPVexaConnectedSource::disconnect() {
    cancelConnectionTimeout();
    cancelReconnect();
    auto client = vexaClient_;
    bool wasConnected = connected();
    // The listener goes first, so nothing the stop sets off comes back here.
    setVexaClient(nullptr);
    if (wasConnected && client) client->stop();
    mediaUrlKey.set(*this, std::string());
}

void CPVexaConnectedSource::cancelConnectionTimeout() {
    CPEndAndRelease(connectionTimeoutTimer_, &fnd::Timer::invalidate);
}

void CPVexaConnectedSource::cancelReconnect() { CPEndAndRelease(reconnectTimer_, &fnd::Timer::invalidate); }

void CPVexaConnectedSource::vexaClientDidEstablishConnection(IVexaClient&, bool established) {
    RT_MAIN_THREAD_ONLY();
    QXLog(kCoreLogModule, objectClass(), 5, "Vexa connection: %d", established ? 1 : 0);
    if (established)
        onConnect();
    else
        onDisconnect();
}

void CPVexaConnectedSource::vexaClientDidLoseConnection(IVexaClient&, const rt::Ref<rt::Error>& cause) {
    RT_MAIN_THREAD_ONLY();
    QXLog(kCoreLogModule, objectClass(), 5, "Vexa connection lost: %@", cause);
    onDisconnect(cause);
}

void CPVexaConnectedSource::onConnect() {
    QXLog(kCoreLogModule, objectClass(), 5, "onConnect");
    cancelConnectionTimeout();
    certificateRefusals_ = 0;
    connectedKey.set(*this, true);
}

void CPVexaConnectedSource::onDisconnect(const rt::Ref<rt::Error>& cause) {
    QXLog(kCoreLogModule, objectClass(), 5, "onDisconnect");
    disconnect();
    // Refusals count only while nothing else happens between them: a server that was
    // reached, or failed otherwise, starts the count again.
    certificateRefusals_ =
        net::certificateProblem(cause) != net::CertificateProblem::None ? certificateRefusals_ + 1 : 0;
    if (!shouldReconnect_ || certificateRefusals_ >= kCertificateRefusalLimit) {
        // Retrying would meet the same certificate: the host is told why instead.
        auto error = connectionError(CPMediaSourceErrorCode::CannotConnect, cause);
        if (certificateRefusals_ >= kCertificateRefusalLimit)
            QXLog(kCoreLogModule, objectClass(), 2, "Giving up: %@", error->localizedDescription());
        dispose();
        setFailedWithError(error);
        return;
    }
    setError(connectionError(CPMediaSourceErrorCode::Reconnecting, cause));
    setWaiting();
    rt::Weak<CPVexaConnectedSource> weak = selfAs<CPVexaConnectedSource>();
    reconnectTimer_ = fnd::RunLoop::main()->schedule(kReconnectDelay, false, [weak](fnd::Timer&) {
        auto s = weak.lock();
        if (!s) return;
        s->reconnectTimer_.reset();
        if (!s->connected()) s->connect();
    });
}

rt::Ref<rt::Error> CPVexaConnectedSource::connectionError(CPMediaSourceErrorCode code, const rt::Ref<rt::Error>& cause) {
    if (!cause) return mediaSourceError(code);
    // The transport's failure stays beneath the source's own error and is said in its
    // message, so the status view and the host can tell a refused certificate from an
    // unreachable server. Advice goes only with the cause it can mend: trusting another
    // authority does nothing for a certificate of another host or out of its dates.
    std::string text;
    const net::CertificateProblem problem = net::certificateProblem(cause);
    if (problem != net::CertificateProblem::None) {
        rt::Value reason = cause->userInfo().get(rt::Error::LocalizedFailureReasonKey);
        text = "The media server's certificate was refused: " +
               (reason.isString() ? reason.string() : cause->localizedDescription());
        switch (problem) {
            case net::CertificateProblem::UntrustedAuthority:
                text += "; a media server whose certificate comes from an authority of the host's own needs that "
                        "authority among the trusted anchors (extraTrustAnchorsPem)";
                break;
            case net::CertificateProblem::HostMismatch:
                text += "; it does not name the host the player connects to: check the server's certificate and "
                        "the media server's host this player is set to";
                break;
            case net::CertificateProblem::OutsideValidity:
                text += "; check the server's certificate dates and this device's clock";
                break;
            case net::CertificateProblem::Other:
            case net::CertificateProblem::None:
                break;
        }
    } else {
        text = "The connection to the media server failed: " + cause->localizedDescription();
    }
    rt::Dictionary info;
    info.set(rt::Error::LocalizedDescriptionKey, rt::Value(text));
    info.set(rt::Value(rt::Error::UnderlyingErrorKey), rt::Value(cause));
    return rt::Error::make(kMediaSourceErrorDomain, static_cast<long long>(code), info);
}

void CPVexaConnectedSource::onConnectionTimeout(std::uint64_t attempt) {
    if (attempt != connectAttempt_ || connected()) return;  // superseded or made
    connectionTimeoutTimer_.reset();
    switch (state()) {
        case CPMediaSourceState::Unrealized:
        case CPMediaSourceState::Failed:
        case CPMediaSourceState::FailedPermanent:
            return;
        default:
            break;
    }
    QXLog(kCoreLogModule, objectClass(), 2, "Vexa connection timeouted");
    dispose();
    setFailedWithError(mediaSourceError(CPMediaSourceErrorCode::CannotConnect));
}

// ---- unlock answers ----------------------------------------------------------------------

void CPVexaConnectedSource::continueWithPassword(const std::string& password) {
    RT_MAIN_THREAD_ONLY();
    continueUnlocked(password_, password);
}

void CPVexaConnectedSource::continueWithHash(const std::string& hash) {
    RT_MAIN_THREAD_ONLY();
    continueUnlocked(hashLockHash_, hash);
}

void CPVexaConnectedSource::continueUnlocked(std::optional<std::string>& kept, const std::string& answer) {
    ++unlockAnswers_;
    setLock(nullptr);
    kept = answer;
    setRealizing();
    connect();
}

void CPVexaConnectedSource::continueWithAgeConfirmed(bool confirmed) {
    RT_MAIN_THREAD_ONLY();
    ++unlockAnswers_;
    if (!confirmed) {
        setFailedPermanentWithError(mediaSourceError(CPMediaSourceErrorCode::AgeRequirementNotMet));
        return;
    }
    ageConfirmed_ = true;
    setLock(nullptr);
    setRealizing();
    connect();
}

void CPVexaConnectedSource::cancelAgeConfirmation() {
    RT_MAIN_THREAD_ONLY();
    ++unlockAnswers_;
    setFailedPermanentWithError(mediaSourceError(CPMediaSourceErrorCode::AgeConfirmationCancelled));
}

}  // namespace zid
