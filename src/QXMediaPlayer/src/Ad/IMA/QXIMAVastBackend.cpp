#include <QXMediaPlayer/Ad/IMA/QXIMAVastBackend.h>
#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoAdFetchRequestService.h>

#include "Ad/IMA/QXIMAVastFetch.h"

namespace zid {

QXIMAVastBackend::QXIMAVastBackend(rt::Ref<net::HttpClient> client) : client_(std::move(client)) {
    if (!client_) {
        client_ = rt::make<net::HttpClient>();
        client_->setMaxResponseBytes(ZeveVoAdFetchRequestService::kMaxBodyBytes);
        client_->setDefaultTimeout(ZeveVoAdFetchRequestService::kRequestTimeout);
    }
}

QXIMAVastBackend::~QXIMAVastBackend() = default;

std::shared_ptr<QXIMAVastBackend> QXIMAVastBackend::install(rt::Ref<net::HttpClient> client) {
    auto backend = std::make_shared<QXIMAVastBackend>(std::move(client));
    ima::installBackend(backend);
    return backend;
}

void QXIMAVastBackend::requestAds(const rt::Ref<ima::AdsLoader>& loader, const rt::Ref<ima::AdsRequest>& request) {
    auto fetch = rt::make<QXIMAVastFetch>(weak_from_this(), client_, loader, request);
    fetches_.insert(fetch);
    fetch->start();
}

void QXIMAVastBackend::fetchFinished(QXIMAVastFetch& fetch) {
    for (auto it = fetches_.begin(); it != fetches_.end(); ++it)
        if (it->get() == &fetch) {
            fetches_.erase(it);
            return;
        }
}

}  // namespace zid
