#include <net/HttpClient.h>

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <map>
#include <sstream>
#include <string_view>
#include <thread>

#include <fnd/Excerpt.h>
#include <rt/Exception.h>

namespace net {

namespace {

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string trim(std::string_view text) {
    auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string_view::npos) return {};
    auto end = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(begin, end - begin + 1));
}

/// At most 200 bytes of a text for a message, cut between characters.
std::string excerpt(std::string_view text) { return fnd::excerpt(text, 200); }

std::string secondsText(double seconds) {
    std::ostringstream out;
    out << seconds;
    return out.str();
}

/// Certificates trusted besides the system's, shared by the transfers that started
/// while they were set.
struct TrustAnchors {
    std::vector<X509*> certificates;
    TrustAnchors() = default;
    TrustAnchors(const TrustAnchors&) = delete;
    TrustAnchors& operator=(const TrustAnchors&) = delete;
    ~TrustAnchors() {
        for (X509* cert : certificates) X509_free(cert);
    }
};

CURLcode addTrustAnchors(CURL*, void* sslContext, void* userData) {
    auto* anchors = static_cast<const TrustAnchors*>(userData);
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
    for (X509* cert : anchors->certificates) X509_STORE_add_cert(store, cert);  // a duplicate is harmless
    ERR_clear_error();
    return CURLE_OK;
}

}  // namespace

/// One exchange: the request, the handle that carries it and what came back.
struct Transfer {
    HttpRequest request;
    fnd::TimeInterval timeout = 0;
    std::size_t maxBytes = 0;
    std::shared_ptr<const TrustAnchors> anchors;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    char errorText[CURL_ERROR_SIZE] = {0};
    HttpResponse response;
    bool tooLarge = false;
    bool secure = false;  // an https request: redirects stay on https
    // Asynchronous transfers only.
    rt::Ref<HttpTask> task;
    rt::Ref<fnd::RunLoop> loop;
    HttpCompletion completion;

    Transfer() = default;
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    ~Transfer() {
        if (easy) curl_easy_cleanup(easy);
        if (headerList) curl_slist_free_all(headerList);
    }

    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self) {
        auto* transfer = static_cast<Transfer*>(self);
        std::size_t n = size * count;
        if (transfer->response.body.size() + n > transfer->maxBytes) {
            transfer->tooLarge = true;
            return 0;  // makes the transfer fail
        }
        transfer->response.body.append(data, n);
        return n;
    }

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self) {
        auto* transfer = static_cast<Transfer*>(self);
        std::size_t n = size * count;
        std::string_view line(data, n);
        if (line.starts_with("HTTP/")) {
            // A new response begins (after a redirect or an interim answer).
            transfer->response.headers.clear();
        } else if (auto colon = line.find(':'); colon != std::string_view::npos) {
            transfer->response.headers.emplace_back(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
        }
        return n;
    }

    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        auto* transfer = static_cast<Transfer*>(self);
        return transfer->task && transfer->task->isCancelled() ? 1 : 0;
    }

    /// Configures the handle; answers an error when the request cannot be made at all.
    rt::Ref<rt::Error> prepare() {
        const std::string& url = request.url;
        const std::string shown = excerpt(url);
        std::size_t schemeLength = equalsIgnoringCase(url.substr(0, 7), "http://")    ? 7
                                   : equalsIgnoringCase(url.substr(0, 8), "https://") ? 8
                                                                                      : 0;
        if (schemeLength == 0)
            return networkError(NetworkError::BadURL, "\"" + shown + "\" is not an http or https URL.",
                                rt::Dictionary{{kFailingURLKey, url}});
        // "http://", "https:///path", "http://?q": the scheme is right, the host is missing.
        if (url.size() == schemeLength || std::string_view("/?#").find(url[schemeLength]) != std::string_view::npos)
            return networkError(NetworkError::BadURL,
                                "\"" + shown + "\" is an " + (schemeLength == 7 ? "http" : "https") +
                                    " URL without a host.",
                                rt::Dictionary{{kFailingURLKey, url}});
        easy = curl_easy_init();
        if (!easy) return networkError(NetworkError::TransferFailed, "The HTTP transfer could not be set up.");

        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        // What came over TLS never continues in the clear: an https request follows
        // https redirects only, and a redirect to http fails as InsecureRedirect.
        secure = equalsIgnoringCase(url.substr(0, 8), "https://");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        auto ms = static_cast<long>(std::ceil(timeout * 1000.0));
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, ms);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, ms);
        // Certificates are always verified; extra anchors only add trust.
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(easy, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
        if (anchors && !anchors->certificates.empty()) {
            curl_easy_setopt(easy, CURLOPT_CA_CACHE_TIMEOUT, 0L);
            curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &addTrustAnchors);
            curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, const_cast<TrustAnchors*>(anchors.get()));
        }
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);

        std::string method = request.method.empty() ? "GET" : request.method;
        std::transform(method.begin(), method.end(), method.begin(), [](unsigned char c) { return std::toupper(c); });
        if (method == "GET") {
            curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        } else if (method == "HEAD") {
            curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        } else {
            if (method == "POST" || !request.body.empty()) {
                curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
                curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
            }
            if (method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
        }
        for (auto& [name, value] : request.headers) {
            if (name.find_first_of(":\r\n") != std::string::npos || value.find_first_of("\r\n") != std::string::npos)
                return networkError(NetworkError::BadURL, "The request header \"" + excerpt(name) + "\" is malformed.",
                                    rt::Dictionary{{kFailingURLKey, url}});
            headerList = curl_slist_append(headerList, (name + ": " + value).c_str());
        }
        headerList = curl_slist_append(headerList, "Expect:");  // no interim round trip for bodies
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);
        return nullptr;
    }

    /// The outcome of a finished transfer.
    HttpResult finish(CURLcode code) {
        HttpResult result;
        if (code == CURLE_OK) {
            long status = 0;
            curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
            char* effective = nullptr;
            curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
            response.status = status;
            response.url = effective ? effective : request.url;
            result.response = std::move(response);
            return result;
        }
        result.error = errorFor(code);
        return result;
    }

    rt::Ref<rt::Error> errorFor(CURLcode code) const {
        // Messages quote a bounded piece of the URL; the whole one is under kFailingURLKey.
        const std::string url = excerpt(request.url);
        std::string detail = errorText[0] ? std::string(errorText) : std::string(curl_easy_strerror(code));
        rt::Dictionary info{{kFailingURLKey, request.url}, {kTransferCodeKey, static_cast<long long>(code)},
                            {rt::Error::LocalizedFailureReasonKey, detail}};
        switch (code) {
        case CURLE_UNSUPPORTED_PROTOCOL:
            if (secure) {
                // The request's own scheme is https, so only a redirect can have asked for another.
                // The refused answer's headers are the last ones received.
                const std::string target = response.header("Location");
                return networkError(NetworkError::InsecureRedirect,
                                    "The secure request to " + url + " was redirected to " +
                                        (!target.empty() ? "\"" + excerpt(target) + "\"" : std::string("another scheme")) +
                                        ", which is not https; the redirect was refused.",
                                    info);
            }
            [[fallthrough]];
        case CURLE_URL_MALFORMAT:
            return networkError(NetworkError::BadURL, "\"" + url + "\" is not a valid URL (" + detail + ").", info);
        case CURLE_COULDNT_RESOLVE_HOST:
            return networkError(NetworkError::CannotFindHost,
                                "The host of " + url + " could not be found (" + detail + ").", info);
        case CURLE_COULDNT_CONNECT:
            return networkError(NetworkError::CannotConnect,
                                "Could not connect to " + url + " (" + detail + ").", info);
        case CURLE_OPERATION_TIMEDOUT:
            return networkError(NetworkError::TimedOut,
                                "The request to " + url + " timed out after " + secondsText(timeout) + " seconds.", info);
        case CURLE_PEER_FAILED_VERIFICATION: {
            long verify = X509_V_OK;
            curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verify);
            if (verify == X509_V_ERR_CERT_HAS_EXPIRED || verify == X509_V_ERR_CERT_NOT_YET_VALID)
                return networkError(NetworkError::ServerCertificateExpired,
                                    "The certificate of the server at " + url +
                                        (verify == X509_V_ERR_CERT_HAS_EXPIRED ? " has expired" : " is not valid yet") +
                                        "; check the server's certificate and this device's clock (" + detail + ").",
                                    info);
            // The chain verified and the transfer's own host check failed: the transfer
            // library marks that as "unspecified", OpenSSL's own check as a mismatch.
            if (verify == X509_V_OK || verify == X509_V_ERR_UNSPECIFIED || verify == X509_V_ERR_HOSTNAME_MISMATCH ||
                verify == X509_V_ERR_IP_ADDRESS_MISMATCH)
                return networkError(NetworkError::ServerCertificateHostMismatch,
                                    "The certificate of the server at " + url +
                                        " was issued for another host name (" + detail + ").",
                                    info);
            [[fallthrough]];
        }
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
            return networkError(NetworkError::ServerCertificateUntrusted,
                                "The certificate of the server at " + url +
                                    " is not trusted; check the server's certificate chain (" + detail + ").",
                                info);
        case CURLE_SSL_CONNECT_ERROR:
            return networkError(NetworkError::SecureConnectionFailed,
                                "A secure connection to " + url + " could not be made (" + detail + ").", info);
        case CURLE_ABORTED_BY_CALLBACK:
            return networkError(NetworkError::Cancelled, "The request to " + url + " was cancelled.", info);
        case CURLE_WRITE_ERROR:
            if (tooLarge)
                return networkError(NetworkError::ResponseTooLarge,
                                    "The response from " + url + " is larger than the " + std::to_string(maxBytes) +
                                        " bytes this client accepts.",
                                    info);
            [[fallthrough]];
        default:
            return networkError(NetworkError::TransferFailed, "The request to " + url + " failed (" + detail + ").",
                                info);
        }
    }
};

/// The network thread of a client: one multi handle driving every asynchronous transfer.
struct HttpClient::Impl : std::enable_shared_from_this<HttpClient::Impl> {
    std::mutex mutex;
    std::shared_ptr<const TrustAnchors> anchors;
    std::vector<std::unique_ptr<Transfer>> incoming;
    std::atomic<bool> hasIncoming{false};
    bool stopping = false;
    std::thread thread;
    CURLM* multi = nullptr;

    ~Impl() {
        if (multi) curl_multi_cleanup(multi);
    }

    void wake() {
        std::lock_guard lock(mutex);
        if (multi) curl_multi_wakeup(multi);
    }

    void submit(std::unique_ptr<Transfer> transfer) {
        std::lock_guard lock(mutex);
        incoming.push_back(std::move(transfer));
        hasIncoming.store(true, std::memory_order_release);
        if (!multi) {
            multi = curl_multi_init();
            thread = std::thread([self = shared_from_this()] { self->run(); });
        }
        curl_multi_wakeup(multi);
    }

    static void deliver(std::unique_ptr<Transfer> transfer, HttpResult result) {
        auto loop = transfer->loop;
        loop->post([task = transfer->task, completion = std::move(transfer->completion),
                    result = std::move(result)] {
            if (task->isCancelled()) return;
            task->finished_.store(true);
            if (completion) completion(result);
        });
    }

    static void deliverCancelled(std::unique_ptr<Transfer> transfer, const std::string& why) {
        std::string url = transfer->request.url;
        deliver(std::move(transfer),
                HttpResult{std::nullopt, networkError(NetworkError::Cancelled, why,
                                                      rt::Dictionary{{kFailingURLKey, url}})});
    }

    void run() {
        std::map<CURL*, std::unique_ptr<Transfer>> active;
        for (;;) {
            std::vector<std::unique_ptr<Transfer>> added;
            bool stop;
            {
                std::lock_guard lock(mutex);
                added.swap(incoming);
                hasIncoming.store(false, std::memory_order_relaxed);
                stop = stopping;
            }
            if (stop) {
                for (auto& transfer : added) deliverCancelled(std::move(transfer), "The request was cancelled because its HTTP client was released.");
                for (auto& [easy, transfer] : active) {
                    curl_multi_remove_handle(multi, easy);
                    deliverCancelled(std::move(transfer), "The request was cancelled because its HTTP client was released.");
                }
                return;
            }
            for (auto& transfer : added) {
                CURL* easy = transfer->easy;
                curl_multi_add_handle(multi, easy);
                active.emplace(easy, std::move(transfer));
            }
            // Cancelled transfers leave at once; their completions never run.
            for (auto it = active.begin(); it != active.end();) {
                if (it->second->task->isCancelled()) {
                    curl_multi_remove_handle(multi, it->first);
                    deliverCancelled(std::move(it->second), "The request was cancelled.");
                    it = active.erase(it);
                } else {
                    ++it;
                }
            }
            int running = 0;
            curl_multi_perform(multi, &running);
            bool delivered = false;
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg != CURLMSG_DONE) continue;
                auto it = active.find(message->easy_handle);
                if (it == active.end()) continue;
                CURLcode code = message->data.result;
                curl_multi_remove_handle(multi, it->first);
                auto transfer = std::move(it->second);
                active.erase(it);
                HttpResult result = transfer->finish(code);
                deliver(std::move(transfer), std::move(result));
                delivered = true;
            }
            if (delivered) awaitFollowUp();
            curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
        }
    }

    // An answer handed to a loop is often followed within microseconds by the request it
    // leads to (a wrapper's document, the next tracking hit): look for it a little while
    // before sleeping, since waking a sleeping thread costs more. Only the queue is looked
    // at: polling the multi handle here would take a wake-up (a cancel, the shutdown)
    // that the sleep after it must see.
    void awaitFollowUp() {
        auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(kFollowUpSpinMicroseconds);
        while (!hasIncoming.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
    }
    static constexpr int kFollowUpSpinMicroseconds = 50;

    void shutdown() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
            if (multi) curl_multi_wakeup(multi);
        }
        if (thread.joinable()) {
            if (thread.get_id() == std::this_thread::get_id()) thread.detach();
            else thread.join();
        }
    }
};

HttpRequest HttpRequest::get(std::string url, HttpHeaders headers, fnd::TimeInterval timeout) {
    HttpRequest request;
    request.url = std::move(url);
    request.headers = std::move(headers);
    request.timeout = timeout;
    return request;
}

HttpRequest HttpRequest::post(std::string url, std::string body, HttpHeaders headers, fnd::TimeInterval timeout) {
    HttpRequest request;
    request.method = "POST";
    request.url = std::move(url);
    request.body = std::move(body);
    request.headers = std::move(headers);
    request.timeout = timeout;
    return request;
}

std::string HttpResponse::header(std::string_view name) const {
    for (auto& [key, value] : headers)
        if (equalsIgnoringCase(key, name)) return value;
    return {};
}

void HttpTask::cancel() {
    if (cancelled_.exchange(true)) return;
    std::function<void()> onCancel;
    {
        std::lock_guard lock(mutex_);
        onCancel = std::move(onCancel_);
    }
    if (onCancel) onCancel();
}

HttpClient::HttpClient() : impl_(std::make_shared<Impl>()) { initCurlOnce(); }

HttpClient::~HttpClient() { impl_->shutdown(); }

rt::Ref<HttpClient> HttpClient::shared() {
    // Never released: requests may still finish on other threads while the process ends.
    static rt::Ref<HttpClient>* client = new rt::Ref<HttpClient>(rt::make<HttpClient>());
    return *client;
}

fnd::TimeInterval HttpClient::effectiveTimeout(const HttpRequest& request) const {
    fnd::TimeInterval timeout = request.timeout;
    if (!(timeout > 0)) timeout = defaultTimeout();
    return std::min(timeout, kMaxTimeout);
}

void HttpClient::setDefaultTimeout(fnd::TimeInterval timeout) {
    if (!(timeout > 0 && timeout <= kMaxTimeout))
        throw rt::Exception(rt::Exception::InvalidArgument,
                            "An HTTP time-out must be more than 0 and at most " + secondsText(kMaxTimeout) +
                                " seconds, not " + secondsText(timeout) + ".");
    defaultTimeout_.store(timeout);
}

void HttpClient::setExtraTrustAnchors(const std::string& pem) {
    std::shared_ptr<TrustAnchors> anchors;
    if (!pem.empty()) {
        anchors = std::make_shared<TrustAnchors>();
        BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
        while (X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) anchors->certificates.push_back(cert);
        BIO_free(bio);
        ERR_clear_error();
        if (anchors->certificates.empty())
            throw rt::Exception(rt::Exception::InvalidArgument,
                                "The trust anchor text holds no PEM certificate.");
    }
    std::lock_guard lock(impl_->mutex);
    impl_->anchors = std::move(anchors);
}

bool HttpClient::hasExtraTrustAnchors() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->anchors != nullptr;
}

std::size_t HttpClient::effectiveMaxResponseBytes(const HttpRequest& request) const {
    std::size_t bound = maxResponseBytes();
    return request.maxResponseBytes > 0 && request.maxResponseBytes < bound ? request.maxResponseBytes : bound;
}

HttpResult HttpClient::perform(const HttpRequest& request) {
    Transfer transfer;
    transfer.request = request;
    transfer.timeout = effectiveTimeout(request);
    transfer.maxBytes = effectiveMaxResponseBytes(request);
    {
        std::lock_guard lock(impl_->mutex);
        transfer.anchors = impl_->anchors;
    }
    if (auto error = transfer.prepare()) return HttpResult{std::nullopt, error};
    return transfer.finish(curl_easy_perform(transfer.easy));
}

HttpResult HttpClient::get(const std::string& url, const HttpHeaders& headers, fnd::TimeInterval timeout) {
    return perform(HttpRequest::get(url, headers, timeout));
}

HttpResult HttpClient::post(const std::string& url, const std::string& body, const HttpHeaders& headers,
                            fnd::TimeInterval timeout) {
    return perform(HttpRequest::post(url, body, headers, timeout));
}

rt::Ref<HttpTask> HttpClient::performAsync(HttpRequest request, HttpCompletion completion) {
    auto transfer = std::make_unique<Transfer>();
    transfer->timeout = effectiveTimeout(request);
    transfer->maxBytes = effectiveMaxResponseBytes(request);
    transfer->request = std::move(request);
    transfer->task = rt::make<HttpTask>();
    transfer->loop = fnd::RunLoop::current();
    transfer->completion = std::move(completion);
    {
        std::lock_guard lock(impl_->mutex);
        transfer->anchors = impl_->anchors;
    }
    auto task = transfer->task;
    if (auto error = transfer->prepare()) {
        Impl::deliver(std::move(transfer), HttpResult{std::nullopt, error});
        return task;
    }
    {
        std::lock_guard lock(task->mutex_);
        task->onCancel_ = [weakImpl = std::weak_ptr<Impl>(impl_)] {
            if (auto impl = weakImpl.lock()) impl->wake();
        };
    }
    impl_->submit(std::move(transfer));
    return task;
}

rt::Ref<HttpTask> HttpClient::getAsync(const std::string& url, HttpCompletion completion, const HttpHeaders& headers,
                                       fnd::TimeInterval timeout) {
    return performAsync(HttpRequest::get(url, headers, timeout), std::move(completion));
}

rt::Ref<HttpTask> HttpClient::postAsync(const std::string& url, const std::string& body, HttpCompletion completion,
                                        const HttpHeaders& headers, fnd::TimeInterval timeout) {
    return performAsync(HttpRequest::post(url, body, headers, timeout), std::move(completion));
}

}  // namespace net
