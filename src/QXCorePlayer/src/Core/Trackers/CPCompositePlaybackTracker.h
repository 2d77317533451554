#pragma once
// Fans every tracker event out to a list of component trackers, in list order, over a
// snapshot of the list taken when the event starts.
#include <QXCorePlayer/Core/Core/ICPPlaybackTracker.h>

#include <vector>
#include <rt/MainThread.h>

namespace zid {

class CPCompositePlaybackTracker : public ICPPlaybackTracker {
    RT_CLASS(CPCompositePlaybackTracker, ICPPlaybackTracker)
public:
    explicit CPCompositePlaybackTracker(const std::vector<rt::Ref<rt::Object>>& components = {});
    static rt::Ref<CPCompositePlaybackTracker> compositeWithComponents(
        const std::vector<rt::Ref<rt::Object>>& components);

    /// Raises "InvalidParameterError" ("Invalid object!") unless the object is a tracker;
    /// a tracker already in the list is not added again.
    void addTracker(const rt::Ref<rt::Object>& tracker);
    void removeTracker(const rt::Ref<rt::Object>& tracker);
    std::vector<rt::Ref<ICPPlaybackTracker>> components() const { RT_MAIN_THREAD_ONLY(); return components_; }

    void close() override { RT_MAIN_THREAD_ONLY(); fanOut<&ICPPlaybackTracker::close>(); }
    void onPreparing() override { RT_MAIN_THREAD_ONLY(); fanOut<&ICPPlaybackTracker::onPreparing>(); }
    void onBuffering() override { RT_MAIN_THREAD_ONLY(); fanOut<&ICPPlaybackTracker::onBuffering>(); }
    void onPrerollLoading() override { RT_MAIN_THREAD_ONLY(); fanOut<&ICPPlaybackTracker::onPrerollLoading>(); }
    void onPrerolling() override { RT_MAIN_THREAD_ONLY(); fanOut<&ICPPlaybackTracker::onPrerolling>(); }
    void onMidrolling() override { RT_MAIN_THREAD_ONLY(); fanOut<&ICPPlaybackTracker::onMidrolling>(); }
    void onStart() override { RT_MAIN_THREAD_ONLY(); fanOut<&ICPPlaybackTracker::onStart>(); }
    void onFinish() override { RT_MAIN_THREAD_ONLY(); fanOut<&ICPPlaybackTracker::onFinish>(); }
    void onKill() override { RT_MAIN_THREAD_ONLY(); fanOut<&ICPPlaybackTracker::onKill>(); }
    void onError(const rt::Ref<rt::Error>& error) override {
        RT_MAIN_THREAD_ONLY();
        fanOut<&ICPPlaybackTracker::onError>(error);
    }
    void onResume() override { RT_MAIN_THREAD_ONLY(); fanOut<&ICPPlaybackTracker::onResume>(); }
    void onPause() override { RT_MAIN_THREAD_ONLY(); fanOut<&ICPPlaybackTracker::onPause>(); }
    void onRewind() override { RT_MAIN_THREAD_ONLY(); fanOut<&ICPPlaybackTracker::onRewind>(); }
    void onSeekFrom(double from, double to) override {
        RT_MAIN_THREAD_ONLY();
        fanOut<&ICPPlaybackTracker::onSeekFrom>(from, to);
    }
    void onClick() override { RT_MAIN_THREAD_ONLY(); fanOut<&ICPPlaybackTracker::onClick>(); }
    void onMute(bool muted) override { RT_MAIN_THREAD_ONLY(); fanOut<&ICPPlaybackTracker::onMute>(muted); }
    void onFullscreen(bool fullscreen) override {
        RT_MAIN_THREAD_ONLY();
        fanOut<&ICPPlaybackTracker::onFullscreen>(fullscreen);
    }
    void onProgress(double seconds) override {
        RT_MAIN_THREAD_ONLY();
        fanOut<&ICPPlaybackTracker::onProgress>(seconds);
    }
    void onBytesTransferred(std::int64_t bytes) override {
        RT_MAIN_THREAD_ONLY();
        fanOut<&ICPPlaybackTracker::onBytesTransferred>(bytes);
    }
    void onBitrate(double bitrate) override { RT_MAIN_THREAD_ONLY(); fanOut<&ICPPlaybackTracker::onBitrate>(bitrate); }
    void onVideoSize(CPVideoSize size) override {
        RT_MAIN_THREAD_ONLY();
        fanOut<&ICPPlaybackTracker::onVideoSize>(size);
    }

private:
    /// Hands one event to every component; the list may change while it runs (a component
    /// that removes itself), so the event goes to the components there were when it began.
    template <auto Event, class... Args>
    void fanOut(const Args&... args) const {
        auto snapshot = components_;
        for (auto& c : snapshot) ((*c).*Event)(args...);
    }
    std::vector<rt::Ref<ICPPlaybackTracker>> components_;
};

}  // namespace zid
