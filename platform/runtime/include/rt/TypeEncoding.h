#pragma once
// Type codes of dynamic messages, derived from C++ types by templates.
//
//   v void   B bool   c signed char   C unsigned char   s short   S unsigned short
//   i int    I unsigned int    q long long (and 64-bit long)    Q their unsigned forms
//   f float  d double   @ an object reference (rt::Value, rt::Number, rt::Ref<T>, T& of an
//   rt::Object, std::string, a string literal)   # a class (const rt::Class*)   : a selector   * a C string
//   ^v a pointer   {Name} a trivially copyable structure, passed as raw bytes
//
// A leading 'r' marks a const object or string (rt::Ref<const T>, const char*). A method's
// type encoding is its result's code, "@:" (receiver and selector), then one code per
// argument: methodTypes<bool(int, rt::Value)>() == "B@:i@".

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>

#include <rt/Object.h>
#include <rt/Selector.h>

namespace rt {

class Value;
class Number;

namespace encoding {

enum class Kind { Void, Object, Class, Selector, Number, CString, Pointer, Struct, Unknown };

/// The code without its leading qualifiers (r n N o O R V).
std::string_view stripQualifiers(std::string_view code);
Kind kindOf(std::string_view code);
/// Length of the first complete code at the start of text, qualifiers included (0 when
/// the text does not start with a well-formed code).
std::size_t codeLengthOf(std::string_view text);
/// Bytes a value of the code takes in an argument or result buffer (0 for "v" and for
/// codes whose size cannot be known).
std::size_t sizeOf(std::string_view code);
std::size_t alignOf(std::string_view code);
/// Remembers the layout of a structure code; done by structCode<T>() for C++ structures.
void registerStruct(const std::string& code, std::size_t size, std::size_t align);
/// A readable, stable name for a C++ type (demangled).
std::string typeName(const std::type_info& type);

template <class T> struct IsRef : std::false_type {};
template <class Pointee> struct IsRef<std::shared_ptr<Pointee>> : std::true_type {};

template <class T> std::string structCode() {
    static const std::string code = [] {
        std::string c = "{" + typeName(typeid(T)) + "}";
        registerStruct(c, sizeof(T), alignof(T));
        return c;
    }();
    return code;
}

}  // namespace encoding

/// The code of a C++ type (references and cv-qualifiers of the type itself ignored).
template <class T> std::string typeEncoding() {
    using Bare = std::remove_cvref_t<T>;
    if constexpr (std::is_void_v<Bare>) return "v";
    else if constexpr (std::is_same_v<Bare, bool>) return "B";
    else if constexpr (std::is_enum_v<Bare>) return typeEncoding<std::underlying_type_t<Bare>>();
    else if constexpr (std::is_same_v<Bare, char> || std::is_same_v<Bare, signed char>) return "c";
    else if constexpr (std::is_same_v<Bare, unsigned char>) return "C";
    else if constexpr (std::is_integral_v<Bare> && sizeof(Bare) == 2) return std::is_signed_v<Bare> ? "s" : "S";
    else if constexpr (std::is_integral_v<Bare> && sizeof(Bare) == 4) return std::is_signed_v<Bare> ? "i" : "I";
    else if constexpr (std::is_integral_v<Bare> && sizeof(Bare) == 8) return std::is_signed_v<Bare> ? "q" : "Q";
    else if constexpr (std::is_same_v<Bare, float>) return "f";
    else if constexpr (std::is_same_v<Bare, double>) return "d";
    else if constexpr (std::is_same_v<Bare, Value> || std::is_same_v<Bare, std::string> || std::is_same_v<Bare, Number>)
        return "@";
    else if constexpr (std::is_array_v<Bare> && std::is_same_v<std::remove_cv_t<std::remove_extent_t<Bare>>, char>)
        return "@";
    else if constexpr (encoding::IsRef<Bare>::value) return std::is_const_v<typename Bare::element_type> ? "r@" : "@";
    else if constexpr (std::is_base_of_v<Object, Bare>) return "@";
    else if constexpr (std::is_same_v<Bare, const Class*> || std::is_same_v<Bare, Class*>) return "#";
    else if constexpr (std::is_same_v<Bare, Selector>) return ":";
    else if constexpr (std::is_same_v<Bare, const char*>) return "r*";
    else if constexpr (std::is_same_v<Bare, char*>) return "*";
    else if constexpr (std::is_pointer_v<Bare>) return "^v";
    else {
        static_assert(std::is_trivially_copyable_v<Bare>, "dynamic messages pass structures as raw bytes");
        return encoding::structCode<Bare>();
    }
}

template <class Result, class... Args> std::string methodTypes() {
    std::string types = typeEncoding<Result>() + "@:";
    ((types += typeEncoding<Args>()), ...);
    return types;
}

namespace encoding {
template <class Sig> struct TypesOf;
template <class Result, class... Args> struct TypesOf<Result(Args...)> {
    static std::string get() { return methodTypes<Result, Args...>(); }
};
}  // namespace encoding

/// The type encoding of a function type: methodTypesOf<void(int)>() == "v@:i".
template <class Sig> std::string methodTypesOf() { return encoding::TypesOf<Sig>::get(); }

}  // namespace rt
