#pragma once
// A rule: whether it applies to an object in a context.

#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class IRule : public rt::Object {
    RT_CLASS(IRule, rt::Object)
public:
    /// Either value may be nil.
    virtual bool matchesForObject(const rt::Value& object, const rt::Value& context) const = 0;
    virtual rt::Ref<IRule> copy() const = 0;
};

}  // namespace zid
