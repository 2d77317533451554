#pragma once
// The signal that reports the start of an object's destruction: it sends nil and
// closes in the object's pre-destruction step, while the object is still whole, before
// the object's own destruction code runs.

#include <set>

#include <RuzEzo/Signal/FKSignal.h>

namespace zid {

class FKDeallocSignal : public FKSignal {
    RT_CLASS(FKDeallocSignal, FKSignal)
public:
    explicit FKDeallocSignal(rt::Object* target = nullptr) : target_(target) {}
    static rt::Ref<FKDeallocSignal> signalWithTarget(rt::Object& target);

    /// The object whose destruction the signal reports; valid until that object is
    /// freed.
    rt::Object* target() const { return target_; }

    /// Sends nil (the signal never had a value) and then runs the close handlers; once.
    void close() override;

private:
    rt::Object* target_;
};

/// The object's dealloc signal, made on first use; the same signal on every call.
rt::Ref<FKDeallocSignal> deallocSignal(rt::Object& object);
template <class T> rt::Ref<FKDeallocSignal> deallocSignal(const rt::Ref<T>& object) { return deallocSignal(*object); }

/// The classes whose objects have asked for a dealloc signal.
std::set<const rt::Class*> deallocSignalSwizzledClasses();
/// Records the class as prepared (once); preparing needs nothing else here, since each
/// object that makes a dealloc signal closes it in its own pre-destruction step.
void swizzleClassIfNeeded(const rt::Class& cls);

}  // namespace zid
