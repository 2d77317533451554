#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoAdFetchRequestService.h>

#include "Ad/ZeveVO/ZeveVoRequest.h"

#include <net/HttpClient.h>

namespace zid {

ZeveVoAdFetchRequestService::ZeveVoAdFetchRequestService() : httpClient_(rt::make<net::HttpClient>()) {
    httpClient_->setMaxResponseBytes(kMaxBodyBytes);
    httpClient_->setDefaultTimeout(kRequestTimeout);
}

rt::Ref<IRequest> ZeveVoAdFetchRequestService::adRequestWithSetting(const rt::Ref<CPAdSettings>& settings,
                                                                    const std::string& zoneId,
                                                                    ADFetchSuccessBlock successBlock,
                                                                    ADFetchFailBlock failBlock) {
    auto request = rt::make<ZeveVoRequest>(settings, zoneId, std::move(successBlock), std::move(failBlock), baseURL_,
                                           requestFormat_, httpClient_);
    request->siteURL = siteURL_;
    request->pageURL = pageURL_;
    request->timeLimit = adRequestTimeLimit_;
    return request;
}

}  // namespace zid
