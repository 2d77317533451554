#pragma once
// A set of values: members compared with isEqual (numbers by value across kinds, objects
// by identity then isEqual). Enumeration order is unspecified.

#include <cstddef>
#include <initializer_list>
#include <unordered_set>

#include <rt/Value.h>

namespace zid {

struct ValueEqual {
    bool operator()(const rt::Value& a, const rt::Value& b) const { return a.isEqual(b); }
};

using ValueSet = std::unordered_set<rt::Value, rt::ValueHash, ValueEqual>;

}  // namespace zid
