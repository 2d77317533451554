#include "StateAdditions/ErrorEventSource.h"

#include <QXFoundation/Extensions/ErrorEvent.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <rt/Error.h>

namespace zid {

rt::Ref<ErrorHandles> errorHandles(rt::Object& receiver) {
    if (auto existing = receiver.associatedObject("errorHandles").as<ErrorHandles>()) return existing;
    auto registry = rt::make<ErrorHandles>();
    receiver.setAssociatedObject(rt::Value(registry), "errorHandles");
    return registry;
}

void registerErrorSource(rt::Object& receiver, const rt::Ref<rt::Object>& source) {
    if (!source) return;
    auto key = errorSourceKey(source.get());
    auto registry = errorHandles(receiver);
    if (registry->triggers().count(key)) return;
    rt::Weak<rt::Object> weakReceiver = receiver.self();
    auto trigger = OnSignalHelper::triggerWithSignal(signalForKeypath(*source, "error"), deallocSignal(receiver));
    // Filed before the block runs: an error the source holds already is handled now.
    registry->triggers()[key] = trigger;
    trigger->setBlock([weakReceiver, source](const rt::Value& value) {
        auto error = value.as<rt::Error>();
        auto target = weakReceiver.lock();
        if (error && target) handleError(*target, error, source);
    });
}

void unregisterErrorSource(rt::Object& receiver, const rt::Ref<rt::Object>& source) {
    if (!source) return;
    auto key = errorSourceKey(source.get());
    auto registry = errorHandles(receiver);
    auto it = registry->triggers().find(key);
    if (it == registry->triggers().end()) return;
    auto trigger = it->second;
    registry->triggers().erase(it);
    trigger->dispose();
    removeErrorHandlersForSource(receiver, source);
}

}  // namespace zid
