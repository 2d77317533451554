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

    void close() override;
    void onPreparing() override;
    void onBuffering() override;
    void onPrerollLoading() override;
    void onPrerolling() override;
    void onMidrolling() override;
    void onStart() override;
    void onFinish() override;
    void onKill() override;
    void onError(const rt::Ref<rt::Error>& error) override;
    void onResume() override;
    void onPause() override;
    void onRewind() override;
    void onSeekFrom(double from, double to) override;
    void onClick() override;
    void onMute(bool muted) override;
    void onFullscreen(bool fullscreen) override;
    void onProgress(double seconds) override;
    void onBytesTransferred(std::int64_t bytes) override;
    void onBitrate(double bitrate) override;
    void onVideoSize(CPVideoSize size) override;

private:
    template <class F>
    void forEach(F&& f) const {
        auto snapshot = components_;
        for (auto& c : snapshot) f(*c);
    }
    std::vector<rt::Ref<ICPPlaybackTracker>> components_;
};

}  // namespace zid
