#pragma once
// Key-value coding and observing.
//
// Classes register their properties once, in a static `describe` function that
// RT_CLASS finds (getter and setter over rt::Value, dependent keys, keys announced by
// hand). Setters announce their change through rt::kvoSet, which costs one atomic load
// when nobody observes. Observers run synchronously on the changing thread, in
// registration order; will/did notices may nest; an observation of "a.b.c" follows a
// replaced `a` or `b`; an observation never outlives its target.
//
// THIS HEADER IS THE CONTRACT other modules code against; KVC.cpp / KVO.cpp implement it.

#include <functional>
#include <string>
#include <string_view>
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

}  // namespace rt
