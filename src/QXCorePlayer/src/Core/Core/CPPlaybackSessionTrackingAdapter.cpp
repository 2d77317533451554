#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include "Core/Core/CPPlaybackSessionTrackingAdapter.h"
#include "Core/CoreLogModule.h"
#include <QXFoundation/Log/QXLogger.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>

#include <cmath>

namespace zid {

CPPlaybackSessionTrackingAdapter::CPPlaybackSessionTrackingAdapter(const rt::Ref<CPPlaybackSession>& session)
    : session_(session), tracker_(session ? session->tracker() : nullptr) {}

rt::Ref<CPPlaybackSessionTrackingAdapter> CPPlaybackSessionTrackingAdapter::adapterForSession(
    const rt::Ref<CPPlaybackSession>& session) {
    return rt::make<CPPlaybackSessionTrackingAdapter>(session);
}

void CPPlaybackSessionTrackingAdapter::didInitialize() {
    rt::Object::didInitialize();
    setupTracking();
}

void CPPlaybackSessionTrackingAdapter::setupTracking() {
    auto session = session_.lock();
    if (!session) return;
    rt::Weak<CPPlaybackSessionTrackingAdapter> weak = selfAs<CPPlaybackSessionTrackingAdapter>();
    auto dispose = deallocSignal(*this);
    auto watch = [&](const char* keypath, std::function<void(CPPlaybackSessionTrackingAdapter&, const rt::Value&)> fn) {
        triggers_.push_back(onSignal(signalForKeypath(*session, keypath), dispose, [weak, fn](const rt::Value& v) {
            if (auto a = weak.lock()) fn(*a, v);
        }));
    };
    auto hasPlayer = [](CPPlaybackSessionTrackingAdapter& a) {
        auto s = a.session();
        return s && s->player();
    };
    watch("source.state", [](auto& a, const rt::Value& v) { a.onSourceState(static_cast<long>(v.longLongValue())); });
    watch("player.state", [](auto& a, const rt::Value& v) { a.onPlayerState(static_cast<long>(v.longLongValue())); });
    watch("playbackTime", [hasPlayer](auto& a, const rt::Value& v) {
        if (hasPlayer(a)) a.onPlaybackTime(v.doubleValue());
    });
    watch("observedBitrate", [](auto& a, const rt::Value& v) { a.onBitrate(v.doubleValue()); });
    watch("numberOfBytesTransferred",
          [](auto& a, const rt::Value& v) { a.onBytesTransferred(static_cast<std::int64_t>(v.longLongValue())); });
    watch("videoSize", [hasPlayer](auto& a, const rt::Value& v) {
        if (hasPlayer(a)) a.onVideoSize(rt::ValueTraits<CPVideoSize>::fromValue(v));
    });
    watch("muted", [hasPlayer](auto& a, const rt::Value& v) {
        if (hasPlayer(a)) a.onMute(v.boolValue());
    });
}

void CPPlaybackSessionTrackingAdapter::endTracking() {
    if (ended_) return;
    ended_ = true;
    if (started_ && !finished_) onKill();
    if (tracker_) tracker_->close();
}

void CPPlaybackSessionTrackingAdapter::onSourceState(long state) {
    if (state == static_cast<long>(CPMediaSourceState::Realizing)) onPreparing();
}

void CPPlaybackSessionTrackingAdapter::playerDidFinish() {
    finishDelivered_ = true;
    finished_ = true;
    onFinish();
}

void CPPlaybackSessionTrackingAdapter::onPlayerState(long state) {
    switch (static_cast<CPPlayerState>(state)) {
        case CPPlayerState::Buffering:
            onBuffering();
            break;
        case CPPlayerState::Playing:
            if (started_) {
                paused_ = false;
                onResume();
            } else {
                started_ = true;
                onStart();
            }
            break;
        case CPPlayerState::Paused:
            if (started_) {
                paused_ = true;
                onPause();
            }
            break;
        case CPPlayerState::Finished:
            if (finishDelivered_) {
                finishDelivered_ = false;  // told already by the session
                break;
            }
            finished_ = true;
            onFinish();
            break;
        case CPPlayerState::Error: {
            auto s = session();
            onError(s ? s->lastPlaybackError() : nullptr);
            break;
        }
        default:
            break;
    }
}

void CPPlaybackSessionTrackingAdapter::onPlaybackTime(double t) {
    QXLog(kCoreLogModule, staticClass(), 5, "[TRACKING] playback time: %g", t);
    if (std::fabs(t - lastPlaybackPosition_) > 1.0) onSeekFrom(lastPlaybackPosition_, t);
    if (lastPlaybackPosition_ > t)
        onRewind();
    else
        onProgress(t);
    lastPlaybackPosition_ = t;
}

void CPPlaybackSessionTrackingAdapter::log(const char* selector) {
    QXLog(kCoreLogModule, staticClass(), 5, "[TRACKING] %@", rt::Value(selector));
}

#define CP_TRACK(sel, call) \
    log(sel);               \
    if (tracker_) tracker_->call;

void CPPlaybackSessionTrackingAdapter::onPreparing() { CP_TRACK("onPreparing", onPreparing()) }
void CPPlaybackSessionTrackingAdapter::onBuffering() { CP_TRACK("onBuffering", onBuffering()) }
void CPPlaybackSessionTrackingAdapter::onPrerollLoading() { CP_TRACK("onPrerollLoading", onPrerollLoading()) }
void CPPlaybackSessionTrackingAdapter::onPrerolling() { CP_TRACK("onPrerolling", onPrerolling()) }
void CPPlaybackSessionTrackingAdapter::onMidrolling() { CP_TRACK("onMidrolling", onMidrolling()) }
void CPPlaybackSessionTrackingAdapter::onStart() { CP_TRACK("onStart", onStart()) }
void CPPlaybackSessionTrackingAdapter::onFinish() { CP_TRACK("onFinish", onFinish()) }
void CPPlaybackSessionTrackingAdapter::onKill() { CP_TRACK("onKill", onKill()) }
void CPPlaybackSessionTrackingAdapter::onError(const rt::Ref<rt::Error>& error) { CP_TRACK("onError:", onError(error)) }
void CPPlaybackSessionTrackingAdapter::onResume() { CP_TRACK("onResume", onResume()) }
void CPPlaybackSessionTrackingAdapter::onPause() { CP_TRACK("onPause", onPause()) }
void CPPlaybackSessionTrackingAdapter::onRewind() { CP_TRACK("onRewind", onRewind()) }
void CPPlaybackSessionTrackingAdapter::onSeekFrom(double from, double to) {
    CP_TRACK("onSeekFrom:to:", onSeekFrom(from, to))
}
void CPPlaybackSessionTrackingAdapter::onClick() { CP_TRACK("onClick", onClick()) }
void CPPlaybackSessionTrackingAdapter::onMute(bool muted) { CP_TRACK("onMute:", onMute(muted)) }
void CPPlaybackSessionTrackingAdapter::onFullscreen(bool fullscreen) {
    CP_TRACK("onFullscreen:", onFullscreen(fullscreen))
}
void CPPlaybackSessionTrackingAdapter::onProgress(double seconds) { CP_TRACK("onProgress:", onProgress(seconds)) }
void CPPlaybackSessionTrackingAdapter::onBytesTransferred(std::int64_t bytes) {
    CP_TRACK("onBytesTransferred:", onBytesTransferred(bytes))
}
void CPPlaybackSessionTrackingAdapter::onBitrate(double bitrate) { CP_TRACK("onBitrate:", onBitrate(bitrate)) }
void CPPlaybackSessionTrackingAdapter::onVideoSize(CPVideoSize size) { CP_TRACK("onVideoSize:", onVideoSize(size)) }

#undef CP_TRACK

}  // namespace zid
