#pragma once
// Receives what the viewer experiences during one playback. close is required; every
// event is optional and does nothing unless a tracker overrides it.
#include <QXCorePlayer/Core/Core/CPVideoSize.h>
#include <rt/Error.h>
#include <rt/Object.h>

#include <cstdint>

namespace zid {

class ICPPlaybackTracker : public rt::Object {
    RT_CLASS(ICPPlaybackTracker, rt::Object)
public:
    /// Tracking is over; release what the tracker holds.
    virtual void close() = 0;

    virtual void onPreparing() {}
    virtual void onBuffering() {}
    virtual void onPrerollLoading() {}
    virtual void onPrerolling() {}
    virtual void onMidrolling() {}
    virtual void onStart() {}
    virtual void onFinish() {}
    virtual void onKill() {}
    virtual void onError(const rt::Ref<rt::Error>& error) { (void)error; }
    virtual void onResume() {}
    virtual void onPause() {}
    virtual void onRewind() {}
    virtual void onSeekFrom(double from, double to) { (void)from, (void)to; }
    virtual void onClick() {}
    virtual void onMute(bool muted) { (void)muted; }
    virtual void onFullscreen(bool fullscreen) { (void)fullscreen; }
    virtual void onProgress(double seconds) { (void)seconds; }
    virtual void onBytesTransferred(std::int64_t bytes) { (void)bytes; }
    virtual void onBitrate(double bitrate) { (void)bitrate; }
    virtual void onVideoSize(CPVideoSize size) { (void)size; }
};

}  // namespace zid
