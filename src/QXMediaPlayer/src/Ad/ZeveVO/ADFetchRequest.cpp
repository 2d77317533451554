#include <QXMediaPlayer/Ad/ZeveVO/ADFetchRequest.h>

#include "Ad/VAST/VASTUrlText.h"
#include "Ad/ZeveVO/ZeveVoRequestFormat.h"

#include <QXMediaPlayer/Ad/VAST/VASTParser.h>
#include <QXMediaPlayer/Ad/ZeveVO/QXAdvertisingIdentifier.h>
#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoAdFetchRequestService.h>
#include <dev/Device.h>
#include <sec/Random.h>

#include <algorithm>

namespace zid {

namespace {
constexpr std::string_view kAccountIdPlaceholder = "$ACCOUNTID";

std::string replaceAll(std::string text, std::string_view what, const std::string& with) {
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

std::string randomCacheBuster() {
    std::uint32_t value = 0;
    if (!sec::randomBytes(&value, sizeof value)) value = 0;
    return std::to_string(value);
}
}  // namespace

rt::Ref<rt::Error> adFetchError(long long code, const std::string& message, const rt::Ref<rt::Error>& cause) {
    rt::Dictionary info;
    info.set(rt::Error::LocalizedDescriptionKey, message);
    if (cause) info.set(rt::Error::UnderlyingErrorKey, rt::Value(cause));
    return rt::Error::make(ADFetchRequestErrorDomain, code, info);
}

ADFetchRequest::ADFetchRequest(rt::Ref<net::HttpClient> client) : client_(std::move(client)) {}

std::optional<std::string> ADFetchRequest::baseAddress() const {
    if (baseURL_.find(kAccountIdPlaceholder) == std::string::npos) return baseURL_;
    if (!accountId || accountId->empty()) return std::nullopt;
    return replaceAll(baseURL_, kAccountIdPlaceholder, *accountId);
}

std::optional<std::string> ADFetchRequest::createUrl() const {
    if (sendsBaseURLAsIs) return baseURL_;
    std::optional<std::string> address = baseAddress();
    if (!address) return std::nullopt;
    if (parameters_) {
        std::string result = *address + "?";
        for (const auto& [key, value] : *parameters_)
            result = ZeveVoRequestFormat::appendUrlParameter(std::move(result), key, value);
        return result;
    }
    ZeveVoPlaceholderValues values;
    values.zoneId = zoneId;
    values.duration = duration;
    values.categories = categories;
    values.contentId = contentId;
    values.userAgent = ZeveVoRequestFormat::userAgent(dev::Device::current()->systemVersion());
    values.idfa = QXAdvertisingIdentifier::identifierForRequests();
    values.cb = randomCacheBuster();
    values.title = title;
    values.keywords = keywords;
    values.description = ZeveVoRequestFormat::cutDescription(contentDescription);
    ZeveVoFormatPairs pairs = requestFormat && !requestFormat->empty() ? ZeveVoRequestFormat::parse(*requestFormat)
                                                                       : ZeveVoRequestFormat::defaultPairs(siteURL, pageURL);
    std::string result = *address + "?";
    for (const auto& [key, value] : pairs)
        result = ZeveVoRequestFormat::appendUrlParameter(std::move(result), key, ZeveVoRequestFormat::substitute(value, values));
    return result;
}

void ADFetchRequest::later(std::function<void(ADFetchRequest&)> block) {
    rt::Weak<ADFetchRequest> weak = selfAs<ADFetchRequest>();
    std::uint64_t generation = generation_;
    fnd::RunLoop::main()->post([weak, generation, block = std::move(block)] {
        auto self = weak.lock();
        if (self && self->generation_ == generation) block(*self);
    });
}

void ADFetchRequest::startWithBaseURL(const std::string& baseURL) {
    baseURL_ = baseURL;
    parameters_.reset();
    startFetch();
}

void ADFetchRequest::startRequestWithParameters(const std::map<std::string, std::string>& parameters) {
    parameters_ = parameters;
    startFetch();
}

void ADFetchRequest::startFetch() {
    stopTransfer();
    ++generation_;
    lastCause_ = nullptr;
    state_ = FirstTry;
    // One bound for the whole fetch: tries times wrapper hops times the time-out of one
    // request would otherwise hold an ad break for minutes.
    if (deadline_) deadline_->invalidate();
    rt::Weak<ADFetchRequest> weak = selfAs<ADFetchRequest>();
    std::uint64_t generation = generation_;
    deadline_ = fnd::RunLoop::main()->after(timeLimit, [weak, generation] {
        auto self = weak.lock();
        if (!self || self->generation_ != generation) return;
        std::string limit = std::to_string(static_cast<long long>(self->timeLimit));
        auto cause = adFetchError(kADFetchTimedOut, "The ad request took longer than " + limit + " seconds as a whole",
                                  self->lastCause_);
        self->fail(adFetchError(kADFetchNoAdAfterTries, "The ad server gave no playable ad within " + limit + " seconds",
                                cause));
    });
    startTry();
}

void ADFetchRequest::cancel() {
    stopTransfer();
    ++generation_;
    if (deadline_) deadline_->invalidate();
    deadline_ = nullptr;
    temporaryAdElement_ = nullptr;
    state_ = Idle;
}

void ADFetchRequest::fail(rt::Ref<rt::Error> error) {
    stopTransfer();
    ++generation_;
    if (deadline_) deadline_->invalidate();
    deadline_ = nullptr;
    temporaryAdElement_ = nullptr;
    if (delegate) delegate->adFetchRequestDidFailWithError(*this, error);
}

void ADFetchRequest::stopTransfer() {
    if (requestOperation_) requestOperation_->cancel();
    requestOperation_ = nullptr;
    if (timeout_) timeout_->invalidate();
    timeout_ = nullptr;
}

void ADFetchRequest::startTry() {
    temporaryAdElement_ = nullptr;
    wrapperDepth_ = 0;
    chainUrls_.clear();
    std::optional<std::string> url = createUrl();
    if (!url) {
        // Not a failed try: no try can succeed, so the fetch ends without a request.
        auto error = adFetchError(kADFetchMissingAccountId,
                                  "The ad server's base URL needs an account id (\"$ACCOUNTID\"), and the ad "
                                  "settings have none: set accountID in the settings");
        state_ = Idle;
        later([error](ADFetchRequest& self) { self.fail(error); });
        return;
    }
    if (!isFetchableUrl(*url)) {
        auto error = adFetchError(kADFetchUnsupportedScheme,
                                  "The ad server's base URL is not an http or https URL: " + baseURL_);
        later([error](ADFetchRequest& self) { self.failTry(error); });
        return;
    }
    startRequestWithUrl(*url);
}

void ADFetchRequest::startRequestWithUrl(const std::string& url) {
    stopTransfer();
    chainUrls_.insert(url);
    rt::Weak<ADFetchRequest> weak = selfAs<ADFetchRequest>();
    std::uint64_t generation = generation_;
    requestOperation_ = client_->performAsync(
        net::HttpRequest::get(url, {}, ZeveVoAdFetchRequestService::kRequestTimeout),
        [weak, generation](const net::HttpResult& result) {
            if (auto self = weak.lock()) self->requestFinished(generation, result);
        });
    timeout_ = fnd::RunLoop::main()->after(ZeveVoAdFetchRequestService::kRequestTimeout, [weak, generation, url] {
        auto self = weak.lock();
        if (!self || self->generation_ != generation) return;
        self->stopTransfer();
        self->failTry(adFetchError(kADFetchTimedOut, "The ad server did not answer " + url + " within " +
                                                         std::to_string(static_cast<int>(
                                                             ZeveVoAdFetchRequestService::kRequestTimeout)) +
                                                         " seconds"));
    });
}

void ADFetchRequest::requestFinished(std::uint64_t generation, const net::HttpResult& result) {
    if (generation != generation_) return;
    requestOperation_ = nullptr;
    if (timeout_) timeout_->invalidate();
    timeout_ = nullptr;
    if (!result.ok()) {
        failTry(adFetchError(kADFetchTransport, "The ad request failed: " +
                                                    (result.error ? result.error->localizedDescription() : std::string()),
                             result.error));
        return;
    }
    const net::HttpResponse& response = *result.response;
    if (!response.isSuccess()) {
        failTry(adFetchError(kADFetchHTTPStatus,
                             "The ad server answered " + response.url + " with HTTP status " + std::to_string(response.status)));
        return;
    }
    successWithResult(response.body, response.url);
}

void ADFetchRequest::successWithResult(const std::string& body, const std::string& documentUrl) {
    auto parser = rt::make<VASTParser>();
    auto ads = temporaryAdElement_ ? parser->parse(body, *temporaryAdElement_, documentUrl) : parser->parse(body, documentUrl);
    if (!ads) {
        failTry(adFetchError(kADFetchNotVAST, "The ad server's answer is not a VAST document this reader accepts"));
        return;
    }
    if (ads->empty()) {
        failTry(adFetchError(kADFetchNoAd, "The ad server's VAST document holds no linear ad"));
        return;
    }
    rt::Ref<VASTAdElement> ad = ads->front();
    ad->setParametersWithValues(nullptr);
    if (ad->wrapperUrl) {
        const std::string& next = *ad->wrapperUrl;
        if (wrapperDepth_ >= ZeveVoAdFetchRequestService::kMaxWrapperDepth) {
            failTry(adFetchError(kADFetchWrapperChainTooLong,
                                 "The ad's wrappers go deeper than " +
                                     std::to_string(ZeveVoAdFetchRequestService::kMaxWrapperDepth) + " levels"));
        } else if (!isFetchableUrl(next)) {
            failTry(adFetchError(kADFetchUnsupportedScheme, "A wrapper points to a URL that is not http or https: " + next));
        } else if (chainUrls_.count(next)) {
            failTry(adFetchError(kADFetchWrapperLoop, "A wrapper points back to " + next + ", already fetched"));
        } else {
            ++wrapperDepth_;
            temporaryAdElement_ = ad;
            startRequestWithUrl(next);
        }
        return;
    }
    temporaryAdElement_ = nullptr;
    ad->urlEncodeIfNeeded();
    if (!ad->testIfPlayableMediaFileIsAvailable()) {
        failTry(adFetchError(kADFetchNoPlayableFile, "The ad has no video/mp4 media file"));
        return;
    }
    ++generation_;
    if (deadline_) deadline_->invalidate();
    deadline_ = nullptr;
    if (delegate) delegate->adFetchRequestDidFinishWithAdElement(*this, ad);
}

void ADFetchRequest::failTry(rt::Ref<rt::Error> cause) {
    lastCause_ = std::move(cause);
    rollbackOnNextTry();
}

void ADFetchRequest::rollbackOnNextTry() {
    temporaryAdElement_ = nullptr;
    switch (state_) {
        case FirstTry:
        case SecondTry:
            if (static_cast<int>(state_) < maxTries) {
                state_ = static_cast<State>(state_ + 1);
                startTry();
                break;
            }
            [[fallthrough]];
        case ThirdTry: {
            static constexpr const char* kTries[] = {"one try", "two tries", "three tries"};
            fail(adFetchError(kADFetchNoAdAfterTries,
                              std::string("The ad server gave no playable ad in ") +
                                  kTries[std::clamp(static_cast<int>(state_), 1, 3) - 1],
                              lastCause_));
            break;
        }
        case Idle:
            break;
    }
}

}  // namespace zid
