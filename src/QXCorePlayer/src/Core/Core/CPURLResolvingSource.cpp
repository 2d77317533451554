#include <QXCorePlayer/Core/Core/CPURLResolvingSource.h>
#include <QXFoundation/Log/QXLogger.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Signal/Multi/FKMultiSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <rt/Exception.h>
#include "Core/CoreLogModule.h"

namespace zid {

CPURLResolvingSource::CPURLResolvingSource(rt::Ref<ICPMediaSource> baseSource, rt::Ref<ICPSourceResolver> resolver)
    : baseSource_(std::move(baseSource)), resolver_(std::move(resolver)) {
    if (!baseSource_ || !dynamic_cast<ICPURLMediaSource*>(baseSource_.get()) || !resolver_)
        throw rt::Exception("InvalidParameterError", "invalid source");
}

void CPURLResolvingSource::didInitialize() {
    CPAbstractMediaSource::didInitialize();
    rt::Weak<CPURLResolvingSource> weak = selfAs<CPURLResolvingSource>();
    auto both = FKMultiSignal::signalWithSignals(
        {signalForKeypath(*this, "baseSource.state"), signalForKeypath(*this, "baseSource.error")});
    baseTrigger_ = onSignal(both, deallocSignal(*this), [weak](const rt::Value&) {
        if (auto s = weak.lock()) s->baseStateChanged();
    });
}

void CPURLResolvingSource::realizeWithPlaybackID(const std::string& playbackID) {
    RT_MAIN_THREAD_ONLY();
    setRealizing();
    if (baseSource_->state() != CPMediaSourceState::Realized)
        baseSource_->realizeWithPlaybackID(playbackID);
    else
        resolve();
}

void CPURLResolvingSource::dispose() {
    RT_MAIN_THREAD_ONLY();
    resolver_->cancel();
    baseSource_->dispose();
    setUnrealized();
}

void CPURLResolvingSource::baseStateChanged() {
    const CPMediaSourceState last = lastBaseState_;
    lastBaseState_ = baseSource_->state();
    switch (baseSource_->state()) {
        case CPMediaSourceState::Waiting:
            setError(baseSource_->error());
            setWaiting();
            break;
        case CPMediaSourceState::Realized:
            if (state() != CPMediaSourceState::Realized) resolve();
            break;
        case CPMediaSourceState::Failed:
            // A failed base realized again clears its error just before it leaves
            // FAILED: that is its way out, not a failure without a cause.
            if (last == CPMediaSourceState::Failed && !baseSource_->error()) break;
            resolver_->cancel();
            setFailedWithError(baseSource_->error());
            break;
        case CPMediaSourceState::FailedPermanent:
            resolver_->cancel();
            setFailedPermanentWithError(baseSource_->error());
            break;
        default:
            break;
    }
}

void CPURLResolvingSource::resolve() {
    rt::Weak<CPURLResolvingSource> weak = selfAs<CPURLResolvingSource>();
    auto* urlSource = dynamic_cast<ICPURLMediaSource*>(baseSource_.get());
    resolver_->resolveURL(
        urlSource->mediaUrl(),
        [weak](const std::string&) {
            auto s = weak.lock();
            if (!s) return;
            mediaUrlKey.set(*s, dynamic_cast<ICPURLMediaSource*>(s->baseSource_.get())->mediaUrl());
            // The offline report of an earlier poll no longer holds.
            if (s->offlineError_ && s->error() == s->offlineError_) s->setError(nullptr);
            s->offlineError_ = nullptr;
            s->setRealized();
        },
        [weak](const rt::Ref<rt::Error>& error) {
            auto s = weak.lock();
            if (!s) return;
            QXLog(kCoreLogModule, staticClass(), 2, "resolving error: %@", rt::Value(error));
            if (error && error->domain() == kMediaSourceErrorDomain &&
                error->code() == static_cast<long long>(CPMediaSourceErrorCode::Offline)) {
                // Kept, so the status view can say the broadcast is offline; the
                // resolver goes on polling and realizes the source when it comes online.
                s->offlineError_ = error;
                s->setError(error);
                s->setWaiting();
            } else {
                s->setFailedWithError(error);
            }
        });
}

}  // namespace zid
