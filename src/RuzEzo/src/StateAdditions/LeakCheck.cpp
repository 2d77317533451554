#include "StateAdditions/LeakCheck.h"

#include <QXFoundation/Log/QXLogger.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <fnd/RunLoop.h>
#include <rt/Format.h>

namespace zid {

namespace {
constexpr const char* kLogModule = "ZIDoredider/RuzEzo";

std::string leakText(const rt::Ref<rt::Object>& object, const std::string& ownerDescriptor) {
    return rt::format("OBJECT LEAKED: %@, originaly owned by: %@", rt::Value(object), rt::Value(ownerDescriptor));
}

void scheduleCheck(const rt::Ref<ObjectTracker>& tracker, std::string message, double delay) {
    // The run loop's block keeps the tracker until the check has run.
    fnd::RunLoop::current()->after(delay, [tracker, message = std::move(message)] { tracker->check(message); });
}
}  // namespace

ObjectTracker::ObjectTracker(const rt::Ref<rt::Object>& trackedObject, std::string ownerDescriptor, std::string source)
    : trackedObject_(trackedObject), ownerDescriptor_(std::move(ownerDescriptor)), source_(std::move(source)) {}

bool ObjectTracker::check(const std::string& message) {
    if (!trackedObject_.lock()) return false;
    QXLog(kLogModule, staticClass(), 2, "%s (%s)", message, source_);
    return true;
}

rt::Ref<rt::Object> trackOwnedObject(rt::Object& owner, const rt::Ref<rt::Object>& object, const std::string& source) {
    auto tracker = rt::make<ObjectTracker>(object, owner.description(), source);
    auto ownerGone = deallocSignal(owner);
    onSignal(ownerGone, ownerGone, [tracker](const rt::Value&) {
        scheduleCheck(tracker, leakText(tracker->trackedObject(), tracker->ownerDescriptor()), 1.0);
    });
    return object;
}

void assertDealocatesWithOwner(const rt::Ref<rt::Object>& object, const rt::Object& owner, double timeout,
                               const std::string& source) {
    auto tracker = rt::make<ObjectTracker>(object, owner.description(), source);
    scheduleCheck(tracker, leakText(object, tracker->ownerDescriptor()), timeout);
}

}  // namespace zid
