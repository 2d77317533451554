#include "Core/Vexa/QXLatencyMeasurer.h"

#include <fnd/RunLoop.h>
#include <rt/Error.h>
#include <rt/Format.h>

namespace zid {

QXLatencyMeasurer::QXLatencyMeasurer(net::HttpRequest request) : request_(std::move(request)) {
    request_.timeout = kRequestTimeout;
}

rt::Ref<QXLatencyMeasurer> QXLatencyMeasurer::measurerWithURLRequest(net::HttpRequest request) {
    return rt::make<QXLatencyMeasurer>(std::move(request));
}

const rt::Ref<net::HttpClient>& QXLatencyMeasurer::latencyMeasuringSession() {
    if (!session_) {
        session_ = rt::make<net::HttpClient>();
        session_->setDefaultTimeout(kRequestTimeout);
    }
    return session_;
}

void QXLatencyMeasurer::startOperation() {
    AKAsyncOperationTask::startOperation();
    startTime_ = fnd::RunLoop::current()->clock().now();
    std::weak_ptr<QXLatencyMeasurer> weakSelf = selfAs<QXLatencyMeasurer>();
    dataTask_ = latencyMeasuringSession()->performAsync(request_, [weakSelf](const net::HttpResult& result) {
        if (auto self = weakSelf.lock()) self->completed(result);
    });
}

void QXLatencyMeasurer::cancelOperation() {
    if (dataTask_) dataTask_->cancel();
    AKAsyncOperationTask::cancelOperation();
}

void QXLatencyMeasurer::completed(const net::HttpResult& result) {
    dataTask_.reset();
    if (isFinished() || isCancelled()) return;
    if (!result.ok()) {
        setFailedWithError(result.error);
        return;
    }
    if (!result.response->isSuccess()) {
        long status = result.response->status;
        setFailedWithError(rt::Error::withDescription(
            kErrorDomain, status,
            rt::format("The probe of %@ answered with status %ld; the site is taken as not accessible.", request_.url,
                       status)));
        return;
    }
    latency_ = fnd::RunLoop::current()->clock().now() - startTime_;
    setResult(rt::Value(latency_));
    setFinished();
}

}  // namespace zid
