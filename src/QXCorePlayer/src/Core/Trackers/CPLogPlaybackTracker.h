#pragma once
// Writes one log record per event it implements, for diagnosing what a tracker receives.
#include <QXCorePlayer/Core/Trackers/CPSourcePlaybackTracker.h>

namespace zid {

class CPLogPlaybackTracker : public CPSourcePlaybackTracker {
    RT_CLASS(CPLogPlaybackTracker, CPSourcePlaybackTracker)
public:
    using CPSourcePlaybackTracker::CPSourcePlaybackTracker;

    void onStart() override;
    void onFinish() override;
    void onKill() override;
    void onResume() override;
    void onPause() override;
    void onRewind() override;
    void onClick() override;
    void onMute(bool muted) override;
    void onFullscreen(bool fullscreen) override;
    void onProgress(double seconds) override;
    void onBytesTransferred(std::int64_t bytes) override;
    void onBitrate(double bitrate) override;
};

}  // namespace zid
