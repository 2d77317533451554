#pragma once
// A URL request's description: URL, method, header fields in the order they were set,
// and an optional body.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <rt/Object.h>
#include <rt/Value.h>

namespace fnd {

/// The error domain of URL loading failures and its common codes.
inline constexpr const char* URLErrorDomain = "URLErrorDomain";
enum URLErrorCode : long long {
    URLErrorTimedOut = -1001,
    URLErrorNetworkConnectionLost = -1005,
    URLErrorNotConnectedToInternet = -1009,
};

/// Whether a load may answer from a local cache.
enum class URLRequestCachePolicy : long {
    UseProtocolCachePolicy = 0,
    ReloadIgnoringLocalCacheData = 1,
    ReturnCacheDataElseLoad = 2,
    ReturnCacheDataDontLoad = 3,
    ReloadIgnoringLocalAndRemoteCacheData = 4,
    ReloadRevalidatingCacheData = 5,
};

class URLRequest : public rt::Object {
    RT_CLASS(URLRequest, rt::Object)
public:
    explicit URLRequest(std::string url = {});

    const std::string& url() const { return url_; }
    void setURL(std::string url) { url_ = std::move(url); }
    /// "GET" unless set.
    const std::string& httpMethod() const { return method_; }
    void setHTTPMethod(std::string method) { method_ = std::move(method); }

    /// Header names compare without regard to case; the first spelling is kept.
    std::optional<std::string> valueForHTTPHeaderField(std::string_view name) const;
    /// Sets (or with nothing removes) a field; a new field goes to the end.
    void setValueForHTTPHeaderField(std::optional<std::string> value, std::string_view name);
    /// Appends to a field's value with ", " (or adds the field).
    void addValueForHTTPHeaderField(std::string_view value, std::string_view name);
    const std::vector<std::pair<std::string, std::string>>& allHTTPHeaderFields() const { return headers_; }

    const std::optional<rt::Data>& httpBody() const { return body_; }
    void setHTTPBody(std::optional<rt::Data> body) { body_ = std::move(body); }

    URLRequestCachePolicy cachePolicy() const { return cachePolicy_; }
    void setCachePolicy(URLRequestCachePolicy policy) { cachePolicy_ = policy; }
    /// Seconds a load may take; 60 unless set.
    double timeoutInterval() const { return timeoutInterval_; }
    void setTimeoutInterval(double seconds) { timeoutInterval_ = seconds; }
    /// The most bytes of body a load of this request accepts; 0 leaves the bound to
    /// the client that loads it. A bound here only ever tightens the client's own.
    std::size_t maxResponseBytes() const { return maxResponseBytes_; }
    void setMaxResponseBytes(std::size_t bytes) { maxResponseBytes_ = bytes; }

    std::string description() const override;

private:
    std::string url_;
    std::string method_ = "GET";
    std::vector<std::pair<std::string, std::string>> headers_;
    std::optional<rt::Data> body_;
    URLRequestCachePolicy cachePolicy_ = URLRequestCachePolicy::UseProtocolCachePolicy;
    double timeoutInterval_ = 60;
    std::size_t maxResponseBytes_ = 0;
};

}  // namespace fnd
