#pragma once
// A weak reference says nothing when it empties. A view that shows key paths through
// one announces it instead: when the object it names goes, the reference is reset inside
// a change of its key, so the key paths through it read nil and the view updates.

#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <rt/KVO.h>

namespace zid {

/// Watches `held`, which `owner` keeps in `reference` under `key`, from now until the
/// owner or it goes, in place of what `watch` watched before (nil: nothing is watched).
template <class Owner, class Held>
void watchWeakReference(Owner& owner, const rt::Ref<Held>& held, const char* key, rt::Weak<Held> Owner::*reference,
                        rt::Ref<OnSignalHelper>& watch) {
    if (watch) watch->dispose();
    watch = nullptr;
    if (!held) return;
    rt::Weak<Owner> weak = owner.template selfAs<Owner>();
    watch = onSignal(deallocSignal(*held), deallocSignal(owner), [weak, key, reference](const rt::Value&) {
        auto self = weak.lock();
        if (!self) return;
        rt::kvoChange(self.get(), key, [&] { ((*self).*reference).reset(); });
    });
}

}  // namespace zid
