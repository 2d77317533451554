#include <RudoreVaz/Task/ConcreteTasks/AKURLHitTask.h>

#include <fnd/KeyedArchiver.h>
#include <fnd/KeyedUnarchiver.h>
#include <net/HttpClient.h>
#include <rt/Format.h>

namespace zid {

AKURLHitTask::AKURLHitTask(rt::Value identifier, std::string title, std::string url, fnd::TimeInterval timeout)
    : AKOperationTask(std::move(identifier), std::move(title)), timeout_(timeout), url_(std::move(url)) {}

rt::Ref<AKURLHitTask> AKURLHitTask::taskWithIdentifier(rt::Value identifier, std::string title, std::string url,
                                                       fnd::TimeInterval timeout) {
    return rt::make<AKURLHitTask>(std::move(identifier), std::move(title), std::move(url), timeout);
}

void AKURLHitTask::describe(rt::ClassBuilder<AKURLHitTask>& c) {
    c.readonly("url", &AKURLHitTask::url);
    fnd::registerCodingClass(c.cls());
}

std::string AKURLHitTask::url() const {
    std::lock_guard lock(urlMutex_);
    return url_;
}

void AKURLHitTask::setUrl(std::string url) {
    std::lock_guard lock(urlMutex_);
    url_ = std::move(url);
}

void AKURLHitTask::task() {
    const std::string target = url();
    net::HttpResult result = net::HttpClient::shared()->get(target, {}, timeout());
    if (!result.ok()) {
        rt::Dictionary info;
        info.set(rt::Error::LocalizedDescriptionKey,
                 rt::format("The request for %@ failed: %@", target,
                            result.error ? result.error->localizedDescription() : std::string("no response")));
        if (result.error) info.set(rt::Error::UnderlyingErrorKey, rt::Value(result.error));
        setFailedWithError(rt::Error::make(AKURLHitTaskErrorDomain, -1, info));
        return;
    }
    if (result.response->status >= 400) {
        setFailedWithError(rt::Error::withDescription(
            AKURLHitTaskErrorDomain, result.response->status,
            rt::format("The server answered %@ with HTTP status %ld", target, result.response->status)));
    }
}

std::string AKURLHitTask::description() const { return AKOperationTask::description() + " url=" + url(); }

void AKURLHitTask::encodeWithCoder(fnd::KeyedArchiver& coder) const {
    AKOperationTask::encodeWithCoder(coder);
    coder.encodeObject(url(), "url");
    if (timeout() > 0) coder.encodeDouble(timeout(), "timeout");
}

void AKURLHitTask::initWithCoder(fnd::KeyedUnarchiver& coder) {
    AKOperationTask::initWithCoder(coder);
    rt::Value value = coder.decodeObject("url");
    setUrl(value.isString() ? value.string() : std::string());
    double timeout = coder.decodeDouble("timeout");
    timeout_.store(timeout > 0 ? timeout : 0);
}

}  // namespace zid
