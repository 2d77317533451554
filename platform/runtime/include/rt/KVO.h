#pragma once
// Key-value coding and observing.
//
// New properties are declared with typed keys (rt/Key.h): one declaration gives the
// typed getter and setter, the key-value coding entry and typed observation. The
// string-keyed form below stays for key paths, dependent keys and older classes:
//
//     class Player : public rt::Object {
//         RT_CLASS(Player, rt::Object)
//     public:
//         static void describe(rt::ClassBuilder<Player>& c) {   // run once by RT_CLASS
//             c.property("state", &Player::state, &Player::setState);
//             c.property("source", &Player::source, &Player::setSource);
//             c.readonly("isReady", &Player::isReady);
//             c.readonly("sourceState", &Player::sourceState);
//             c.dependent("isReady", {"paused"});               // keys or key paths
//             c.dependent("sourceState", {"source.state"});
//             c.manualNotification("progress");                 // announced by hand
//         }
//         int state() const { return state_; }
//         void setState(int v) { rt::kvoSet(this, "state", state_, v); }  // compares, then announces
//         ...
//     };
//
//     auto token = rt::observe(player, "source.state", rt::KVONew | rt::KVOInitial,
//                              [](const rt::KVOChange& c) { ... c.newValue ... });
//     // keep the token: dropping it (or token->remove()) ends the observation.
//
// Getters are const member functions (or callables taking const Cls&); setters take
// one typed argument (or are callables taking (Cls&, const rt::Value&)). Types cross
// rt::Value through rt::ValueTraits: arithmetic types, bool, enums (as integers),
// std::string, rt::Date, rt::Data, rt::Dictionary, rt::Value, rt::Ref<T> and vectors.
// Nil written to a scalar stores its zero. Keys a class does not register go to
// valueForUndefinedKey / setValueForUndefinedKey (lists answer index keys there).
// A change made without a setter is announced with rt::kvoChange(this, "key", fn) or
// willChangeValueForKey / didChangeValueForKey pairs, which may nest.
//
// Observers run synchronously on the changing thread, in registration order; an
// observation of "a.b.c" follows a replaced `a` or `b`; an observation never outlives
// its target (the target's pre-destruction step ends it, after the class's own
// willDestroy, so changes announced there are still seen). A setter of an object that
// nobody observes costs one comparison and one atomic load.
//
#include <concepts>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <rt/Object.h>
#include <rt/Value.h>

namespace rt {

enum KVOOption : unsigned {
    KVONew = 1u << 0,
    KVOOld = 1u << 1,
    KVOInitial = 1u << 2,  // reported once inside the registration call
    KVOPrior = 1u << 3,    // also reported before the change (isPrior)
};

struct KVOChange {
    Object* object = nullptr;  // the observed (root) object
    std::string keyPath;
    Value newValue;            // with KVONew
    Value oldValue;            // with KVOOld
    bool isPrior = false;
    bool isInitial = false;
};

/// A registered observation; removes itself when removed or destroyed.
class Observation : public Object {
    RT_CLASS(Observation, Object)
public:
    virtual void remove() = 0;
    virtual bool isActive() const = 0;
};

/// Observes a dotted key path of target. The observer is called synchronously.
Ref<Observation> observe(const Ref<Object>& target, std::string keyPath, unsigned options,
                         std::function<void(const KVOChange&)> observer);

/// Key-value coding over plain values: dictionaries answer their entries, arrays map
/// the key over their elements, objects use their registered properties.
Value valueForKeyPath(const Value& container, std::string_view keyPath);

namespace detail {
/// The observers of key on object when automatic notices are on for it; false costs
/// a look into the observation table only when the object has one.
bool announcesAutomatically(Object& object, std::string_view key);
/// Announces key of object around change() when it is observed and not announced by
/// hand; otherwise just runs change(). One look into the observation table.
void announceChange(Object& object, std::string_view key, void (*change)(void*), void* context);
}  // namespace detail

/// Runs change() between will and did notices of key when key is observed and
/// announced automatically; otherwise just runs it. The observers told are looked up
/// once, for both notices.
template <class F> void kvoChange(Object* object, std::string_view key, F&& change) {
    if (!object->observationSlot()) {
        change();
        return;
    }
    using Change = std::remove_reference_t<F>;
    detail::announceChange(*object, key, [](void* c) { (*static_cast<Change*>(c))(); },
                           const_cast<void*>(static_cast<const void*>(&change)));
}

/// The body of a registered setter: stores value into field when it differs and
/// announces the change to observers. Answers whether the field changed. With nobody
/// observing the object this is one comparison and one atomic load.
template <class T, class U> bool kvoSet(Object* object, std::string_view key, T& field, U&& value) {
    if constexpr (std::equality_comparable_with<const T&, const U&>) {
        if (field == value) return false;
    }
    if (!object->observationSlot()) {
        field = std::forward<U>(value);
        return true;
    }
    kvoChange(object, key, [&] { field = std::forward<U>(value); });
    return true;
}

}  // namespace rt
