#pragma once
// Small immutable structures as values, and interpolation for animations.
//
// A layer makes its own structure a value kind by specialising rt::StructTraits next
// to the structure (the runtime knows none of them):
//
//     namespace ui { struct Point { double x = 0, y = 0; bool operator==(const Point&) const = default; }; }
//     template <> struct rt::StructTraits<ui::Point> {
//         static constexpr const char* code = "ui::Point";                // unique, stable
//         static std::string describe(const ui::Point& p);                // optional: "{1, 2}"
//         static std::size_t hash(const ui::Point& p);                    // optional
//     };
//     template <> struct rt::Interpolation<ui::Point> {                   // optional
//         static ui::Point interpolate(const ui::Point& a, const ui::Point& b, double t);
//     };
//
// Such a structure crosses rt::Value (and so key-value coding, typed keys, bindings)
// inside the value itself: no heap object for anything up to Value::InlineStructBytes.
// It must be trivially copyable. Values compare with the structure's operator== (bytes
// when it has none); give a hash when equal values can differ in bytes (0.0 and -0.0)
// and the values are used as dictionary keys, otherwise equal kinds hash alike.
//
// rt::interpolate(from, to, progress) is what an animation engine calls for any
// property it reads through key-value coding: numbers, dates and structures with an
// Interpolation move smoothly; other values switch from `from` to `to` at the end.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

#include <rt/Value.h>
#include <rt/ValueTraits.h>

namespace rt {

template <class T> struct StructTraits;

template <class T>
concept StructKind = requires {
    { StructTraits<T>::code } -> std::convertible_to<const char*>;
} && std::is_trivially_copyable_v<T> && (sizeof(T) <= Value::InlineStructBytes);

/// Values of type T move from a to b as t goes from 0 to 1.
template <class T, class Enable = void> struct Interpolation;

template <class T> struct Interpolation<T, std::enable_if_t<std::is_floating_point_v<T>>> {
    static T interpolate(T a, T b, double t) { return static_cast<T>(a + (b - a) * t); }
};

template <class T> struct Interpolation<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>> {
    static T interpolate(T a, T b, double t) {
        double v = static_cast<double>(a) + (static_cast<double>(b) - static_cast<double>(a)) * t;
        return static_cast<T>(v < 0 ? v - 0.5 : v + 0.5);  // nearest
    }
};

template <> struct Interpolation<Date> {
    static Date interpolate(const Date& a, const Date& b, double t) {
        return Date{a.secondsSince1970 + (b.secondsSince1970 - a.secondsSince1970) * t};
    }
};

template <class T>
concept Interpolable = requires(const T& a, double t) {
    { Interpolation<T>::interpolate(a, a, t) } -> std::convertible_to<T>;
};

/// Registers T's kind on first use; answers its id.
template <StructKind T> std::uint32_t structTypeOf() {
    static const std::uint32_t id = [] {
        StructType kind;
        kind.code = StructTraits<T>::code;
        kind.size = sizeof(T);
        kind.equal = [](const void* a, const void* b) {
            if constexpr (std::equality_comparable<T>) {
                T x, y;
                std::memcpy(&x, a, sizeof x);
                std::memcpy(&y, b, sizeof y);
                return x == y;
            } else {
                return std::memcmp(a, b, sizeof(T)) == 0;
            }
        };
        kind.hash = [](const void* bytes) -> std::size_t {
            if constexpr (requires(const T& v) { { StructTraits<T>::hash(v) } -> std::convertible_to<std::size_t>; }) {
                T v;
                std::memcpy(&v, bytes, sizeof v);
                return StructTraits<T>::hash(v);
            } else if constexpr (!std::equality_comparable<T> || std::has_unique_object_representations_v<T>) {
                return std::hash<std::string_view>()(std::string_view(static_cast<const char*>(bytes), sizeof(T)));
            } else {
                return std::hash<std::string_view>()(StructTraits<T>::code);  // equal values must hash alike
            }
        };
        kind.describe = [](const void* bytes) -> std::string {
            if constexpr (requires(const T& v) { { StructTraits<T>::describe(v) } -> std::convertible_to<std::string>; }) {
                T v;
                std::memcpy(&v, bytes, sizeof v);
                return StructTraits<T>::describe(v);
            } else {
                static const char digits[] = "0123456789abcdef";
                std::string out = std::string("<") + StructTraits<T>::code + ":";
                auto* p = static_cast<const unsigned char*>(bytes);
                for (std::size_t i = 0; i < sizeof(T); ++i) {
                    if (i % 4 == 0) out += ' ';
                    out += digits[p[i] >> 4];
                    out += digits[p[i] & 15];
                }
                return out + ">";
            }
        };
        if constexpr (Interpolable<T>) {
            kind.interpolate = [](const void* from, const void* to, double progress, void* out) {
                T a, b;
                std::memcpy(&a, from, sizeof a);
                std::memcpy(&b, to, sizeof b);
                T r = Interpolation<T>::interpolate(a, b, progress);
                std::memcpy(out, &r, sizeof r);
            };
        }
        return detail::registerStructType(std::move(kind));
    }();
    return id;
}

/// The value of a structure.
template <StructKind T> Value structValue(const T& v) { return Value::ofStruct(structTypeOf<T>(), &v, sizeof v); }

/// The structure a value holds, when it holds a T.
template <StructKind T> bool structFrom(const Value& value, T& out) {
    if (!value.isStruct() || value.structTypeId() != structTypeOf<T>()) return false;
    std::memcpy(&out, value.structBytes(), sizeof out);
    return true;
}

/// Structures cross key-value coding as structure values; nil reads as the zero
/// structure, another kind of value is refused.
template <StructKind T> struct ValueTraits<T, void> {
    static Value toValue(const T& v) { return structValue(v); }
    static T fromValue(const Value& v) {
        T out{};
        if (v.isNilOrNull() || structFrom(v, out)) return out;
        detail::raiseValueMismatch(v, StructTraits<T>::code);
    }
};

/// The value progress (0 to 1, may overshoot) of the way from from to to: numbers
/// (integers of one kind stay integers, rounded), dates and structures of one kind
/// that interpolate move smoothly; anything else is from until progress reaches 1.
Value interpolate(const Value& from, const Value& to, double progress);

}  // namespace rt
