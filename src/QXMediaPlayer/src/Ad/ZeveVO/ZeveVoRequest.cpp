#include "Ad/ZeveVO/ZeveVoRequest.h"

#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoResponse.h>
#include <rt/Exception.h>

namespace zid {

namespace {

rt::Ref<CPAdSettings> requestCopy(const rt::Ref<CPAdSettings>& given) {
    auto copy = rt::make<CPAdSettings>();
    copy->duration = ZeveVoRequest::kRequestDuration;
    copy->tags_ = {"mobile", "iOS"};
    if (!given) return copy;
    const CPAdSettings& settings = *given;
    copy->adFree_ = settings.adFree_;
    copy->contentId = settings.contentId;
    copy->title = settings.title;
    copy->url = settings.url;
    copy->contentDescription = settings.contentDescription;
    copy->mainCategoryId = settings.mainCategoryId;
    copy->subCategoryId = settings.subCategoryId;
    copy->accountID = settings.accountID;
    copy->tags_.insert(copy->tags_.end(), settings.tags_.begin(), settings.tags_.end());
    return copy;
}

std::string joined(const std::vector<std::string>& items, bool skipEmpty) {
    std::string text;
    bool first = true;
    for (const auto& item : items) {
        if (skipEmpty && item.empty()) continue;
        if (!first) text += ',';
        first = false;
        text += item;
    }
    return text;
}

}  // namespace

ZeveVoRequest::ZeveVoRequest(const rt::Ref<CPAdSettings>& settings, std::string zoneId,
                             ADFetchSuccessBlock successBlock, ADFetchFailBlock failBlock,
                             std::optional<std::string> baseURL, std::optional<std::string> requestFormat,
                             rt::Ref<net::HttpClient> client)
    : adSettings_(requestCopy(settings)),
      zoneId_(std::move(zoneId)),
      baseURL_(std::move(baseURL)),
      requestFormat_(std::move(requestFormat)),
      successBlock_(std::move(successBlock)),
      failBlock_(std::move(failBlock)),
      client_(std::move(client)) {
    if (!successBlock_ || !failBlock_)
        throw rt::Exception("NSInvalidArgumentException",
                            "An ad request needs both a success block and a fail block");
}

ZeveVoRequest::~ZeveVoRequest() {
    if (fetchRequest_) fetchRequest_->cancel();
}

void ZeveVoRequest::start() {
    if (fetchRequest_) {
        fetchRequest_->cancel();
        fetchRequest_->delegate = nullptr;
    }
    auto fetch = rt::make<ADFetchRequest>(client_);
    const CPAdSettings& s = *adSettings_;
    fetch->contentId = s.contentId;
    fetch->title = s.title;
    fetch->url = s.url;
    fetch->contentDescription = s.contentDescription;
    fetch->categories = joined({s.mainCategoryId, s.subCategoryId}, true);
    fetch->duration = std::to_string(s.duration);
    fetch->keywords = joined(s.tags_, false);
    fetch->zoneId = zoneId_;
    fetch->requestFormat = requestFormat_;
    if (!s.accountID.empty()) fetch->accountId = s.accountID;
    fetch->siteURL = siteURL;
    fetch->pageURL = pageURL;
    fetch->timeLimit = timeLimit;
    fetch->delegate = this;
    fetchRequest_ = fetch;
    fetch->startWithBaseURL(baseURL_.value_or(std::string()));
}

void ZeveVoRequest::cancel() {
    if (fetchRequest_) fetchRequest_->cancel();
}

void ZeveVoRequest::adFetchRequestDidFinishWithAdElement(ADFetchRequest& request, const rt::Ref<VASTAdElement>& ad) {
    if (&request != fetchRequest_.get()) return;
    auto keepAlive = self();  // the block may drop the last reference to this request
    auto block = successBlock_;
    block(rt::make<ZeveVoResponse>(ad));
}

void ZeveVoRequest::adFetchRequestDidFailWithError(ADFetchRequest& request, const rt::Ref<rt::Error>& error) {
    if (&request != fetchRequest_.get()) return;
    auto keepAlive = self();
    auto block = failBlock_;
    block(error);
}

}  // namespace zid
