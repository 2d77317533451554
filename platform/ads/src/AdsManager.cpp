#include <ima/AdsManager.h>

namespace ima {

void AdsManager::setDelegate(const rt::Ref<rt::Object>& delegate) {
    delegateObject_ = delegate;
    delegate_ = dynamic_cast<AdsManagerDelegate*>(delegate.get());
}

AdsManagerDelegate* AdsManager::delegate() const { return delegateObject_.expired() ? nullptr : delegate_; }

// Each report keeps the manager alive through the delegate's call: the delegate may drop
// its last reference to it (an all-ads-completed event usually does).
void AdsManager::reportEvent(AdEventType type) {
    auto keep = self();
    if (destroyed_) return;
    if (auto* d = delegate()) d->adsManagerDidReceiveAdEvent(*this, rt::make<AdEvent>(type));
}

void AdsManager::reportError(AdErrorType type, long long code, std::optional<std::string> message) {
    auto keep = self();
    if (destroyed_) return;
    if (auto* d = delegate()) d->adsManagerDidReceiveAdError(*this, rt::make<AdError>(type, code, std::move(message)));
}

void AdsManager::reportContentPause() {
    auto keep = self();
    if (destroyed_) return;
    if (auto* d = delegate()) d->adsManagerDidRequestContentPause(*this);
}

void AdsManager::reportContentResume() {
    auto keep = self();
    if (destroyed_) return;
    if (auto* d = delegate()) d->adsManagerDidRequestContentResume(*this);
}

}  // namespace ima
