#pragma once
// One ad request of the ad server's service: it works on its own copy of the content's
// ad settings (duration 555000, tags led by "mobile", "iOS"), so the caller's settings
// never change, and runs one fetch at a time.
#include <QXMediaPlayer/Ad/ZeveVO/ADFetchRequest.h>

#include <QXMediaPlayer/Ad/ZeveVO/ICPAdRequestService.h>
#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoAdFetchRequestService.h>

namespace zid {

class ZeveVoRequest : public IRequest, public ADFetchRequestDelegate {
    RT_CLASS(ZeveVoRequest, IRequest)
public:
    static constexpr std::int64_t kRequestDuration = 555000;

    ZeveVoRequest(const rt::Ref<CPAdSettings>& settings, std::string zoneId, ADFetchSuccessBlock successBlock,
                  ADFetchFailBlock failBlock, std::optional<std::string> baseURL,
                  std::optional<std::string> requestFormat, rt::Ref<net::HttpClient> client);
    ~ZeveVoRequest() override;

    /// A new fetch; the one running is cancelled first and reports nothing.
    void start() override;
    void cancel() override;

    const rt::Ref<CPAdSettings>& adSettings() const { return adSettings_; }
    const rt::Ref<ADFetchRequest>& fetchRequest() const { return fetchRequest_; }
    std::string siteURL;
    std::string pageURL;
    /// Seconds each fetch may take as a whole.
    fnd::TimeInterval timeLimit = ZeveVoAdFetchRequestService::kDefaultAdRequestTimeLimit;

    void adFetchRequestDidFinishWithAdElement(ADFetchRequest& request, const rt::Ref<VASTAdElement>& ad) override;
    void adFetchRequestDidFailWithError(ADFetchRequest& request, const rt::Ref<rt::Error>& error) override;

private:
    rt::Ref<ADFetchRequest> fetchRequest_;
    rt::Ref<CPAdSettings> adSettings_;
    std::string zoneId_;
    std::optional<std::string> baseURL_;
    std::optional<std::string> requestFormat_;
    ADFetchSuccessBlock successBlock_;
    ADFetchFailBlock failBlock_;
    rt::Ref<net::HttpClient> client_;
};

}  // namespace zid
