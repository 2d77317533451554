#include <RuzEzo/Extensions/KeypathSignalCategory.h>

#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>

namespace zid {

namespace {

constexpr std::string_view kKeyPathSignalsKey = "__keyPathSignals";

// The holder's signals close when the object's dealloc signal fires: a trigger whose
// signal and dispose signal are both that dealloc signal runs once, then ends.
void closeWithOwner(rt::Object& object, const rt::Ref<FKSignalHolder>& holder) {
    auto dealloc = deallocSignal(object);
    onSignal(dealloc, dealloc, [holder](const rt::Value&) { holder->closeSignals(); });
}

}  // namespace

rt::Ref<FKKeypathSignal> signalForKeypath(rt::Object& object, const std::string& keypath) {
    auto holder = object.associatedObject(kKeyPathSignalsKey).as<FKSignalHolder>();
    if (!holder) {
        holder = rt::make<FKSignalHolder>();
        object.setAssociatedObject(rt::Value(holder), kKeyPathSignalsKey);
        closeWithOwner(object, holder);
    }
    if (auto existing = std::static_pointer_cast<FKKeypathSignal>(holder->signalForKey(rt::Value(keypath))))
        return existing;
    auto signal = FKKeypathSignal::signalWithTarget(object, keypath);
    holder->setSignal(signal, rt::Value(keypath));
    return signal;
}

std::optional<std::vector<FKSignalRef>> keypathSignals(const rt::Object& object) {
    auto holder = object.associatedObject(kKeyPathSignalsKey).as<FKSignalHolder>();
    if (!holder) return std::nullopt;
    return holder->signals();
}

void setCustomSignal(rt::Object& object, const FKSignalRef& signal, const rt::Value& key) {
    auto holder = object.associatedObject(nullptr).as<FKSignalHolder>();
    if (!holder) {
        holder = rt::make<FKSignalHolder>();
        object.setAssociatedObject(rt::Value(holder), nullptr);
        closeWithOwner(object, holder);
    }
    holder->setSignal(signal, key);
}

FKSignalRef customSignalForKey(const rt::Object& object, const rt::Value& key) {
    auto holder = object.associatedObject(nullptr).as<FKSignalHolder>();
    return holder ? holder->signalForKey(key) : nullptr;
}

FKSignalRef customSignal(rt::Object& object, const rt::Value& key, const std::function<FKSignalRef()>& make) {
    if (auto existing = customSignalForKey(object, key)) return existing;
    auto signal = make();
    setCustomSignal(object, signal, key);
    return signal;
}

}  // namespace zid
