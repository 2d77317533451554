#include <QXCorePlayer/Core/Vexa/QXCDNServiceSelector.h>
#include "Core/CPEndAndRelease.h"
#include "Core/Vexa/QXCDNAvailability.h"

#include "Core/Vexa/QXCDNTaskWaiting.h"
#include <QXFoundation/Log/QXLogger.h>

namespace zid {

QXCDNServiceSelector::QXCDNServiceSelector(std::vector<rt::Ref<QXCDNService>> services)
    : given_(services), CDNServices_(std::move(services)) {}

rt::Ref<QXCDNServiceSelector> QXCDNServiceSelector::selectorWitCDNServices(std::vector<rt::Ref<QXCDNService>> services) {
    return rt::make<QXCDNServiceSelector>(std::move(services));
}

std::vector<rt::Ref<QXCDNService>> QXCDNServiceSelector::selectedServices() const {
    return cdn::objectsOf<QXCDNService>(result());
}

void QXCDNServiceSelector::startOperation() {
    AKAsyncOperationTask::startOperation();
    if (deadline_ > 0 && !deadlineTimer_) {
        std::weak_ptr<QXCDNServiceSelector> weakSelf = selfAs<QXCDNServiceSelector>();
        deadlineTimer_ = fnd::RunLoop::current()->after(deadline_, [weakSelf] {
            if (auto self = weakSelf.lock()) self->deadlinePassed();
        });
    }
    testNextService();
}

void QXCDNServiceSelector::cancelOperation() {
    end();
    AKAsyncOperationTask::cancelOperation();
}

void QXCDNServiceSelector::willDestroy() {
    end();
    AKAsyncOperationTask::willDestroy();
}

void QXCDNServiceSelector::end() {
    ended_ = true;
    CPEndAndRelease(deadlineTimer_, &fnd::Timer::invalidate);
    if (waiting_) waiting_->remove();
    waiting_.reset();
}

void QXCDNServiceSelector::testNextService() {
    if (ended_) return;
    if (CDNServices_.empty()) {
        end();
        setFailedWithError(nullptr);
        return;
    }
    auto service = CDNServices_.front();
    auto tester = service->testAvailability();
    waiting_ = cdn::whenFinished<QXCDNServiceSelector>(
        selfAs<QXCDNServiceSelector>(), tester,
        [service](QXCDNServiceSelector& self, const rt::Ref<AKOperationTask>& finished) {
            self.testerFinished(finished, service);
        });
}

void QXCDNServiceSelector::testerFinished(const rt::Ref<AKOperationTask>& tester, const rt::Ref<QXCDNService>& service) {
    if (ended_) return;
    QXLog(kCoreLogModule, objectClass(), 6, "tester finished: %@ with result: %@", rt::Value(tester), tester->result());
    std::erase(CDNServices_, service);
    if (tester->isFailed() || tester->isCancelled()) {
        QXLog(kCoreLogModule, objectClass(), 6, "Service filtered out: %@", service->description());
        // A new child is observed from inside this call-back; the old observation goes
        // once it has returned.
        fnd::RunLoop::current()->post([weak = std::weak_ptr<QXCDNServiceSelector>(selfAs<QXCDNServiceSelector>())] {
            if (auto self = weak.lock()) self->testNextService();
        });
        return;
    }
    std::vector<rt::Ref<QXCDNService>> selected;
    auto tested = tester->result().as<QXCDNService>();
    selected.push_back(tested ? tested : service);
    selected.insert(selected.end(), CDNServices_.begin(), CDNServices_.end());
    end();
    setResult(cdn::arrayOf(selected));
    setFinished();
}

void QXCDNServiceSelector::deadlinePassed() {
    if (ended_ || isFinished()) return;
    QXLog(kCoreLogModule, objectClass(), 5, "CDN selection ran past %g s; the services are taken in their given order",
          deadline_);
    end();
    setResult(cdn::arrayOf(given_));
    setFinished();
}

}  // namespace zid
