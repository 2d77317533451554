#pragma once
// Conversions between a missing value and the null placeholder collections can hold.

#include <rt/Value.h>

namespace zid {

/// The value, or the null placeholder for nil.
inline rt::Value nullify(const rt::Value& value) { return value.isNil() ? rt::Value::null() : value; }
/// Nil for the null placeholder, else the value.
inline rt::Value nilify(const rt::Value& value) { return value.isNull() ? rt::Value() : value; }

}  // namespace zid
