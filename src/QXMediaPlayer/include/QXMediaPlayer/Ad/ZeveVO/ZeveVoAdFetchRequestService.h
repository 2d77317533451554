#pragma once
// The ad request service of the ad server: one request per ad break, built from a
// content item's ad settings, the zone, the server's base URL and a request format.
//
// A request runs up to three tries; each GETs the request URL (a fresh "$CB" each time),
// follows wrapper ads (at most kMaxWrapperDepth deep, never to an address already seen
// in the chain) and succeeds with the first ad that has a video/mp4 file. After the
// third failed try the failure block runs with kADFetchNoAdAfterTries and the last
// try's cause beneath. Only http and https URLs are requested, each with a time-out of
// kRequestTimeout seconds on the main loop's clock and bodies of at most 1 MiB; the
// request as a whole, tries and wrappers together, fails after adRequestTimeLimit
// seconds (kADFetchNoAdAfterTries with kADFetchTimedOut beneath).
#include <QXMediaPlayer/Ad/ZeveVO/ICPAdRequestService.h>
#include <fnd/Clock.h>

#include <optional>
#include <string>

namespace net {
class HttpClient;
}

namespace zid {

/// The error domain of ad fetches and its codes.
inline constexpr const char* ADFetchRequestErrorDomain = "ADFetchRequestErrorDomain";
enum ADFetchRequestErrorCode : long long {
    kADFetchNoAdAfterTries = 1,      // three tries found no ad (the last cause beneath)
    kADFetchMissingAccountId = 2,    // the base URL needs "$ACCOUNTID" and the settings have none
    kADFetchUnsupportedScheme = 3,   // a base or wrapper URL that is not http or https
    kADFetchHTTPStatus = 4,          // a status outside 200..299
    kADFetchNotVAST = 5,             // not a VAST document this reader accepts, or not UTF-8
    kADFetchNoAd = 6,                // a VAST document without an ad
    kADFetchNoPlayableFile = 7,      // an ad without a video/mp4 file
    kADFetchWrapperChainTooLong = 8, // more than kMaxWrapperDepth wrappers
    kADFetchWrapperLoop = 9,         // a wrapper pointing to an address seen in the chain
    kADFetchTimedOut = 10,           // no answer within kRequestTimeout
    kADFetchTransport = 11,          // the transfer failed (the network error beneath)
};

class ZeveVoAdFetchRequestService : public ICPAdRequestService {
    RT_CLASS(ZeveVoAdFetchRequestService, ICPAdRequestService)
public:
    static constexpr fnd::TimeInterval kRequestTimeout = 10;
    static constexpr int kMaxWrapperDepth = 5;
    static constexpr std::size_t kMaxBodyBytes = 1u << 20;
    static constexpr fnd::TimeInterval kDefaultAdRequestTimeLimit = 30;

    ZeveVoAdFetchRequestService();

    /// The ad server's request address; may hold "$ACCOUNTID".
    const std::optional<std::string>& ZeveVOBaseURL() const { return baseURL_; }
    void setZeveVOBaseURL(std::optional<std::string> url) { baseURL_ = std::move(url); }
    /// "key = value" pairs separated by ","; empty or absent: the default format.
    const std::optional<std::string>& ZeveVORequestFormat() const { return requestFormat_; }
    void setZeveVORequestFormat(std::optional<std::string> format) { requestFormat_ = std::move(format); }
    /// The deployment's web site and application page addresses for the default format.
    const std::string& siteURL() const { return siteURL_; }
    void setSiteURL(std::string url) { siteURL_ = std::move(url); }
    const std::string& pageURL() const { return pageURL_; }
    void setPageURL(std::string url) { pageURL_ = std::move(url); }

    /// Seconds one ad request may take as a whole (kDefaultAdRequestTimeLimit); reaches
    /// the requests made after the change.
    fnd::TimeInterval adRequestTimeLimit() const { return adRequestTimeLimit_; }
    void setAdRequestTimeLimit(fnd::TimeInterval seconds) { adRequestTimeLimit_ = seconds; }

    /// The HTTP client requests use: by default one of the service's own, bounded to
    /// kMaxBodyBytes (a host adds trust anchors to it).
    const rt::Ref<net::HttpClient>& httpClient() const { return httpClient_; }
    void setHttpClient(rt::Ref<net::HttpClient> client) { httpClient_ = std::move(client); }

    rt::Ref<IRequest> adRequestWithSetting(const rt::Ref<CPAdSettings>& settings, const std::string& zoneId,
                                           ADFetchSuccessBlock successBlock, ADFetchFailBlock failBlock) override;

private:
    std::optional<std::string> baseURL_;
    std::optional<std::string> requestFormat_;
    std::string siteURL_;
    std::string pageURL_;
    fnd::TimeInterval adRequestTimeLimit_ = kDefaultAdRequestTimeLimit;
    rt::Ref<net::HttpClient> httpClient_;
};

}  // namespace zid
