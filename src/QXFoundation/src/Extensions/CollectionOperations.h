#pragma once
// Functional operations over array, set and dictionary values.
//
// Every operation leaves its input unchanged and answers a new collection or a single
// value. Array operations visit elements in index order, once, and keep that order; set
// operations visit members in the set's (unspecified) order.
//
//   auto names = zid::map(people, [](const rt::Value& p) { return p.dictionary().get("name"); });
//   bool anyAdult = zid::any(people, [](const rt::Value& p) { return p.dictionary().get("age").intValue() >= 18; });
//
// Counts passed to take, drop, takeLast, dropLast and splitAt are signed and compared as
// unsigned counts: a negative count acts as one larger than any array.
// all() answers false for an empty collection, any() too.
// A transform or key generator that yields nil for an element raises
// InvalidArgumentException naming the operation and the element's index: collections do
// not hold nil.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "Extensions/ValueSet.h"
#include <rt/Value.h>

namespace zid {

using Array = rt::Value::Array;
using Transform = std::function<rt::Value(const rt::Value& element)>;
using Predicate = std::function<bool(const rt::Value& element)>;
using Reducer = std::function<rt::Value(const rt::Value& accumulator, const rt::Value& element)>;
using KeyGenerator = std::function<rt::Value(const rt::Value& element)>;
/// Answers -1, 0 or 1 as a sorts before, with or after b.
using Comparator = std::function<int(const rt::Value& a, const rt::Value& b)>;

// ---- arrays ------------------------------------------------------------------------
/// Everything an enumerable value yields, in order: an array's elements, a
/// dictionary's keys; nil or anything else gives an empty array.
Array arrayWithEnumerable(const rt::Value& enumerable);
Array arrayWithEnumerable(const ValueSet& set);
template <class Range> Array arrayWithEnumerableRange(const Range& range) {
    Array out;
    for (const auto& element : range) out.push_back(rt::Value(element));
    return out;
}

Array map(const Array& array, const Transform& transform);
Array filter(const Array& array, const Predicate& predicate);
/// A stable sort by the comparator.
Array sort(const Array& array, const Comparator& comparator);
/// Every element but the first; raises "Cannot generate back of the empty array".
Array back(const Array& array);
/// Every element but the last; raises "Cannot generate front of the empty array".
Array front(const Array& array);
Array take(const Array& array, std::int64_t n);
Array drop(const Array& array, std::int64_t n);
Array takeLast(const Array& array, std::int64_t n);
Array dropLast(const Array& array, std::int64_t n);
Array reverse(const Array& array);
Array takeWhile(const Array& array, const Predicate& predicate);
Array dropWhile(const Array& array, const Predicate& predicate);
/// Two elements: take(n) and drop(n), each an array value.
Array splitAt(const Array& array, std::int64_t n);
/// Consecutive chunks (array values) of n elements, the last holding the remainder;
/// raises "Cannot group by zero or less" for n below 1.
Array group(const Array& array, std::int64_t n);
/// Two elements: the elements the predicate accepts and those it rejects, each an array value.
Array partition(const Array& array, const Predicate& predicate);
/// The accumulator after the last element; the start value itself for an empty array.
rt::Value reduce(const Array& array, const Reducer& reducer, const rt::Value& start);
bool any(const Array& array, const Predicate& predicate);
bool all(const Array& array, const Predicate& predicate);
/// Each generated key to its element; a later element with an equal key replaces the earlier.
rt::Dictionary dictionaryWithKeyGenerator(const Array& array, const KeyGenerator& generator);
/// nil when none matches.
rt::Value firstMatching(const Array& array, const Predicate& predicate);
rt::Value firstNotMatching(const Array& array, const Predicate& predicate);
std::size_t countOfMatching(const Array& array, const Predicate& predicate);
/// Double sums and products of the elements' double values; the integer 0 for an empty
/// array (product included). avg is the double sum / count.
rt::Value sum(const Array& array);
rt::Value product(const Array& array);
rt::Value avg(const Array& array);
Array arrayByDeletingObject(const Array& array, const rt::Value& object);
/// Raises InvalidArgumentException for nil and RangeException for an index past count.
Array arrayByInsertingObject(const Array& array, const rt::Value& object, std::size_t index);

// ---- sets --------------------------------------------------------------------------
/// Equal results collapse into one member.
ValueSet map(const ValueSet& set, const Transform& transform);
ValueSet filter(const ValueSet& set, const Predicate& predicate);
bool any(const ValueSet& set, const Predicate& predicate);
bool all(const ValueSet& set, const Predicate& predicate);
rt::Dictionary dictionaryWithKeyGenerator(const ValueSet& set, const KeyGenerator& generator);

// ---- index keys --------------------------------------------------------------------
// Key-value coding meets an array with keys that are positions: "2" is the third element.
/// Leading blanks, an optional sign, decimal digits; 0 for a key without leading digits.
std::int64_t indexFromKey(std::string_view key);
/// The element at the key's position; raises RangeException past the end.
rt::Value valueForIndexKey(const Array& array, std::string_view key);
/// Replaces the element at the key's position (count appends); nil removes it. Raises
/// RangeException for a position past the end (or at it, for a removal).
void setValueForIndexKey(Array& array, const rt::Value& value, std::string_view key);

}  // namespace zid
