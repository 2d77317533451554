// The availability tests of the CDN model: which probe or tester each kind of object
// runs, on which queue. The model is the transport's; testing it is the engine's CDN
// selection, so these definitions live here, beside the testers.

#include "Core/Vexa/QXCDNAvailability.h"

#include <QXCorePlayer/VexaWebSocketClient/Model/QXCDNModel.h>

#include "Core/Vexa/QXCDNLocationTester.h"
#include "Core/Vexa/QXCDNServiceTester.h"
#include "Core/Vexa/QXLatencyMeasurer.h"
#include "Core/Vexa/QXPingMeasurer.h"
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskManager.h>

namespace zid {

rt::Ref<AKOperationTaskQueue> cdnTaskQueue(const char* name) {
    auto queue = AKOperationTaskManager::sharedManager()->taskQueueWithIdentifier(rt::Value(name));
    if (queue->maxConcurrentOperationCount() != 4) queue->setMaxConcurrentOperationCount(4);
    return queue;
}

namespace {
/// Starts the test on the queue of its kind of object and answers it.
template <class Kind>
rt::Ref<AKOperationTask> started(rt::Ref<AKOperationTask> test) {
    Kind::taskQueue()->addTask(test);
    return test;
}
}  // namespace

rt::Ref<AKOperationTask> QXCDNSite::testAvailability() {
    return started<QXCDNSite>(QXPingMeasurer::pingMeasurerWithHost(host_));
}

rt::Ref<AKOperationTaskQueue> QXCDNSite::taskQueue() {
    static const rt::Ref<AKOperationTaskQueue> queue = cdnTaskQueue("QXCDNSite");
    return queue;
}

rt::Ref<AKOperationTask> ECDNBox::testAvailability() {
    return started<ECDNBox>(QXLatencyMeasurer::measurerWithURLRequest(net::HttpRequest::get(probeURL())));
}

rt::Ref<AKOperationTaskQueue> ECDNBox::taskQueue() {
    static const rt::Ref<AKOperationTaskQueue> queue = cdnTaskQueue("ECDNBox");
    return queue;
}

rt::Ref<AKOperationTask> QXCDNLocation::testAvailability() {
    return started<QXCDNLocation>(QXCDNLocationTester::locationTesterWithLocation(selfAs<QXCDNLocation>()));
}

rt::Ref<AKOperationTaskQueue> QXCDNLocation::taskQueue() {
    static const rt::Ref<AKOperationTaskQueue> queue = cdnTaskQueue("QXCDNLocation");
    return queue;
}

rt::Ref<AKOperationTask> QXCDNService::testAvailability() {
    return started<QXCDNService>(QXCDNServiceTester::testerWithCDNService(selfAs<QXCDNService>()));
}

rt::Ref<AKOperationTaskQueue> QXCDNService::taskQueue() {
    static const rt::Ref<AKOperationTaskQueue> queue = cdnTaskQueue("QXCDNService");
    return queue;
}

}  // namespace zid
