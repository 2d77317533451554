#include <RuzEzo/Signal/Keypath/FKKeypathSignal.h>

#include <QXFoundation/Extensions/NilHandling.h>
#include <rt/Format.h>

namespace zid {

FKKeypathSignal::FKKeypathSignal(rt::Object* target, std::string keypath)
    : target_(target), keypath_(std::move(keypath)) {}

rt::Ref<FKKeypathSignal> FKKeypathSignal::signalWithTarget(rt::Object& target, std::string keypath) {
    auto signal = rt::make<FKKeypathSignal>(&target, std::move(keypath));
    signal->setLastValue(target.valueForKeyPath(signal->keypath()));
    signal->registerKVO();
    return signal;
}

void FKKeypathSignal::registerKVO() {
    if (!target_ || observation_) return;
    // A signal made directly (outside an object's holder) must not leave its
    // observation on a freed target: the target's pre-destruction step closes it.
    // The handler is removed again when the signal closes first.
    FKKeypathSignal* self = this;
    targetHandler_ = target_->addPreDestructionHandler([self](rt::Object&) { self->close(); });
    rt::Ref<rt::Object> target = target_->self();
    if (!target) return;  // an object being destroyed reports nothing more
    // The observation is removed in close(), which runs at the latest in this signal's
    // own destruction, so the report never reaches a freed signal.
    // Only the new value is passed on: the old one would be read and boxed for nothing.
    observation_ = rt::observe(target, keypath_, rt::KVONew | rt::KVOInitial,
                               [self](const rt::KVOChange& change) { self->observeValueForKeyPath(change.keyPath, change); });
}

void FKKeypathSignal::removeKVO() {
    if (auto observation = std::move(observation_)) observation->remove();
    if (target_ && targetHandler_) target_->removePreDestructionHandler(targetHandler_);
    targetHandler_ = 0;
}

void FKKeypathSignal::observeValueForKeyPath(const std::string& keyPath, const rt::KVOChange& change) {
    if (keyPath != keypath_) return;
    setValue(nilify(change.newValue));
}

void FKKeypathSignal::close() {
    if (isClosed()) return;
    auto keepAlive = selfSignal();
    FKSignal::close();
    removeKVO();
    target_ = nullptr;
}

void FKKeypathSignal::willDestroy() {
    FKSignal::willDestroy();
    removeKVO();  // also when the signal was marked closed without closing
}

std::string FKKeypathSignal::description() const {
    return FKSignal::description() +
           rt::format(" target=%@ kp='%@'", target_ ? target_->description() : std::string("(null)"), keypath_);
}

}  // namespace zid
