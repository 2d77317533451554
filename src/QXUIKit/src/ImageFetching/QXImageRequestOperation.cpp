#include "QXUIKit/ImageFetching/QXImageRequestOperation.h"

#include <cerrno>
#include <cmath>
#include <optional>
#include <vector>

#include <QXFoundation/Extensions/StringExtensions.h>
#include <QXFoundation/Extensions/WebURL.h>
#include <fnd/Directories.h>
#include <fnd/Queue.h>
#include <net/Errors.h>

namespace zid {

namespace {

std::mutex clientMutex;
rt::Ref<net::HttpClient>& clientSlot() {
    static rt::Ref<net::HttpClient> client;
    return client;
}

// Transfers start from this queue, so their completions (and the decoding) run on it,
// off the main thread.
const rt::Ref<fnd::Queue>& transferQueue() {
    static auto* queue = new rt::Ref<fnd::Queue>(fnd::Queue::serial("QXImageRequestOperation"));
    return *queue;
}

std::string lowercaseScheme(const std::string& url) { return urlScheme(url).value_or(std::string()); }

// The local path of a file URL ("file:///a%20b" -> "/a b"; the host may be empty or
// "localhost"); nothing for any other host, a malformed escape or an escaped NUL.
std::optional<std::string> filePath(const std::string& url) {
    if (url.find(':') == std::string::npos) return std::nullopt;
    std::string rest = url.substr(url.find(':') + 1);
    if (rest.rfind("//", 0) == 0) {
        rest = rest.substr(2);
        auto slash = rest.find('/');
        if (slash == std::string::npos) return std::nullopt;
        std::string host = rest.substr(0, slash);
        if (!host.empty() && host != "localhost") return std::nullopt;
        rest = rest.substr(slash);
    }
    auto end = rest.find_first_of("?#");
    if (end != std::string::npos) rest.resize(end);
    if (rest.empty() || rest[0] != '/') return std::nullopt;
    auto path = urlDecodedString(rest);
    // An escaped NUL would cut the path short where the system reads it.
    if (path && path->find('\0') != std::string::npos) return std::nullopt;
    return path;
}

rt::Ref<rt::Error> notAnImageError(const std::string& url, std::string description, rt::Dictionary extra = {}) {
    rt::Dictionary info = std::move(extra);
    info.set(rt::Error::LocalizedDescriptionKey, rt::Value(std::move(description)));
    info.set(net::kFailingURLKey, rt::Value(url));
    return rt::Error::make(QXImageFetchingErrorDomain, 0, std::move(info));
}

}  // namespace

QXImageRequestOperation::QXImageRequestOperation(rt::Ref<fnd::URLRequest> request, SuccessBlock success,
                                                 FailureBlock failure)
    : request_(std::move(request)), success_(std::move(success)), failure_(std::move(failure)) {}

rt::Ref<QXImageRequestOperation> QXImageRequestOperation::operationWithRequest(rt::Ref<fnd::URLRequest> request,
                                                                               SuccessBlock success,
                                                                               FailureBlock failure) {
    return rt::make<QXImageRequestOperation>(std::move(request), std::move(success), std::move(failure));
}

double QXImageRequestOperation::effectiveTimeout(const fnd::URLRequest& request) {
    double t = request.timeoutInterval();
    if (!(t > 0) || t > kMaxTimeout || std::isnan(t)) return kMaxTimeout;
    return t;
}

bool QXImageRequestOperation::isLoadableURL(const std::string& url) {
    std::string scheme = lowercaseScheme(url);
    return scheme == "http" || scheme == "https" || scheme == "file";
}

std::optional<std::string> QXImageRequestOperation::localPathOfFileURL(const std::string& url) {
    if (lowercaseScheme(url) != "file") return std::nullopt;
    return filePath(url);
}

rt::Ref<net::HttpClient> QXImageRequestOperation::httpClient() {
    std::lock_guard lock(clientMutex);
    if (!clientSlot()) return net::HttpClient::shared();
    return clientSlot();
}

void QXImageRequestOperation::setHTTPClient(rt::Ref<net::HttpClient> client) {
    std::lock_guard lock(clientMutex);
    clientSlot() = std::move(client);
}

void QXImageRequestOperation::start() {
    if (finished_.load()) return;
    if (cancellationMarked() || !request_) {
        settle();
        finish();
        return;
    }
    announce("isExecuting", [this] { executing_.store(true); });
    const std::string& url = request_->url();
    std::string scheme = lowercaseScheme(url);
    if (scheme == "http" || scheme == "https") {
        startRemoteLoad();
        return;
    }
    if (!settle()) return;
    if (scheme != "file") {
        deliverError(net::networkError(net::NetworkError::BadURL,
                                       "Images are loaded from http, https and file URLs only, not from " + url,
                                       rt::Dictionary{{net::kFailingURLKey, rt::Value(url)}}));
        finish();
        return;
    }
    auto path = filePath(url);
    if (!path) {
        deliverError(net::networkError(net::NetworkError::BadURL, "The file URL " + url + " names no local file",
                                       rt::Dictionary{{net::kFailingURLKey, rt::Value(url)}}));
        finish();
        return;
    }
    rt::Ref<rt::Error> error;
    auto bytes = readLocalImage(*path, &error, [this] { return cancellationMarked(); });
    if (cancellationMarked()) {
        finish();
        return;
    }
    if (!bytes) {
        deliverError(error);
        finish();
        return;
    }
    decode(bytes->data(), bytes->size(), url);
    finish();
}

std::optional<rt::Data> QXImageRequestOperation::readLocalImage(const std::string& path, rt::Ref<rt::Error>* error,
                                                               const std::function<bool()>& stop) {
    std::size_t bound = httpClient()->maxResponseBytes();
    rt::Ref<rt::Error> failure;
    auto bytes = fnd::readRegularFile(path, bound, &failure, stop);
    if (bytes || !error) return bytes;
    // A file over the bound fails as an answer over the bound does; the rest keep
    // their system error under the POSIX domain, as an open failure always has.
    if (failure->code() == EFBIG)
        *error = net::networkError(net::NetworkError::ResponseTooLarge,
                                   "The file " + path + " is larger than the " + std::to_string(bound) +
                                       " bytes an image may have.",
                                   rt::Dictionary{{net::kFailingURLKey, rt::Value("file://" + path)}});
    else
        *error = rt::Error::withDescription(net::kPOSIXErrorDomain, failure->code(), failure->localizedDescription());
    return std::nullopt;
}

void QXImageRequestOperation::startRemoteLoad() {
    double timeout = effectiveTimeout(*request_);
    net::HttpRequest http = net::HttpRequest::get(request_->url(), {}, timeout);
    http.maxResponseBytes = request_->maxResponseBytes();
    for (const auto& [name, value] : request_->allHTTPHeaderFields()) http.headers.emplace_back(name, value);
    auto self = selfAs<QXImageRequestOperation>();
    {
        // The bound on the main loop's clock; armed before the transfer so that it also
        // covers a transfer queue that is slow to start.
        std::lock_guard lock(mutex_);
        rt::Weak<QXImageRequestOperation> weak = self;
        timeoutTimer_ = fnd::RunLoop::main()->after(timeout, [weak] {
            if (auto op = weak.lock()) op->timedOut();
        });
    }
    transferQueue()->async([self, http = std::move(http)]() mutable {
        if (self->settled_.load()) return;
        // Cancelled before it got going: end here and free the slot.
        if (self->cancellationMarked() && self->settle()) {
            rt::Ref<fnd::Timer> timer;
            {
                std::lock_guard lock(self->mutex_);
                timer = std::move(self->timeoutTimer_);
            }
            if (timer) timer->invalidate();
            self->finish();
            return;
        }
        auto task = httpClient()->performAsync(std::move(http), [self](const net::HttpResult& result) {
            self->transferEnded(result);
        });
        std::lock_guard lock(self->mutex_);
        self->task_ = std::move(task);
        // Settled while the transfer was being set up: stop it.
        if (self->settled_.load()) self->task_->cancel();
    });
}

void QXImageRequestOperation::transferEnded(const net::HttpResult& result) {
    if (!settle()) return;
    {
        std::lock_guard lock(mutex_);
        if (timeoutTimer_) timeoutTimer_->invalidate();
        timeoutTimer_ = nullptr;
        task_ = nullptr;
    }
    if (cancellationMarked()) {
        finish();
        return;
    }
    const std::string& url = request_->url();
    if (!result.ok()) {
        deliverError(result.error);
    } else if (!result.response->isSuccess()) {
        long status = result.response->status;
        deliverError(notAnImageError(url,
                                     "The server answered " + std::to_string(status) + " instead of an image for " + url,
                                     rt::Dictionary{{QXImageFetchingHTTPStatusKey, rt::Value(status)}}));
    } else {
        const std::string& body = result.response->body;
        decode(reinterpret_cast<const std::uint8_t*>(body.data()), body.size(), url);
    }
    finish();
}

void QXImageRequestOperation::timedOut() {
    if (!settle()) return;
    rt::Ref<net::HttpTask> task;
    {
        std::lock_guard lock(mutex_);
        task = std::move(task_);
        timeoutTimer_ = nullptr;
    }
    if (task) task->cancel();
    if (!cancellationMarked()) {
        const std::string& url = request_->url();
        std::string seconds = std::to_string(static_cast<long>(std::ceil(effectiveTimeout(*request_))));
        deliverError(net::networkError(net::NetworkError::TimedOut,
                                       "The image at " + url + " did not arrive within " + seconds + " seconds",
                                       rt::Dictionary{{net::kFailingURLKey, rt::Value(url)}}));
    }
    finish();
}

void QXImageRequestOperation::cancel() {
    fnd::Operation::cancel();
    if (!executing_.load() || !settle()) return;
    rt::Ref<net::HttpTask> task;
    rt::Ref<fnd::Timer> timer;
    {
        std::lock_guard lock(mutex_);
        task = std::move(task_);
        timer = std::move(timeoutTimer_);
    }
    if (task) task->cancel();
    if (timer) timer->invalidate();
    finish();
}

rt::Ref<rt::Error> QXImageRequestOperation::decodingError(const std::string& url, const ui::ImageDecodeResult& result) {
    if (result.status != ui::ImageDecodeStatus::TooLarge)
        return notAnImageError(url, "The data at " + url + " is not an image");
    auto limits = ui::Image::decodingLimits();
    return notAnImageError(url, "The image at " + url + " declares " + std::to_string(result.declaredWidth) + " x " +
                                    std::to_string(result.declaredHeight) + " pixels, more than the " +
                                    std::to_string(limits.maxWidth) + " x " + std::to_string(limits.maxHeight) +
                                    " and " + std::to_string(limits.maxPixels) +
                                    " pixels images are decoded up to (ui::Image::setDecodingLimits)");
}

void QXImageRequestOperation::decode(const std::uint8_t* bytes, std::size_t length, const std::string& url) {
    auto result = ui::Image::decode(bytes, length);
    if (result.image) deliverImage(std::move(result.image));
    else deliverError(decodingError(url, result));
}

void QXImageRequestOperation::deliverImage(rt::Ref<ui::Image> image) {
    if (cancellationMarked()) return;
    auto self = selfAs<QXImageRequestOperation>();
    fnd::Queue::main()->async([self, image = std::move(image)] {
        if (self->isCancelled()) return;
        if (self->success_) self->success_(self->request_, image);
    });
}

void QXImageRequestOperation::deliverError(rt::Ref<rt::Error> error) {
    if (cancellationMarked() || !failure_) return;
    auto self = selfAs<QXImageRequestOperation>();
    fnd::Queue::main()->async([self, error = std::move(error)] {
        if (self->isCancelled()) return;
        if (self->failure_) self->failure_(self->request_, error);
    });
}

void QXImageRequestOperation::finish() {
    if (finishing_.exchange(true)) return;
    bool wasExecuting = executing_.load();
    if (wasExecuting) willChange("isExecuting");
    willChange("isFinished");
    executing_.store(false);
    finished_.store(true);
    if (wasExecuting) didChange("isExecuting");
    didChange("isFinished");
}

}  // namespace zid
