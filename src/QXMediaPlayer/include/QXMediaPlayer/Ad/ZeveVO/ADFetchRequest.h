#pragma once
// One ad fetch: up to three tries, each a GET of the request URL followed through its
// wrappers, on the main loop. A cancelled or restarted fetch reports nothing of its
// earlier run: every transfer, time-out and posted report carries the generation it
// belongs to.
#include <QXMediaPlayer/Ad/VAST/VASTAdElement.h>
#include <fnd/RunLoop.h>
#include <net/HttpClient.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_set>

namespace zid {

class ADFetchRequest;

class ADFetchRequestDelegate {
public:
    virtual ~ADFetchRequestDelegate() = default;
    /// The ad found (never absent: a fetch without an ad fails).
    virtual void adFetchRequestDidFinishWithAdElement(ADFetchRequest& request, const rt::Ref<VASTAdElement>& ad) = 0;
    virtual void adFetchRequestDidFailWithError(ADFetchRequest& request, const rt::Ref<rt::Error>& error) = 0;
};

class ADFetchRequest : public rt::Object {
    RT_CLASS(ADFetchRequest, rt::Object)
public:
    enum State : std::int32_t { Idle = 0, FirstTry = 1, SecondTry = 2, ThirdTry = 3 };

    explicit ADFetchRequest(rt::Ref<net::HttpClient> client);

    std::string contentId;
    std::string title;
    std::string url;  // the content's page address (kept, not sent)
    std::string contentDescription;
    std::string categories;
    std::string duration;
    std::string keywords;
    std::string zoneId;
    std::optional<std::string> accountId;
    std::optional<std::string> requestFormat;
    std::string siteURL;
    std::string pageURL;
    /// Held weakly: the delegate owns the fetch.
    ADFetchRequestDelegate* delegate = nullptr;
    /// Requests the base URL exactly as given, with no ad-server parameters (an ad tag
    /// that already holds its own query).
    bool sendsBaseURLAsIs = false;
    /// Tries of the fetch, 1 to 3.
    int maxTries = 3;
    /// Seconds the fetch may take as a whole, every try and wrapper included; then it
    /// fails as when its tries are used up.
    fnd::TimeInterval timeLimit = 30;

    State state() const { return state_; }
    const rt::Ref<VASTAdElement>& temporaryAdElement() const { return temporaryAdElement_; }

    void startWithBaseURL(const std::string& baseURL);
    /// Starts a fetch of the base URL ("$ACCOUNTID" replaced) with exactly these query
    /// parameters instead of the request format's (values escaped, keys as given, in
    /// key order); tries, wrappers and the outcome as with startWithBaseURL.
    void startRequestWithParameters(const std::map<std::string, std::string>& parameters);
    void cancel();

    /// The base URL the fetch requests; set by startWithBaseURL.
    const std::string& baseURL() const { return baseURL_; }
    void setBaseURL(std::string baseURL) { baseURL_ = std::move(baseURL); }

    /// The request URL of a try (a fresh "$CB" each call); nothing when the base URL
    /// needs an account id and there is none.
    std::optional<std::string> createUrl() const;

private:
    void startFetch();
    void startTry();
    void fail(rt::Ref<rt::Error> error);
    std::optional<std::string> baseAddress() const;
    void startRequestWithUrl(const std::string& url);
    void requestFinished(std::uint64_t generation, const net::HttpResult& result);
    /// documentUrl: the address that answered, against which the document's relative
    /// URLs resolve.
    void successWithResult(const std::string& body, const std::string& documentUrl);
    void failTry(rt::Ref<rt::Error> cause);
    void rollbackOnNextTry();
    void stopTransfer();
    /// Runs the block on the main loop unless the fetch moved on meanwhile.
    void later(std::function<void(ADFetchRequest&)> block);

    rt::Ref<net::HttpClient> client_;
    State state_ = Idle;
    std::uint64_t generation_ = 0;
    std::string baseURL_;
    rt::Ref<VASTAdElement> temporaryAdElement_;
    rt::Ref<net::HttpTask> requestOperation_;
    rt::Ref<fnd::Timer> timeout_;
    rt::Ref<fnd::Timer> deadline_;
    std::optional<std::map<std::string, std::string>> parameters_;
    int wrapperDepth_ = 0;
    std::unordered_set<std::string> chainUrls_;
    rt::Ref<rt::Error> lastCause_;
};

/// An error of the ad fetch domain with its message and, when given, its cause beneath.
rt::Ref<rt::Error> adFetchError(long long code, const std::string& message, const rt::Ref<rt::Error>& cause = nullptr);

}  // namespace zid
