#pragma once
// The operation that loads one image: an http or https URL through the HTTP client, a
// file URL from disk, then decodes it. Its blocks run on the main thread, and only
// while it is not cancelled: a cancelled operation never calls back.
//
// A remote load is bounded by the request's time-out (at most kMaxTimeout seconds),
// measured on the main run loop's clock; the HTTP client enforces the same bound in
// real time, so a load ends even when the main loop stands still. Cancelling stops the
// transfer and frees the operation's queue slot at once.
//
// Whatever the source, what is read is bounded: a remote body by the HTTP client's
// maxResponseBytes(), a local file by the same bound and to regular files only (a
// device or a pipe could be read for ever), and the image by ui::Image's decoding
// limits, checked on the size the data declares before any pixels are made.

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include <fnd/Operation.h>
#include <fnd/RunLoop.h>
#include <fnd/URLRequest.h>
#include <net/HttpClient.h>
#include <rt/Error.h>
#include <ui/Image.h>

namespace zid {

/// The domain of a load whose answer is no image (code 0).
inline constexpr const char* QXImageFetchingErrorDomain = "QXImageFetchingErrorDomain";
/// User-info key of a code-0 error caused by an answer that was not a success: its
/// HTTP status.
inline constexpr const char* QXImageFetchingHTTPStatusKey = "HTTPStatusCode";

class QXImageRequestOperation : public fnd::Operation {
    RT_CLASS(QXImageRequestOperation, fnd::Operation)
public:
    using SuccessBlock = std::function<void(const rt::Ref<fnd::URLRequest>&, const rt::Ref<ui::Image>&)>;
    using FailureBlock = std::function<void(const rt::Ref<fnd::URLRequest>&, const rt::Ref<rt::Error>&)>;

    /// The longest a remote load may take, whatever the request asks for.
    static constexpr double kMaxTimeout = 60;

    QXImageRequestOperation(rt::Ref<fnd::URLRequest> request, SuccessBlock success, FailureBlock failure);
    static rt::Ref<QXImageRequestOperation> operationWithRequest(rt::Ref<fnd::URLRequest> request,
                                                                 SuccessBlock success, FailureBlock failure);

    const rt::Ref<fnd::URLRequest>& request() const { return request_; }
    /// The blocks are read when the outcome is delivered; set them before the operation
    /// is queued.
    const SuccessBlock& successBlock() const { return success_; }
    void setSuccessBlock(SuccessBlock block) { success_ = std::move(block); }
    const FailureBlock& failureBlock() const { return failure_; }
    void setFailureBlock(FailureBlock block) { failure_ = std::move(block); }

    /// The time-out a request's remote load runs with: its own when it lies in
    /// (0, kMaxTimeout], else kMaxTimeout.
    static double effectiveTimeout(const fnd::URLRequest& request);
    /// Whether the URL is one the operation loads (http, https or file).
    static bool isLoadableURL(const std::string& url);
    /// The local path of a file URL ("file:///a%20b" gives "/a b"; the host may be
    /// empty or "localhost"); nothing for another host or a malformed URL.
    static std::optional<std::string> localPathOfFileURL(const std::string& url);
    /// The bytes of a local image file, read as a file URL's load reads them: regular
    /// files only, at most the HTTP client's maxResponseBytes(); `stop` ends the read
    /// early. On failure *error says why (POSIX errors; an oversized file as
    /// net::NetworkError::ResponseTooLarge).
    static std::optional<rt::Data> readLocalImage(const std::string& path, rt::Ref<rt::Error>* error = nullptr,
                                                  const std::function<bool()>& stop = {});
    /// The failure of decoding data from the URL: QXImageFetchingErrorDomain, code 0,
    /// saying whether the data was no image or an image above the decoding limits.
    static rt::Ref<rt::Error> decodingError(const std::string& url, const ui::ImageDecodeResult& result);
    /// The client remote loads go through (the process-wide one unless set).
    static rt::Ref<net::HttpClient> httpClient();
    static void setHTTPClient(rt::Ref<net::HttpClient> client);

    bool isConcurrent() const override { return true; }
    bool isExecuting() const override { return executing_.load(); }
    bool isFinished() const override { return finished_.load(); }
    void start() override;
    void cancel() override;

private:
    void startRemoteLoad();
    void transferEnded(const net::HttpResult& result);
    void timedOut();
    /// Claims the right to decide the outcome; only the first caller gets it.
    bool settle() { return !settled_.exchange(true); }
    void decode(const std::uint8_t* bytes, std::size_t length, const std::string& url);
    void deliverImage(rt::Ref<ui::Image> image);
    void deliverError(rt::Ref<rt::Error> error);
    void finish();

    rt::Ref<fnd::URLRequest> request_;
    SuccessBlock success_;
    FailureBlock failure_;
    std::atomic<bool> executing_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> settled_{false};
    std::atomic<bool> finishing_{false};
    std::mutex mutex_;
    rt::Ref<net::HttpTask> task_;      // guarded by mutex_
    rt::Ref<fnd::Timer> timeoutTimer_;  // guarded by mutex_
};

}  // namespace zid
