#pragma once
// The base of one-way value transformers: a value in, a value (usually a display text)
// out.

#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class ValueTransformer : public rt::Object {
    RT_CLASS(ValueTransformer, rt::Object)
public:
    /// The base passes the value through unchanged.
    virtual rt::Value transformedValue(const rt::Value& value) const { return value; }
    /// The transformers here go one way only.
    virtual bool allowsReverseTransformation() const { return false; }
};

}  // namespace zid
