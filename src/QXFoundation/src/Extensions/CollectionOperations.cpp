#include "Extensions/CollectionOperations.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <rt/Exception.h>
#include <rt/Format.h>

namespace zid {

namespace {

/// A count compared as unsigned: a negative one is larger than any array.
std::size_t clampCount(std::int64_t n, std::size_t size) {
    return std::min<std::uint64_t>(static_cast<std::uint64_t>(n), size);
}

Array slice(const Array& array, std::size_t from, std::size_t to) {
    return Array(array.begin() + static_cast<std::ptrdiff_t>(from), array.begin() + static_cast<std::ptrdiff_t>(to));
}

rt::Value required(const rt::Value& produced, const char* operation, std::size_t index) {
    if (produced.isNil())
        throw rt::Exception(rt::Exception::InvalidArgument,
                            rt::format("%@: the block returned nil for the element at index %lu", operation, index));
    return produced;
}

/// An element read as a double: numbers by value, strings by their leading number.
double doubleOf(const rt::Value& element) {
    if (element.isNumber()) return element.doubleValue();
    if (element.isString()) return std::strtod(element.string().c_str(), nullptr);
    return 0;
}

// The operations that read an array and a set alike; the result is of the receiver's kind,
// in its order, and a block's nil is reported with the position where it was met.

template <class Collection>
Collection mappedCollection(const Collection& in, const Transform& transform) {
    Collection out;
    out.reserve(in.size());
    std::size_t i = 0;
    for (const auto& element : in) out.insert(out.end(), required(transform(element), "map", i++));
    return out;
}

template <class Collection>
Collection filteredCollection(const Collection& in, const Predicate& predicate) {
    Collection out;
    for (const auto& element : in)
        if (predicate(element)) out.insert(out.end(), element);
    return out;
}

template <class Collection>
bool anyInCollection(const Collection& in, const Predicate& predicate) {
    return std::any_of(in.begin(), in.end(), predicate);
}

template <class Collection>
bool allInCollection(const Collection& in, const Predicate& predicate) {
    return !in.empty() && std::all_of(in.begin(), in.end(), predicate);
}

template <class Collection>
rt::Dictionary keyedCollection(const Collection& in, const KeyGenerator& generator) {
    rt::Dictionary out;
    std::size_t i = 0;
    for (const auto& element : in) out.set(required(generator(element), "dictionaryWithKeyGenerator", i++), element);
    return out;
}

}  // namespace

Array arrayWithEnumerable(const rt::Value& enumerable) {
    if (enumerable.isArray()) return enumerable.array();
    if (enumerable.isDictionary()) return enumerable.dictionary().keys();
    return {};
}

Array arrayWithEnumerable(const ValueSet& set) { return Array(set.begin(), set.end()); }

Array map(const Array& array, const Transform& transform) { return mappedCollection(array, transform); }

Array filter(const Array& array, const Predicate& predicate) { return filteredCollection(array, predicate); }

Array sort(const Array& array, const Comparator& comparator) {
    Array out = array;
    std::stable_sort(out.begin(), out.end(), [&](const rt::Value& a, const rt::Value& b) { return comparator(a, b) < 0; });
    return out;
}

Array back(const Array& array) {
    if (array.empty()) throw rt::Exception(rt::Exception::RangeError, "Cannot generate back of the empty array");
    return drop(array, 1);
}

Array front(const Array& array) {
    if (array.empty()) throw rt::Exception(rt::Exception::RangeError, "Cannot generate front of the empty array");
    return take(array, static_cast<std::int64_t>(array.size()) - 1);
}

Array take(const Array& array, std::int64_t n) { return slice(array, 0, clampCount(n, array.size())); }

Array drop(const Array& array, std::int64_t n) { return slice(array, clampCount(n, array.size()), array.size()); }

Array takeLast(const Array& array, std::int64_t n) {
    return slice(array, array.size() - clampCount(n, array.size()), array.size());
}

Array dropLast(const Array& array, std::int64_t n) {
    return slice(array, 0, array.size() - clampCount(n, array.size()));
}

Array reverse(const Array& array) { return Array(array.rbegin(), array.rend()); }

Array takeWhile(const Array& array, const Predicate& predicate) {
    Array out;
    for (const auto& element : array) {
        if (!predicate(element)) break;
        out.push_back(element);
    }
    return out;
}

Array dropWhile(const Array& array, const Predicate& predicate) {
    std::size_t i = 0;
    while (i < array.size() && predicate(array[i])) ++i;
    return slice(array, i, array.size());
}

Array splitAt(const Array& array, std::int64_t n) { return Array{rt::Value(take(array, n)), rt::Value(drop(array, n))}; }

Array group(const Array& array, std::int64_t n) {
    if (n < 1) throw rt::Exception(rt::Exception::InvalidArgument, "Cannot group by zero or less");
    const auto size = static_cast<std::size_t>(n);
    Array out;
    for (std::size_t from = 0; from < array.size(); from += size)
        out.push_back(rt::Value(slice(array, from, std::min(array.size(), from + size))));
    return out;
}

Array partition(const Array& array, const Predicate& predicate) {
    Array yes, no;
    for (const auto& element : array) (predicate(element) ? yes : no).push_back(element);
    return Array{rt::Value(std::move(yes)), rt::Value(std::move(no))};
}

rt::Value reduce(const Array& array, const Reducer& reducer, const rt::Value& start) {
    rt::Value accumulator = start;
    for (const auto& element : array) accumulator = reducer(accumulator, element);
    return accumulator;
}

bool any(const Array& array, const Predicate& predicate) { return anyInCollection(array, predicate); }

bool all(const Array& array, const Predicate& predicate) { return allInCollection(array, predicate); }

rt::Dictionary dictionaryWithKeyGenerator(const Array& array, const KeyGenerator& generator) {
    return keyedCollection(array, generator);
}

rt::Value firstMatching(const Array& array, const Predicate& predicate) {
    auto it = std::find_if(array.begin(), array.end(), predicate);
    return it == array.end() ? rt::Value() : *it;
}

rt::Value firstNotMatching(const Array& array, const Predicate& predicate) {
    auto it = std::find_if_not(array.begin(), array.end(), predicate);
    return it == array.end() ? rt::Value() : *it;
}

std::size_t countOfMatching(const Array& array, const Predicate& predicate) {
    return static_cast<std::size_t>(std::count_if(array.begin(), array.end(), predicate));
}

rt::Value sum(const Array& array) {
    if (array.empty()) return rt::Value(0);
    return reduce(array, [](const rt::Value& acc, const rt::Value& e) { return rt::Value(doubleOf(acc) + doubleOf(e)); },
                  rt::Value(0));
}

rt::Value product(const Array& array) {
    if (array.empty()) return rt::Value(0);
    return reduce(array, [](const rt::Value& acc, const rt::Value& e) { return rt::Value(doubleOf(acc) * doubleOf(e)); },
                  rt::Value(1));
}

rt::Value avg(const Array& array) {
    if (array.empty()) return rt::Value(0);
    return rt::Value(sum(array).doubleValue() / static_cast<double>(array.size()));
}

Array arrayByDeletingObject(const Array& array, const rt::Value& object) {
    return filter(array, [&](const rt::Value& element) { return !element.isEqual(object); });
}

Array arrayByInsertingObject(const Array& array, const rt::Value& object, std::size_t index) {
    if (object.isNil()) throw rt::Exception(rt::Exception::InvalidArgument, "arrayByInsertingObject: object cannot be nil");
    if (index > array.size())
        throw rt::Exception(rt::Exception::RangeError,
                            rt::format("arrayByInsertingObject: index %lu beyond bounds [0 .. %lu]", index, array.size()));
    Array out = array;
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(index), object);
    return out;
}

ValueSet map(const ValueSet& set, const Transform& transform) { return mappedCollection(set, transform); }

ValueSet filter(const ValueSet& set, const Predicate& predicate) { return filteredCollection(set, predicate); }

bool any(const ValueSet& set, const Predicate& predicate) { return anyInCollection(set, predicate); }

bool all(const ValueSet& set, const Predicate& predicate) { return allInCollection(set, predicate); }

rt::Dictionary dictionaryWithKeyGenerator(const ValueSet& set, const KeyGenerator& generator) {
    return keyedCollection(set, generator);
}

std::int64_t indexFromKey(std::string_view key) {
    std::size_t i = 0;
    while (i < key.size() && std::isspace(static_cast<unsigned char>(key[i]))) ++i;
    bool negative = false;
    if (i < key.size() && (key[i] == '+' || key[i] == '-')) negative = key[i++] == '-';
    // Accumulated as a magnitude so that the whole range, INT64_MIN included, reads
    // exactly; only a number beyond it saturates (like the C reader), and a position
    // that large is past the end of every array.
    constexpr std::uint64_t kLimit = static_cast<std::uint64_t>(INT64_MAX);
    const std::uint64_t limit = negative ? kLimit + 1 : kLimit;
    std::uint64_t magnitude = 0;
    for (; i < key.size() && key[i] >= '0' && key[i] <= '9'; ++i) {
        auto digit = static_cast<std::uint64_t>(key[i] - '0');
        if (magnitude > (limit - digit) / 10) return negative ? INT64_MIN : INT64_MAX;
        magnitude = magnitude * 10 + digit;
    }
    if (!negative) return static_cast<std::int64_t>(magnitude);
    return magnitude == kLimit + 1 ? INT64_MIN : -static_cast<std::int64_t>(magnitude);
}

namespace {
[[noreturn]] void outOfRange(std::string_view key, std::size_t count) {
    throw rt::Exception(rt::Exception::RangeError,
                        rt::format("Index key \"%@\" beyond bounds [0 .. %lu]", std::string(key), count));
}
}  // namespace

rt::Value valueForIndexKey(const Array& array, std::string_view key) {
    auto index = indexFromKey(key);
    if (index < 0 || static_cast<std::uint64_t>(index) >= array.size()) outOfRange(key, array.size());
    return array[static_cast<std::size_t>(index)];
}

void setValueForIndexKey(Array& array, const rt::Value& value, std::string_view key) {
    auto index = indexFromKey(key);
    if (index < 0 || static_cast<std::uint64_t>(index) > array.size()) outOfRange(key, array.size());
    auto position = static_cast<std::size_t>(index);
    if (value.isNil()) {
        if (position == array.size()) outOfRange(key, array.size());
        array.erase(array.begin() + static_cast<std::ptrdiff_t>(position));
    } else if (position == array.size()) {
        array.push_back(value);
    } else {
        array[position] = value;
    }
}

}  // namespace zid
