#pragma once
// Subscribing an object to a signal without the signal keeping the object alive.

#include <memory>
#include <type_traits>

#include <RuzEzo/Signal/FKSignal.h>

namespace zid {

/// Subscribes owner to source through a weak reference: each value of source goes to
/// owner's onValue and the close to its onClose while owner lives, and nothing happens
/// once it is gone. The answer ends the subscription, as addValueHandler's does.
template <class Owner>
std::shared_ptr<IDisposable> addWeakHandlers(const FKSignalRef& source, const rt::Ref<Owner>& owner,
                                             void (std::type_identity_t<Owner>::*onValue)(const rt::Value&),
                                             void (std::type_identity_t<Owner>::*onClose)()) {
    rt::Weak<Owner> weak = owner;
    return source->addValueHandler(
        [weak, onValue](const rt::Value& value) {
            if (auto strong = weak.lock()) ((*strong).*onValue)(value);
        },
        [weak, onClose] {
            if (auto strong = weak.lock()) ((*strong).*onClose)();
        });
}

}  // namespace zid
