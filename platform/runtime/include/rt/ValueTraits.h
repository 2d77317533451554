#pragma once
// Conversions between typed C++ property values and rt::Value, used by key-value
// coding to reach typed getters and setters.
//
// toValue never fails. fromValue treats nil and the null placeholder as the zero of
// the type (0, false, "", an empty reference); a value of an unrelated type is a
// caller mistake and raises Exception::InvalidArgument.

#include <map>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include <rt/Exception.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace rt {

namespace detail {
[[noreturn]] void raiseValueMismatch(const Value& value, const char* expected);
}  // namespace detail

template <class T, class Enable = void> struct ValueTraits;

template <> struct ValueTraits<Value> {
    static Value toValue(const Value& v) { return v; }
    static Value fromValue(const Value& v) { return v; }
};

template <> struct ValueTraits<bool> {
    static Value toValue(bool v) { return Value(v); }
    static bool fromValue(const Value& v) {
        if (v.isNilOrNull()) return false;
        if (!v.isNumber()) detail::raiseValueMismatch(v, "a number");
        return v.boolValue();
    }
};

template <class T>
struct ValueTraits<T, std::enable_if_t<std::is_arithmetic_v<T> && !std::is_same_v<T, bool>>> {
    static Value toValue(T v) { return Value(v); }
    static T fromValue(const Value& v) {
        if (v.isNilOrNull()) return T{};
        const Number* n = v.number();
        if (!n) detail::raiseValueMismatch(v, "a number");
        if constexpr (std::is_floating_point_v<T>) return static_cast<T>(n->doubleValue());
        else if constexpr (std::is_unsigned_v<T>) return static_cast<T>(n->unsignedLongLongValue());
        else return static_cast<T>(n->longLongValue());
    }
};

/// Enumerations travel as their integer value.
template <class T> struct ValueTraits<T, std::enable_if_t<std::is_enum_v<T>>> {
    using Underlying = std::underlying_type_t<T>;
    static Value toValue(T v) { return Value(static_cast<Underlying>(v)); }
    static T fromValue(const Value& v) { return static_cast<T>(ValueTraits<Underlying>::fromValue(v)); }
};

template <> struct ValueTraits<std::string> {
    static Value toValue(const std::string& v) { return Value(v); }
    static std::string fromValue(const Value& v) {
        if (v.isNilOrNull()) return {};
        if (!v.isString()) detail::raiseValueMismatch(v, "a string");
        return v.string();
    }
};

template <> struct ValueTraits<Date> {
    static Value toValue(const Date& v) { return Value(v); }
    static Date fromValue(const Value& v) {
        if (v.isNilOrNull()) return {};
        if (!v.isDate()) detail::raiseValueMismatch(v, "a date");
        return v.date();
    }
};

template <> struct ValueTraits<Data> {
    static Value toValue(const Data& v) { return Value(v); }
    static Data fromValue(const Value& v) {
        if (v.isNilOrNull()) return {};
        if (!v.isData()) detail::raiseValueMismatch(v, "data");
        return v.data();
    }
};

template <> struct ValueTraits<Dictionary> {
    static Value toValue(const Dictionary& v) { return Value(v); }
    static Dictionary fromValue(const Value& v) {
        if (v.isNilOrNull()) return {};
        if (!v.isDictionary()) detail::raiseValueMismatch(v, "a dictionary");
        return v.dictionary();
    }
};

/// References to objects; an object of another class is refused rather than read as
/// an empty reference, so that a wrong binding shows up where it is made.
template <class T> struct ValueTraits<Ref<T>, std::enable_if_t<std::is_base_of_v<Object, T>>> {
    static Value toValue(const Ref<T>& v) { return v ? Value(v) : Value(); }
    static Ref<T> fromValue(const Value& v) {
        if (v.isNilOrNull()) return nullptr;
        if (!v.isObject()) detail::raiseValueMismatch(v, "an object");
        auto typed = std::dynamic_pointer_cast<T>(v.object());
        if (!typed) detail::raiseValueMismatch(v, typeid(T).name());
        return typed;
    }
};

/// Arrays: element by element; the null placeholder inside an array stays an element
/// only for arrays of Value.
template <class T> struct ValueTraits<std::vector<T>, std::enable_if_t<!std::is_same_v<T, std::uint8_t>>> {
    static Value toValue(const std::vector<T>& v) {
        Value::Array out;
        out.reserve(v.size());
        for (const auto& element : v) out.push_back(ValueTraits<T>::toValue(element));
        return Value(std::move(out));
    }
    static std::vector<T> fromValue(const Value& v) {
        if (v.isNilOrNull()) return {};
        if (!v.isArray()) detail::raiseValueMismatch(v, "an array");
        std::vector<T> out;
        out.reserve(v.array().size());
        for (const auto& element : v.array()) out.push_back(ValueTraits<T>::fromValue(element));
        return out;
    }
};

/// String-keyed maps become dictionaries (keys in the map's order).
template <class T> struct ValueTraits<std::map<std::string, T>> {
    static Value toValue(const std::map<std::string, T>& v) {
        Dictionary out;
        for (const auto& [key, element] : v) out.set(Value(key), ValueTraits<T>::toValue(element));
        return Value(out);
    }
    static std::map<std::string, T> fromValue(const Value& v) {
        if (v.isNilOrNull()) return {};
        if (!v.isDictionary()) detail::raiseValueMismatch(v, "a dictionary");
        std::map<std::string, T> out;
        for (const auto& [key, element] : v.dictionary().entries()) {
            if (!key.isString()) detail::raiseValueMismatch(key, "a string key");
            out.emplace(key.string(), ValueTraits<T>::fromValue(element));
        }
        return out;
    }
};

template <class T> Value toValue(const T& v) { return ValueTraits<std::decay_t<T>>::toValue(v); }
template <class T> T fromValue(const Value& v) { return ValueTraits<T>::fromValue(v); }

}  // namespace rt
