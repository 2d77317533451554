#include <QXFoundation/Log/QXLogger.h>
#include <QXMediaPlayer/Ad/IMA/QXIMAAdsLoader.h>
#include "Ad/AdLogModule.h"

namespace zid {

namespace {
rt::Ref<QXIMAAdsLoader>& sharedSlot() {
    static rt::Ref<QXIMAAdsLoader> shared;
    return shared;
}
}  // namespace

rt::Ref<QXIMAAdsLoader> QXIMAAdsLoader::sharedAdsLoader() {
    auto& shared = sharedSlot();
    if (!shared) {
        shared = rt::make<QXIMAAdsLoader>();
        shared->setupLoader();
    }
    return shared;
}

void QXIMAAdsLoader::resetSharedAdsLoader() {
    auto& shared = sharedSlot();
    if (shared && shared->timeout_) shared->timeout_->invalidate();
    shared = nullptr;
}

void QXIMAAdsLoader::setupLoader() {
    auto settings = rt::make<ima::Settings>();
    settings->setAutoPlayAdBreaks(false);
    settings->setEnableBackgroundPlayback(true);
    setupLoaderWithSettings(settings);
}

void QXIMAAdsLoader::setupLoaderWithSettings(const rt::Ref<ima::Settings>& settings) {
    if (adsLoader_) adsLoader_->setDelegate(nullptr);
    adsLoader_ = rt::make<ima::AdsLoader>(settings);
    adsLoader_->setDelegate(self());
}

void QXIMAAdsLoader::requestAdsWithRequest(const rt::Ref<ima::AdsRequest>& request,
                                           QXImaRequestRecord::Callback callback) {
    requestRecords_.push_back(rt::make<QXImaRequestRecord>(request, std::move(callback)));
    if (!currentRecord_) callNextRequest();
}

void QXIMAAdsLoader::callNextRequest() {
    if (currentRecord_ || requestRecords_.empty()) return;
    currentRecord_ = requestRecords_.front();
    requestRecords_.pop_front();
    rt::Weak<QXIMAAdsLoader> weak = selfAs<QXIMAAdsLoader>();
    rt::Ref<QXImaRequestRecord> record = currentRecord_;
    timeout_ = fnd::RunLoop::main()->after(kRequestTimeout, [weak, record] {
        if (auto self = weak.lock()) self->requestTimedOut(record);
    });
    // Hold the loader in use through the call: a backend may answer at once.
    rt::Ref<ima::AdsLoader> loader = adsLoader_;
    loader->requestAdsWithRequest(record->request());
}

void QXIMAAdsLoader::cancelRequest(const rt::Ref<ima::AdsRequest>& request) {
    auto it = std::find_if(requestRecords_.begin(), requestRecords_.end(),
                           [&](const rt::Ref<QXImaRequestRecord>& record) { return record->request() == request; });
    if (it != requestRecords_.end()) requestRecords_.erase(it);
}

bool QXIMAAdsLoader::answersCurrent(const ima::AdsLoader& loader, const rt::Ref<ima::AdsRequest>& request) const {
    return currentRecord_ && &loader == adsLoader_.get() && request == currentRecord_->request();
}

rt::Ref<QXImaRequestRecord> QXIMAAdsLoader::finishCurrent() {
    rt::Ref<QXImaRequestRecord> record = std::move(currentRecord_);
    currentRecord_ = nullptr;
    if (timeout_) timeout_->invalidate();
    timeout_ = nullptr;
    return record;
}

void QXIMAAdsLoader::adsLoaderAdsLoadedWithData(ima::AdsLoader& loader, const rt::Ref<ima::AdsLoadedData>& data) {
    if (!answersCurrent(loader, data->adsRequest())) {
        // Its requester heard of a time-out long ago (or asked a loader no longer in use):
        // nobody will ever start these ads.
        QXLog(kAdLogModule, staticClass(), 3, "Dropping ads loaded for a request no longer waiting: %@",
              rt::Value(data->adsRequest()->adTagUrl()));
        if (data->adsManager()) data->adsManager()->destroy();
        return;
    }
    auto keep = self();
    rt::Ref<QXImaRequestRecord> record = finishCurrent();
    callNextRequest();
    if (record->callback()) record->callback()(data, nullptr);
}

void QXIMAAdsLoader::adsLoaderFailedWithErrorData(ima::AdsLoader& loader,
                                                  const rt::Ref<ima::AdLoadingErrorData>& data) {
    if (!answersCurrent(loader, data->adsRequest())) {
        QXLog(kAdLogModule, staticClass(), 3, "Dropping a late ad error for a request no longer waiting: %@",
              rt::Value(data->adsRequest()->adTagUrl()));
        return;
    }
    auto keep = self();
    rt::Ref<QXImaRequestRecord> record = finishCurrent();
    // A fresh loader first, so the next request never goes to the one about to be replaced.
    setupLoader();
    callNextRequest();
    if (record->callback()) record->callback()(nullptr, data->adError());
}

void QXIMAAdsLoader::requestTimedOut(const rt::Ref<QXImaRequestRecord>& record) {
    if (record != currentRecord_) return;
    auto keep = self();
    finishCurrent();
    setupLoader();
    callNextRequest();
    auto error = rt::make<ima::AdError>(ima::AdErrorType::Loading, ima::kAdErrorTimedOut,
                                        "The ad request got no answer within " +
                                            std::to_string(static_cast<int>(kRequestTimeout)) +
                                            " seconds: " + record->request()->adTagUrl());
    if (record->callback()) record->callback()(nullptr, error);
}

}  // namespace zid
