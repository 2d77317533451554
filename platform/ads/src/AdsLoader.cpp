#include <fnd/RunLoop.h>
#include <ima/AdsLoader.h>
#include <ima/Backend.h>

namespace ima {

AdsLoader::AdsLoader(rt::Ref<Settings> settings) : settings_(settings ? std::move(settings) : rt::make<Settings>()) {}

void AdsLoader::setDelegate(const rt::Ref<rt::Object>& delegate) {
    delegateObject_ = delegate;
    delegate_ = dynamic_cast<AdsLoaderDelegate*>(delegate.get());
}

AdsLoaderDelegate* AdsLoader::delegate() const { return delegateObject_.expired() ? nullptr : delegate_; }

void AdsLoader::requestAdsWithRequest(const rt::Ref<AdsRequest>& request) {
    if (auto backend = installedBackend()) {
        backend->requestAds(selfAs<AdsLoader>(), request);
        return;
    }
    // Answered on the loop like every answer, so the caller never hears back inside its call.
    rt::Ref<AdsLoader> loader = selfAs<AdsLoader>();
    fnd::RunLoop::main()->post([loader, request] {
        loader->deliverError(rt::make<AdError>(AdErrorType::Loading, kAdErrorNotAvailable,
                                               std::string("No ads backend is installed in this process: install "
                                                           "one with ima::installBackend before requesting ads")),
                             request);
    });
}

void AdsLoader::deliverLoaded(const rt::Ref<AdsManager>& manager, const rt::Ref<AdsRequest>& request) {
    auto keep = self();
    if (auto* d = delegate()) {
        d->adsLoaderAdsLoadedWithData(*this, rt::make<AdsLoadedData>(manager, request));
        return;
    }
    manager->destroy();
}

void AdsLoader::deliverError(const rt::Ref<AdError>& error, const rt::Ref<AdsRequest>& request) {
    auto keep = self();
    if (auto* d = delegate()) d->adsLoaderFailedWithErrorData(*this, rt::make<AdLoadingErrorData>(error, request));
}

}  // namespace ima
