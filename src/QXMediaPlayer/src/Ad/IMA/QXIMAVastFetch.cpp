#include "Ad/IMA/QXIMAVastFetch.h"

#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoAdFetchRequestService.h>
#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoResponse.h>

#include "Ad/IMA/QXIMAVastAdsManager.h"

namespace zid {

QXIMAVastFetch::QXIMAVastFetch(std::weak_ptr<QXIMAVastBackend> backend, rt::Ref<net::HttpClient> client,
                               rt::Ref<ima::AdsLoader> loader, rt::Ref<ima::AdsRequest> request)
    : backend_(std::move(backend)),
      fetch_(rt::make<ADFetchRequest>(std::move(client))),
      loader_(std::move(loader)),
      request_(std::move(request)) {}

void QXIMAVastFetch::start() {
    // The tag is requested as the host wrote it, once: the loader times the request out
    // and the host decides when to ask again.
    fetch_->sendsBaseURLAsIs = true;
    fetch_->maxTries = 1;
    fetch_->delegate = this;
    fetch_->startWithBaseURL(request_->adTagUrl());
}

void QXIMAVastFetch::adFetchRequestDidFinishWithAdElement(ADFetchRequest&, const rt::Ref<VASTAdElement>& ad) {
    auto keep = self();
    auto source = rt::make<ZeveVoSource>(rt::make<CPAdSettings>(), nullptr, std::string());
    source->fetchRequestDidSucceedWitResult(rt::make<ZeveVoResponse>(ad));
    if (source->state() != CPMediaSourceState::Realized) {
        answerError(ima::kAdErrorNoAd, source->error() ? source->error()->localizedDescription()
                                                       : std::string("The ad has no playable video/mp4 file"));
        return;
    }
    rt::Ref<ui::View> container =
        request_->adDisplayContainer() ? request_->adDisplayContainer()->adContainer() : rt::Ref<ui::View>();
    auto manager = rt::make<QXIMAVastAdsManager>(source, container);
    loader_->deliverLoaded(manager, request_);
    done();
}

void QXIMAVastFetch::adFetchRequestDidFailWithError(ADFetchRequest&, const rt::Ref<rt::Error>& error) {
    auto keep = self();
    auto cause = error->userInfo().get(rt::Error::UnderlyingErrorKey).as<rt::Error>();
    const rt::Ref<rt::Error>& reported = cause ? cause : error;
    long long code = ima::kAdErrorNoAd;
    switch (reported->code()) {
        case kADFetchTimedOut:
            code = ima::kAdErrorTimedOut;
            break;
        case kADFetchHTTPStatus:
        case kADFetchTransport:
        case kADFetchUnsupportedScheme:
            code = ima::kAdErrorServerFailed;
            break;
        default:
            break;
    }
    answerError(code, reported->localizedDescription());
}

void QXIMAVastFetch::answerError(long long code, const std::string& message) {
    loader_->deliverError(rt::make<ima::AdError>(ima::AdErrorType::Loading, code, message), request_);
    done();
}

void QXIMAVastFetch::done() {
    fetch_->delegate = nullptr;
    if (auto backend = backend_.lock()) backend->fetchFinished(*this);
}

}  // namespace zid
