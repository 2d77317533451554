#pragma once
// Turns the playback events of a ZeveVoSource into the ad server's tracking hits:
// impressions and "start"/"creativeView" once per ad, every other event as it
// happens, the quartiles as playback passes a quarter, half and three quarters of the
// ad's duration (none without one) and, on a click, every click-tracking URL once.
// Each hit is an AKURLHitTask on the task queue "log.zevevo", one at a time in order,
// with a time-out of its own so one silent server holds back later hits only briefly.
// Only http and https URLs are hit. Hits are queued on the main thread, where their
// ends are announced too.
#include <QXCorePlayer/Core/Trackers/CPSourcePlaybackTracker.h>
#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoSource.h>
#include <fnd/Clock.h>

#include <functional>
#include <vector>
#include <rt/MainThread.h>

namespace zid {

class CAZevevoPlaybackTracker : public CPSourcePlaybackTracker {
    RT_CLASS(CAZevevoPlaybackTracker, CPSourcePlaybackTracker)
public:
    static constexpr const char* kQueueIdentifier = "log.zevevo";
    static constexpr const char* kHitTitle = "ZeveVo::hit";
    static constexpr fnd::TimeInterval kDefaultHitTimeout = 10;

    explicit CAZevevoPlaybackTracker(const rt::Ref<ZeveVoSource>& source);

    rt::Ref<ZeveVoSource> ad() const;
    bool firstQuartile() const { RT_MAIN_THREAD_ONLY(); return firstQuartile_; }
    bool secondQuartile() const { RT_MAIN_THREAD_ONLY(); return secondQuartile_; }
    bool thirdQuartile() const { RT_MAIN_THREAD_ONLY(); return thirdQuartile_; }
    /// Seconds each hit may take.
    fnd::TimeInterval hitTimeout() const { RT_MAIN_THREAD_ONLY(); return hitTimeout_; }
    void setHitTimeout(fnd::TimeInterval seconds) { RT_MAIN_THREAD_ONLY(); hitTimeout_ = seconds; }

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

    void sendImpressions();
    void sendTrackingEvent(const std::string& name);
    void sendAllEvents(const std::vector<std::string>& urls);
    void sendEvent(const std::string& url);
    void sendClick();
    void hitUrl(const std::string& url);

    /// Whether a hit queued by this tracker has not ended yet.
    bool hasPendingHits() const { RT_MAIN_THREAD_ONLY(); return pendingHits_ > 0; }
    /// Runs the block on the main thread once every hit queued so far has ended (answered,
    /// failed or cancelled); at once when none is pending. A hit held back (its queue
    /// paused, say) holds the block back too: a caller that cannot wait bounds the wait.
    void whenHitsEnded(std::function<void()> block);

private:
    void hitEnded();

    bool firstQuartile_ = false;
    bool secondQuartile_ = false;
    bool thirdQuartile_ = false;
    bool started_ = false;
    fnd::TimeInterval hitTimeout_ = kDefaultHitTimeout;
    int pendingHits_ = 0;
    std::vector<std::function<void()>> whenHitsEnded_;
};

}  // namespace zid
