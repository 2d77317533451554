#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>

#include <mutex>

namespace zid {

namespace {

constexpr std::string_view kDeallocSignalKey = "__deallocSignal";

struct PreparedClasses {
    std::mutex mutex;
    std::set<const rt::Class*> classes;
};

PreparedClasses& preparedClasses() {
    static PreparedClasses* prepared = new PreparedClasses();  // lives for the process
    return *prepared;
}

}  // namespace

rt::Ref<FKDeallocSignal> FKDeallocSignal::signalWithTarget(rt::Object& target) {
    return rt::make<FKDeallocSignal>(&target);
}

void FKDeallocSignal::close() {
    if (isClosed()) return;
    auto keepAlive = selfSignal();
    setValue(rt::Value());
    FKSignal::close();
}

std::set<const rt::Class*> deallocSignalSwizzledClasses() {
    auto& prepared = preparedClasses();
    std::lock_guard lock(prepared.mutex);
    return prepared.classes;
}

void swizzleClassIfNeeded(const rt::Class& cls) {
    auto& prepared = preparedClasses();
    std::lock_guard lock(prepared.mutex);
    prepared.classes.insert(&cls);
}

rt::Ref<FKDeallocSignal> deallocSignal(rt::Object& object) {
    swizzleClassIfNeeded(object.objectClass());
    if (auto existing = object.associatedObject(kDeallocSignalKey).as<FKDeallocSignal>()) return existing;
    auto signal = FKDeallocSignal::signalWithTarget(object);
    object.setAssociatedObject(rt::Value(signal), kDeallocSignalKey);
    // The object's pre-destruction step closes whatever signal is stored then.
    object.addPreDestructionHandler([](rt::Object& dying) {
        if (auto stored = dying.associatedObject(kDeallocSignalKey).as<FKDeallocSignal>()) stored->close();
    });
    return signal;
}

}  // namespace zid
