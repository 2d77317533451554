#pragma once
// A media source whose content is one video ad from the ad server: realizing asks the
// request service for an ad and plays its first video/mp4 file. It keeps the ad's
// impression, tracking and click-tracking URLs for CAZevevoPlaybackTracker.
#include <QXCorePlayer/Core/Core/CPAbstractMediaSource.h>
#include <QXMediaPlayer/Ad/ZeveVO/ICPAdRequestService.h>
#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoResponse.h>
#include <rt/MainThread.h>

namespace zid {

/// A source of an ad.
class ICAAdSource {
public:
    virtual ~ICAAdSource() = default;
    virtual bool hasControls() const = 0;
};

class ZeveVoSource : public CPAbstractMediaSource, public ICPURLMediaSource, public ICAAdSource {
    RT_CLASS(ZeveVoSource, CPAbstractMediaSource)
public:
    ZeveVoSource(rt::Ref<CPAdSettings> adSetting, rt::Ref<ICPAdRequestService> adFetchRequestService,
                 std::string zoneId);

    void realizeWithPlaybackID(const std::string& playbackID) override;
    void dispose() override;
    bool safeToContinue() const override { RT_MAIN_THREAD_ONLY(); return true; }
    bool hasControls() const override { RT_MAIN_THREAD_ONLY(); return false; }

    std::string mediaUrl() const override { RT_MAIN_THREAD_ONLY(); return mediaUrl_; }
    const rt::Ref<ICPAdRequestService>& adFetchRequestService() const {
        RT_MAIN_THREAD_ONLY();
        return adFetchRequestService_;
    }
    const rt::Ref<IRequest>& fetchRequest() const { RT_MAIN_THREAD_ONLY(); return fetchRequest_; }
    const std::string& zoneId() const { RT_MAIN_THREAD_ONLY(); return zoneId_; }
    const std::vector<std::string>& impressions() const { RT_MAIN_THREAD_ONLY(); return impressions_; }
    const VASTUrlMap& trackingEvents() const { RT_MAIN_THREAD_ONLY(); return trackingEvents_; }
    /// The last click-tracking entry; absent when the ad has none.
    const std::optional<std::string>& clickTrackingURL() const { RT_MAIN_THREAD_ONLY(); return clickTrackingURL_; }
    /// Every click-tracking entry in document order (a wrapper's after the ad's own).
    const std::vector<std::string>& clickTrackingURLs() const { RT_MAIN_THREAD_ONLY(); return clickTrackingURLs_; }

    void fetchRequestDidSucceedWitResult(const rt::Ref<ZeveVoResponse>& result);
    void fetchRequestDidFailWithError(const rt::Ref<rt::Error>& error);

    /// The seconds of an "HH:MM:SS" duration folded from its pieces' leading integers,
    /// in 64 bits, saturating.
    static std::int64_t durationSeconds(std::string_view text);

private:
    void extractTimeInfo(const ZeveVoResponse& result);
    void extractCallbackUrls(const ZeveVoResponse& result);
    std::vector<rt::Ref<VASTMediaFile>> playableVideoFilesInResult(const ZeveVoResponse& result) const;
    void failWithReason(const std::string& reason, const std::string& message);

    std::string mediaUrl_;
    rt::Ref<ICPAdRequestService> adFetchRequestService_;
    rt::Ref<IRequest> fetchRequest_;
    std::string zoneId_;
    std::vector<std::string> impressions_;
    VASTUrlMap trackingEvents_;
    std::optional<std::string> clickTrackingURL_;
    std::vector<std::string> clickTrackingURLs_;
    rt::Ref<CPAdSettings> settings_;
};

}  // namespace zid
