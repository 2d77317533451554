#pragma once
// Turns a session's state and value changes into tracker events, logs them and hands
// them to the session's tracker.
#include <QXCorePlayer/Core/Core/ICPPlaybackTracker.h>
#include <QXFoundation/Disposable/IDisposable.h>
#include <rt/Object.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace zid {

class CPPlaybackSession;

class CPPlaybackSessionTrackingAdapter : public rt::Object {
    RT_CLASS(CPPlaybackSessionTrackingAdapter, rt::Object)
public:
    explicit CPPlaybackSessionTrackingAdapter(const rt::Ref<CPPlaybackSession>& session);
    static rt::Ref<CPPlaybackSessionTrackingAdapter> adapterForSession(const rt::Ref<CPPlaybackSession>& session);

    /// Installs the observations of the session.
    void setupTracking();
    /// onKill when started and not finished, then the tracker's close. Once.
    void endTracking();

    void onSourceState(long state);
    void onPlayerState(long state);
    void onPlaybackTime(double time);
    /// The session tells of the end before it rewinds or drops the player, so that
    /// onFinish goes out before the events those cause; the stale FINISHED the
    /// observation still delivers afterwards is then skipped.
    void playerDidFinish();

    void onPreparing();
    void onBuffering();
    void onPrerollLoading();
    void onPrerolling();
    void onMidrolling();
    void onStart();
    void onFinish();
    void onKill();
    void onError(const rt::Ref<rt::Error>& error);
    void onResume();
    void onPause();
    void onRewind();
    void onSeekFrom(double from, double to);
    void onClick();
    void onMute(bool muted);
    void onFullscreen(bool fullscreen);
    void onProgress(double seconds);
    void onBytesTransferred(std::int64_t bytes);
    void onBitrate(double bitrate);
    void onVideoSize(CPVideoSize size);

    rt::Ref<CPPlaybackSession> session() const { return session_.lock(); }
    bool started() const { return started_; }
    bool paused() const { return paused_; }
    bool finished() const { return finished_; }
    double lastPlaybackPosition() const { return lastPlaybackPosition_; }

protected:
    void didInitialize() override;

private:
    void log(const char* selector);

    rt::Weak<CPPlaybackSession> session_;
    rt::Ref<ICPPlaybackTracker> tracker_;
    bool started_ = false;
    bool paused_ = false;
    bool finished_ = false;
    bool ended_ = false;
    bool finishDelivered_ = false;
    double lastPlaybackPosition_ = 0;
    std::vector<std::shared_ptr<IDisposable>> triggers_;
};

}  // namespace zid
