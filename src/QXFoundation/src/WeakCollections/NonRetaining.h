#pragma once
// Collections that neither retain nor copy their members and compare them by
// identity. The caller keeps the members alive.

#include <cstddef>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <rt/Object.h>

namespace zid {

using NonRetainingArray = std::vector<rt::Object*>;
using NonRetainingDictionary = std::unordered_map<rt::Object*, rt::Object*>;
using NonRetainingSet = std::unordered_set<rt::Object*>;

/// The capacity is a hint.
inline NonRetainingArray nonRetainingArrayWithCapacity(std::size_t capacity) {
    NonRetainingArray array;
    array.reserve(capacity);
    return array;
}
inline NonRetainingDictionary nonRetainingDictionaryWithCapacity(std::size_t capacity) {
    NonRetainingDictionary dictionary;
    dictionary.reserve(capacity);
    return dictionary;
}
inline NonRetainingSet nonRetainingSetWithCapacity(std::size_t capacity) {
    NonRetainingSet set;
    set.reserve(capacity);
    return set;
}

}  // namespace zid
