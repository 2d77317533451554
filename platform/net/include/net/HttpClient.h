#pragma once
// An HTTP(S) client. Every request has a bounded time-out; certificates are always
// verified against the system's anchors plus, optionally, extra anchors the client is
// given (a private certificate authority, used by tests and private deployments).
//
// perform() blocks the calling thread. performAsync() runs the transfer on the
// client's network thread and reports on the run loop that was current when it was
// called; a task cancelled on that loop never reports.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fnd/RunLoop.h>
#include <net/Errors.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace net {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    HttpHeaders headers;
    std::string body;
    /// Seconds for the whole exchange, connection included. Zero, negative or not a
    /// number means the client's default; anything longer is cut to kMaxTimeout.
    fnd::TimeInterval timeout = 0;
    /// The most bytes of body this request accepts; 0 means the client's bound. A
    /// request can only tighten the client's bound, never widen it.
    std::size_t maxResponseBytes = 0;

    static HttpRequest get(std::string url, HttpHeaders headers = {}, fnd::TimeInterval timeout = 0);
    static HttpRequest post(std::string url, std::string body, HttpHeaders headers = {}, fnd::TimeInterval timeout = 0);
};

struct HttpResponse {
    long status = 0;
    /// Response headers of the final response, in arrival order.
    HttpHeaders headers;
    std::string body;
    /// The URL that answered (after redirects).
    std::string url;

    /// The first header of that name, compared without regard to case; empty when absent.
    std::string header(std::string_view name) const;
    bool isSuccess() const { return status >= 200 && status < 300; }
};

/// Either a response (whatever its status) or an error.
struct HttpResult {
    std::optional<HttpResponse> response;
    rt::Ref<rt::Error> error;
    bool ok() const { return response.has_value(); }
};

using HttpCompletion = std::function<void(const HttpResult&)>;

class HttpClient;

/// One asynchronous request.
class HttpTask : public rt::Object {
    RT_CLASS(HttpTask, rt::Object)
public:
    /// Stops the transfer. Called on the reporting loop, the completion never runs
    /// afterwards; from another thread it may already be on its way.
    void cancel();
    bool isCancelled() const { return cancelled_.load(); }
    bool isFinished() const { return finished_.load(); }

    HttpTask() = default;

private:
    friend class HttpClient;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> finished_{false};
    std::function<void()> onCancel_;
    std::mutex mutex_;
};

class HttpClient : public rt::Object {
    RT_CLASS(HttpClient, rt::Object)
public:
    static constexpr fnd::TimeInterval kDefaultTimeout = 60;
    static constexpr fnd::TimeInterval kMaxTimeout = 600;
    static constexpr std::size_t kDefaultMaxResponseBytes = 64u << 20;

    HttpClient();
    ~HttpClient() override;

    /// The process-wide client.
    static rt::Ref<HttpClient> shared();

    HttpResult perform(const HttpRequest& request);
    HttpResult get(const std::string& url, const HttpHeaders& headers = {}, fnd::TimeInterval timeout = 0);
    HttpResult post(const std::string& url, const std::string& body, const HttpHeaders& headers = {},
                    fnd::TimeInterval timeout = 0);

    rt::Ref<HttpTask> performAsync(HttpRequest request, HttpCompletion completion);
    rt::Ref<HttpTask> getAsync(const std::string& url, HttpCompletion completion, const HttpHeaders& headers = {},
                               fnd::TimeInterval timeout = 0);
    rt::Ref<HttpTask> postAsync(const std::string& url, const std::string& body, HttpCompletion completion,
                                const HttpHeaders& headers = {}, fnd::TimeInterval timeout = 0);

    /// Trusts the certificates of the PEM text in addition to the system's anchors
    /// (replacing extra anchors given before; empty text removes them). Throws
    /// rt::Exception InvalidArgumentException when the text holds no certificate.
    void setExtraTrustAnchors(const std::string& pem);
    bool hasExtraTrustAnchors() const;

    fnd::TimeInterval defaultTimeout() const { return defaultTimeout_.load(); }
    /// Throws InvalidArgumentException unless 0 < timeout <= kMaxTimeout.
    void setDefaultTimeout(fnd::TimeInterval timeout);
    std::size_t maxResponseBytes() const { return maxResponseBytes_.load(); }
    void setMaxResponseBytes(std::size_t bytes) { maxResponseBytes_.store(bytes); }

    /// The time-out a request runs with.
    fnd::TimeInterval effectiveTimeout(const HttpRequest& request) const;
    /// The body bound a request runs with: its own when it is tighter than the client's.
    std::size_t effectiveMaxResponseBytes(const HttpRequest& request) const;

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
    std::atomic<fnd::TimeInterval> defaultTimeout_{kDefaultTimeout};
    std::atomic<std::size_t> maxResponseBytes_{kDefaultMaxResponseBytes};
};

}  // namespace net
