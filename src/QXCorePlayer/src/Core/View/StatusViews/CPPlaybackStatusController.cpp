#include <QXCorePlayer/Core/View/StatusViews/CPPlaybackStatusController.h>

#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <QXFoundation/Extensions/ErrorExtensions.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Signal/Multi/FKMultiSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <rt/KVO.h>

#include "CPMediaStatusViewAgeLock.h"
#include "CPMediaStatusViewAirPlay.h"
#include "CPMediaStatusViewLoading.h"
#include "CPMediaStatusViewMessage.h"
#include "CPMediaStatusViewPasswordLock.h"
#include "Core/View/WatchWeakReference.h"

namespace zid {

namespace {

// Every status view starts at this size; the player view gives it its own bounds.
const ui::Rect kInitialFrame(0, 0, 100, 100);

std::string text(const char* key) { return qxCorePlayerLocalizedString(key); }

}  // namespace

void CPPlaybackStatusController::describe(rt::ClassBuilder<CPPlaybackStatusController>& c) {
    c.property("session", &CPPlaybackStatusController::session, &CPPlaybackStatusController::setSession);
}

void CPPlaybackStatusController::didInitialize() {
    rt::Object::didInitialize();
    std::vector<FKSignalRef> signals;
    for (const char* path : {"session.source", "session.source.state", "session.source.error", "session.player.state",
                             "session.player.isAirplayActive", "session.player.audioOnly", "session.player.error"})
        signals.push_back(signalForKeypath(*this, path));
    auto combined = FKMultiSignal::signalWithSignals(std::move(signals));
    rt::Weak<CPPlaybackStatusController> weak = selfAs<CPPlaybackStatusController>();
    onSignal(combined, deallocSignal(*this), [weak](const rt::Value&) {
        if (auto self = weak.lock()) self->updateStatusIndicator();
    });
}

void CPPlaybackStatusController::setSession(const rt::Ref<CPPlaybackSession>& session) {
    if (session_.lock() == session) return;
    // The loading view shows when the session goes. The last session's watch ends before
    // the change is announced: nothing its going sets off may empty the new reference.
    watchWeakReference(*this, session, "session", &CPPlaybackStatusController::session_, sessionGone_);
    rt::kvoChange(this, "session", [&] { session_ = session; });
}

void CPPlaybackStatusController::updateStatusIndicator() {
    auto session = this->session();
    rt::Ref<ui::View> indicator =
        session && session->player() ? playerStatusIndicator() : sourceStatusIndicator();
    statusIndicatorKey.set(*this, std::move(indicator));
}

rt::Ref<ui::View> CPPlaybackStatusController::sourceStatusIndicator() {
    auto session = this->session();
    auto source = session ? session->source() : nullptr;
    auto state = source ? source->state() : CPMediaSourceState::Unrealized;
    switch (state) {
        case CPMediaSourceState::Unrealized:
        case CPMediaSourceState::Realizing:
            return loadingStatusIndicatorWithMessage("");
        case CPMediaSourceState::Waiting:
            return waitingStatusIndicator();
        case CPMediaSourceState::Realized:
            return nullptr;
        case CPMediaSourceState::Failed:
        case CPMediaSourceState::FailedPermanent:
            return statusIndicatorWithError(source->error());
    }
    return nullptr;
}

rt::Ref<ui::View> CPPlaybackStatusController::playerStatusIndicator() {
    auto session = this->session();
    auto player = session ? session->player() : nullptr;
    if (!player) return nullptr;
    switch (player->state()) {
        case CPPlayerState::Buffering:
        case CPPlayerState::Stalled:
            return loadingStatusIndicatorWithMessage("");
        case CPPlayerState::Ready:
        case CPPlayerState::Playing:
        case CPPlayerState::Paused:
            if (player->isAirplayActive()) return airPlayActivatedStatusIndicator();
            if (player->isAudioOnly()) return audioOnlyStatusIndicator();
            return nullptr;
        case CPPlayerState::Finished:
            return messageStatusIndicatorWithMessage(text("QXPlayer.player.status.finished"));
        case CPPlayerState::Error:
            return statusIndicatorWithError(player->error());
        default:
            return nullptr;
    }
}

rt::Ref<ui::View> CPPlaybackStatusController::waitingStatusIndicator() {
    auto session = this->session();
    auto source = session ? session->source() : nullptr;
    if (!source) return messageStatusIndicatorWithMessage(text("QXPlayer.content.status.offline"));
    if (auto lock = source->lock()) return statusIndicatorWithLock(lock);
    if (auto error = source->error()) return statusIndicatorWithError(error);
    return messageStatusIndicatorWithMessage(text("QXPlayer.content.status.offline"));
}

std::string CPPlaybackStatusController::textKeyForLockType(long lockType) {
    switch (lockType) {
        case 1: return "QXPlayer.content.lock.passwordLock";
        case 2: return "QXPlayer.content.lock.ageLock";
        case 3: return "QXPlayer.content.lock.birthdateLock";
        case 4: return "QXPlayer.content.lock.geoLock";
        case 5: return "QXPlayer.content.lock.geoLimitLock";
        case 6: return "QXPlayer.content.lock.hashLock";
        case 7: return "QXPlayer.content.lock.IPLock";
        case 8: return "QXPlayer.content.lock.refererLock";
        case 9: return "QXPlayer.content.lock.viewerHourLock";
        default: return "QXPlayer.content.lock.unknownLock";
    }
}

rt::Ref<ui::View> CPPlaybackStatusController::statusIndicatorWithLock(const rt::Ref<CPMediaSourceLock>& lock) {
    long type = lock ? lock->lockType() : 0;
    std::string message = qxCorePlayerLocalizedString(textKeyForLockType(type));
    switch (type) {
        case 1: return CPMediaStatusViewPasswordLock::statusViewWithFrame(kInitialFrame, message);
        case 2:
        case 3: return CPMediaStatusViewAgeLock::statusViewWithFrame(kInitialFrame, message);
        default: return messageStatusIndicatorWithMessage(message);
    }
}

std::string CPPlaybackStatusController::textKeyForError(const rt::Error* error) {
    if (!error) return "QXPlayer.content.error.unknown";
    long long code = error->code();
    if (error->domain() == kMediaSourceErrorDomain) {
        switch (code) {
            case 1: return "QXPlayer.content.error.update";
            case 2:
            case 8: return "QXPlayer.content.error.connect";
            case 3: return "QXPlayer.content.disconnected";
            case 4: return "QXPlayer.content.status.offline";
            case 5: return "QXPlayer.content.error.unsuported";
            case 6: return "QXPlayer.content.error.deleted";
            case 7: return "QXPlayer.content.error.inexistent";
            case 9: return "QXPlayer.content.error.apiKey";
            case 10: return "QXPlayer.content.error.timeout";
            case 11: return "QXPlayer.content.error.authentication";
            case 12: return "QXPlayer.content.error.age";
            // The viewer declined to confirm the age: the lock still stands.
            case 13: return "QXPlayer.content.lock.ageLock";
            default: return "QXPlayer.content.error.unknown";
        }
    }
    if (error->domain() == CPMediaPlayerErrorDomain) {
        // Only code 1 is a load that failed or timed out; code 0 is any other player
        // failure and must not be reported as a time-out.
        return code == static_cast<long long>(CPMediaPlayerErrorCode::LoadingFailed) ? "QXPlayer.content.error.timeout"
                                                                                      : "QXPlayer.content.error.unknown";
    }
    if (isURLConnectionError(*error)) return "QXPlayer.content.error.connection";
    if (isURLTimeoutError(*error)) return "QXPlayer.content.error.timeout";
    return "QXPlayer.content.error.unknown";
}

rt::Ref<ui::View> CPPlaybackStatusController::statusIndicatorWithError(const rt::Ref<rt::Error>& error) {
    return messageStatusIndicatorWithMessage(qxCorePlayerLocalizedString(textKeyForError(error.get())));
}

rt::Ref<ui::View> CPPlaybackStatusController::loadingStatusIndicatorWithMessage(const std::string& message) {
    return CPMediaStatusViewLoading::statusViewWithFrame(kInitialFrame, message);
}

rt::Ref<ui::View> CPPlaybackStatusController::messageStatusIndicatorWithMessage(const std::string& message) {
    return CPMediaStatusViewMessage::statusViewWithFrame(kInitialFrame, message);
}

rt::Ref<ui::View> CPPlaybackStatusController::unknownErrorStatusIndicator() {
    return messageStatusIndicatorWithMessage(text("QXPlayer.content.error.unknown"));
}

rt::Ref<ui::View> CPPlaybackStatusController::audioOnlyStatusIndicator() {
    return messageStatusIndicatorWithMessage(text("QXPlayer.player.audioOnly"));
}

rt::Ref<ui::View> CPPlaybackStatusController::airPlayActivatedStatusIndicator() {
    return CPMediaStatusViewAirPlay::statusViewWithFrame(kInitialFrame, text("QXPlayer.player.external.title"),
                                                         text("QXPlayer.player.external.message"));
}

}  // namespace zid
