#pragma once
// Receives what the viewer experiences during one playback. close is required; every
// event is optional and does nothing unless a tracker overrides it.
#include <QXCorePlayer/Core/Core/CPVideoSize.h>
#include <rt/Error.h>
#include <rt/Object.h>

#include <cstdint>
#include <rt/MainThread.h>
#include <rt/KVC.h>

namespace zid {

class ICPPlaybackTracker : public rt::Object {
    RT_CLASS(ICPPlaybackTracker, rt::Object)
public:
    static void describe(rt::ClassBuilder<ICPPlaybackTracker>& c) { c.mainThreadOnly(); }
    /// Tracking is over; release what the tracker holds.
    virtual void close() = 0;

    virtual void onPreparing() { RT_MAIN_THREAD_ONLY();}
    virtual void onBuffering() { RT_MAIN_THREAD_ONLY();}
    virtual void onPrerollLoading() { RT_MAIN_THREAD_ONLY();}
    virtual void onPrerolling() { RT_MAIN_THREAD_ONLY();}
    virtual void onMidrolling() { RT_MAIN_THREAD_ONLY();}
    virtual void onStart() { RT_MAIN_THREAD_ONLY();}
    virtual void onFinish() { RT_MAIN_THREAD_ONLY();}
    virtual void onKill() { RT_MAIN_THREAD_ONLY();}
    virtual void onError(const rt::Ref<rt::Error>& error) { RT_MAIN_THREAD_ONLY(); (void)error; }
    virtual void onResume() { RT_MAIN_THREAD_ONLY();}
    virtual void onPause() { RT_MAIN_THREAD_ONLY();}
    virtual void onRewind() { RT_MAIN_THREAD_ONLY();}
    virtual void onSeekFrom(double from, double to) { RT_MAIN_THREAD_ONLY(); (void)from, (void)to; }
    virtual void onClick() { RT_MAIN_THREAD_ONLY();}
    virtual void onMute(bool muted) { RT_MAIN_THREAD_ONLY(); (void)muted; }
    virtual void onFullscreen(bool fullscreen) { RT_MAIN_THREAD_ONLY(); (void)fullscreen; }
    virtual void onProgress(double seconds) { RT_MAIN_THREAD_ONLY(); (void)seconds; }
    virtual void onBytesTransferred(std::int64_t bytes) { RT_MAIN_THREAD_ONLY(); (void)bytes; }
    virtual void onBitrate(double bitrate) { RT_MAIN_THREAD_ONLY(); (void)bitrate; }
    virtual void onVideoSize(CPVideoSize size) { RT_MAIN_THREAD_ONLY(); (void)size; }
};

}  // namespace zid
