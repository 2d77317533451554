#pragma once
// Key paths into nested dictionaries held by value.

#include <string_view>

#include <rt/Value.h>

namespace zid {

/// Sets (nil removes) the value at a dotted key path: "a.b" writes "b" inside the
/// dictionary under "a". Every dictionary on the way must already be there; otherwise
/// nothing is written and the answer is false.
bool setValueForKeyPath(rt::Dictionary& dictionary, std::string_view keyPath, const rt::Value& value);
/// The value at a dotted key path; nil when any step is missing or not a dictionary.
rt::Value valueForKeyPath(const rt::Dictionary& dictionary, std::string_view keyPath);

}  // namespace zid
