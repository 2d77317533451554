#include "Core/Vexa/QXPingMeasurer.h"

namespace zid {

namespace {
double loopNow() { return fnd::RunLoop::current()->clock().now(); }
}  // namespace

QXPingMeasurer::QXPingMeasurer(std::string host)
    : host_(std::move(host)), simplePing_(rt::make<QXSimplePing>(host_)) {}

rt::Ref<QXPingMeasurer> QXPingMeasurer::pingMeasurerWithHost(std::string host) {
    return rt::make<QXPingMeasurer>(std::move(host));
}

void QXPingMeasurer::stop() { simplePing_->stop(); }

void QXPingMeasurer::startOperation() {
    AKAsyncOperationTask::startOperation();
    simplePing_->setDelegate(std::static_pointer_cast<QXSimplePingDelegate>(selfAs<QXPingMeasurer>()));
    simplePing_->start();
}

void QXPingMeasurer::cancelOperation() {
    done_ = true;
    dropTimers();
    stop();
    AKAsyncOperationTask::cancelOperation();
}

void QXPingMeasurer::willDestroy() {
    dropTimers();
    stop();
    AKAsyncOperationTask::willDestroy();
}

void QXPingMeasurer::dropTimers() {
    for (const auto& timer : timers_) timer->invalidate();
    timers_.clear();
}

void QXPingMeasurer::simplePingDidStartWithAddress(QXSimplePing&, const rt::Data&) {
    if (done_ || !timers_.empty()) return;
    std::weak_ptr<QXPingMeasurer> weakSelf = selfAs<QXPingMeasurer>();
    auto loop = fnd::RunLoop::current();
    for (int i = 0; i < kEchoCount; ++i) {
        timers_.push_back(loop->after(i * kEchoSpacing, [weakSelf] {
            auto self = weakSelf.lock();
            if (self && !self->done_ && !self->simplePing_->hostAddress().empty()) self->simplePing_->sendPingWithData();
        }));
    }
    timers_.push_back(loop->after(kAnswerWindow, [weakSelf] {
        if (auto self = weakSelf.lock()) {
            self->stop();
            self->evaluate();
        }
    }));
}

void QXPingMeasurer::simplePingDidFailWithError(QXSimplePing&, const rt::Ref<rt::Error>& error) {
    if (done_) return;
    done_ = true;
    dropTimers();
    setFailedWithError(error);
}

void QXPingMeasurer::simplePingDidSendPacket(QXSimplePing&, const rt::Data&, std::uint16_t sequenceNumber) {
    pings_[sequenceNumber] = loopNow();
}

void QXPingMeasurer::simplePingDidReceivePingResponsePacket(QXSimplePing&, const rt::Data&, std::uint16_t sequenceNumber) {
    if (!done_ && !pongs_.contains(sequenceNumber)) pongs_[sequenceNumber] = loopNow();
}

void QXPingMeasurer::evaluate() {
    if (done_) return;
    done_ = true;
    timers_.clear();
    double sum = 0;
    int answered = 0;
    for (const auto& [sequence, received] : pongs_) {
        auto sent = pings_.find(sequence);
        if (sent == pings_.end()) continue;  // an answer to a request this probe never recorded
        sum += received - sent->second;
        ++answered;
    }
    if (answered == 0) {
        setFailedWithError(nullptr);
        return;
    }
    setResult(rt::Value(sum / answered));
    setFinished();
}

}  // namespace zid
