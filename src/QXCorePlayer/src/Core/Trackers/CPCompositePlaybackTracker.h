#pragma once
// Fans every tracker event out to a list of component trackers, in list order, over a
// snapshot of the list taken when the event starts.
#include <QXCorePlayer/Core/Core/ICPPlaybackTracker.h>

#include <vector>

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
    std::vector<rt::Ref<ICPPlaybackTracker>> components() const { return components_; }

    void close() override { fanOut<&ICPPlaybackTracker::close>(); }
    void onPreparing() override { fanOut<&ICPPlaybackTracker::onPreparing>(); }
    void onBuffering() override { fanOut<&ICPPlaybackTracker::onBuffering>(); }
    void onPrerollLoading() override { fanOut<&ICPPlaybackTracker::onPrerollLoading>(); }
    void onPrerolling() override { fanOut<&ICPPlaybackTracker::onPrerolling>(); }
    void onMidrolling() override { fanOut<&ICPPlaybackTracker::onMidrolling>(); }
    void onStart() override { fanOut<&ICPPlaybackTracker::onStart>(); }
    void onFinish() override { fanOut<&ICPPlaybackTracker::onFinish>(); }
    void onKill() override { fanOut<&ICPPlaybackTracker::onKill>(); }
    void onError(const rt::Ref<rt::Error>& error) override { fanOut<&ICPPlaybackTracker::onError>(error); }
    void onResume() override { fanOut<&ICPPlaybackTracker::onResume>(); }
    void onPause() override { fanOut<&ICPPlaybackTracker::onPause>(); }
    void onRewind() override { fanOut<&ICPPlaybackTracker::onRewind>(); }
    void onSeekFrom(double from, double to) override { fanOut<&ICPPlaybackTracker::onSeekFrom>(from, to); }
    void onClick() override { fanOut<&ICPPlaybackTracker::onClick>(); }
    void onMute(bool muted) override { fanOut<&ICPPlaybackTracker::onMute>(muted); }
    void onFullscreen(bool fullscreen) override { fanOut<&ICPPlaybackTracker::onFullscreen>(fullscreen); }
    void onProgress(double seconds) override { fanOut<&ICPPlaybackTracker::onProgress>(seconds); }
    void onBytesTransferred(std::int64_t bytes) override { fanOut<&ICPPlaybackTracker::onBytesTransferred>(bytes); }
    void onBitrate(double bitrate) override { fanOut<&ICPPlaybackTracker::onBitrate>(bitrate); }
    void onVideoSize(CPVideoSize size) override { fanOut<&ICPPlaybackTracker::onVideoSize>(size); }

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
