#pragma once
// Loads ads for requests. Every request is answered once through the delegate, with the
// loaded data (an ads manager) or the error data, both naming the request they answer;
// the installed backend does the work (see Backend.h). Without a backend every request
// fails with kAdErrorNotAvailable. Main thread only.
#include <ima/AdsManager.h>
#include <ima/AdsRequest.h>
#include <ima/Settings.h>

namespace ima {

class AdsLoader;

class AdsLoadedData : public rt::Object {
    RT_CLASS(AdsLoadedData, rt::Object)
public:
    AdsLoadedData(rt::Ref<AdsManager> adsManager, rt::Ref<AdsRequest> request)
        : adsManager_(std::move(adsManager)), request_(std::move(request)) {}
    const rt::Ref<AdsManager>& adsManager() const { return adsManager_; }
    const rt::Ref<AdsRequest>& adsRequest() const { return request_; }
    const rt::Value& userContext() const { return request_->userContext(); }

private:
    rt::Ref<AdsManager> adsManager_;
    rt::Ref<AdsRequest> request_;
};

class AdLoadingErrorData : public rt::Object {
    RT_CLASS(AdLoadingErrorData, rt::Object)
public:
    AdLoadingErrorData(rt::Ref<AdError> adError, rt::Ref<AdsRequest> request)
        : adError_(std::move(adError)), request_(std::move(request)) {}
    const rt::Ref<AdError>& adError() const { return adError_; }
    const rt::Ref<AdsRequest>& adsRequest() const { return request_; }
    const rt::Value& userContext() const { return request_->userContext(); }

private:
    rt::Ref<AdError> adError_;
    rt::Ref<AdsRequest> request_;
};

class AdsLoaderDelegate {
public:
    virtual ~AdsLoaderDelegate() = default;
    virtual void adsLoaderAdsLoadedWithData(AdsLoader& loader, const rt::Ref<AdsLoadedData>& data) = 0;
    virtual void adsLoaderFailedWithErrorData(AdsLoader& loader, const rt::Ref<AdLoadingErrorData>& data) = 0;
};

class AdsLoader : public rt::Object {
    RT_CLASS(AdsLoader, rt::Object)
public:
    explicit AdsLoader(rt::Ref<Settings> settings = nullptr);

    const rt::Ref<Settings>& settings() const { return settings_; }
    /// The delegate must be an rt::Object too; it is held weakly.
    void setDelegate(const rt::Ref<rt::Object>& delegate);
    AdsLoaderDelegate* delegate() const;

    void requestAdsWithRequest(const rt::Ref<AdsRequest>& request);

    // Backend side: the answer to a request (delivered to the delegate, if any; a manager
    // nobody receives is destroyed so it never plays).
    void deliverLoaded(const rt::Ref<AdsManager>& manager, const rt::Ref<AdsRequest>& request);
    void deliverError(const rt::Ref<AdError>& error, const rt::Ref<AdsRequest>& request);

private:
    rt::Ref<Settings> settings_;
    rt::Weak<rt::Object> delegateObject_;
    AdsLoaderDelegate* delegate_ = nullptr;
};

}  // namespace ima
