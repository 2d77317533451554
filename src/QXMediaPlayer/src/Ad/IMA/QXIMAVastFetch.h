#pragma once
// One ad request of the real ads backend: the fetch of its tag and the answer to the
// layer's loader (an ads manager over the ad's source, or a loading error).
#include <QXMediaPlayer/Ad/IMA/QXIMAVastBackend.h>

#include <QXMediaPlayer/Ad/ZeveVO/ADFetchRequest.h>

namespace zid {

class QXIMAVastFetch : public rt::Object, public ADFetchRequestDelegate {
    RT_CLASS(QXIMAVastFetch, rt::Object)
public:
    QXIMAVastFetch(std::weak_ptr<QXIMAVastBackend> backend, rt::Ref<net::HttpClient> client,
                   rt::Ref<ima::AdsLoader> loader, rt::Ref<ima::AdsRequest> request);

    void start();

    void adFetchRequestDidFinishWithAdElement(ADFetchRequest& request, const rt::Ref<VASTAdElement>& ad) override;
    void adFetchRequestDidFailWithError(ADFetchRequest& request, const rt::Ref<rt::Error>& error) override;

private:
    void answerError(long long code, const std::string& message);
    void done();

    std::weak_ptr<QXIMAVastBackend> backend_;
    rt::Ref<ADFetchRequest> fetch_;
    rt::Ref<ima::AdsLoader> loader_;
    rt::Ref<ima::AdsRequest> request_;
};

}  // namespace zid
