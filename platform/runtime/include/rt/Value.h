#pragma once
// rt::Value: an untyped object reference.
//
// It is nil, the null placeholder, a number that remembers its kind and compares by
// value across kinds, a UTF-8 string, bytes, a date, an array, an insertion-ordered
// dictionary, a class description, a small immutable structure (a type code and up to
// Value::InlineStructBytes bytes kept inline, see rt/StructValue.h), or a reference to
// an rt::Object (compared by identity, then isEqual). Arrays and dictionaries are
// immutable values shared on copy. Only one kind's storage exists at a time.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <rt/Object.h>

namespace rt {

class Class;
class Dictionary;

/// A moment in time: seconds since 1970-01-01 00:00:00 UTC.
struct Date {
    double secondsSince1970 = 0;
    static Date now();
    double timeIntervalSince(const Date& other) const { return secondsSince1970 - other.secondsSince1970; }
    Date addingTimeInterval(double seconds) const { return Date{secondsSince1970 + seconds}; }
    /// "YYYY-MM-DD HH:MM:SS +0000": the default description, always in UTC.
    std::string description() const;
    friend bool operator==(const Date& a, const Date& b) { return a.secondsSince1970 == b.secondsSince1970; }
    friend auto operator<=>(const Date& a, const Date& b) { return a.secondsSince1970 <=> b.secondsSince1970; }
};

/// A number with the kind it was made with.
class Number {
public:
    enum class Kind : std::uint8_t { Bool, Char, Short, Int, LongLong, UChar, UShort, UInt, ULongLong, Float, Double };

    Number() : kind_(Kind::Int) { i_ = 0; }
    static Number ofBool(bool v) { Number n; n.kind_ = Kind::Bool; n.i_ = v ? 1 : 0; return n; }
    static Number ofChar(signed char v) { Number n; n.kind_ = Kind::Char; n.i_ = v; return n; }
    static Number ofShort(short v) { Number n; n.kind_ = Kind::Short; n.i_ = v; return n; }
    static Number ofInt(int v) { Number n; n.kind_ = Kind::Int; n.i_ = v; return n; }
    static Number ofLongLong(long long v) { Number n; n.kind_ = Kind::LongLong; n.i_ = v; return n; }
    static Number ofUChar(unsigned char v) { Number n; n.kind_ = Kind::UChar; n.u_ = v; return n; }
    static Number ofUShort(unsigned short v) { Number n; n.kind_ = Kind::UShort; n.u_ = v; return n; }
    static Number ofUInt(unsigned v) { Number n; n.kind_ = Kind::UInt; n.u_ = v; return n; }
    static Number ofULongLong(unsigned long long v) { Number n; n.kind_ = Kind::ULongLong; n.u_ = v; return n; }
    static Number ofFloat(float v) { Number n; n.kind_ = Kind::Float; n.d_ = v; return n; }
    static Number ofDouble(double v) { Number n; n.kind_ = Kind::Double; n.d_ = v; return n; }

    /// The kind that fits a C++ arithmetic type.
    template <class T> static Number of(T v) {
        if constexpr (std::is_same_v<T, bool>) return ofBool(v);
        else if constexpr (std::is_floating_point_v<T>) return sizeof(T) == sizeof(float) ? ofFloat(float(v)) : ofDouble(double(v));
        else if constexpr (std::is_same_v<T, char> || std::is_same_v<T, signed char>) return ofChar(static_cast<signed char>(v));
        else if constexpr (std::is_same_v<T, unsigned char>) return ofUChar(v);
        else if constexpr (std::is_signed_v<T> && sizeof(T) == sizeof(short)) return ofShort(v);
        else if constexpr (std::is_unsigned_v<T> && sizeof(T) == sizeof(short)) return ofUShort(v);
        else if constexpr (std::is_signed_v<T> && sizeof(T) == sizeof(int)) return ofInt(v);
        else if constexpr (std::is_unsigned_v<T> && sizeof(T) == sizeof(int)) return ofUInt(v);
        else if constexpr (std::is_signed_v<T>) return ofLongLong(v);
        else return ofULongLong(v);
    }

    Kind kind() const { return kind_; }
    bool isFloatingPoint() const { return kind_ == Kind::Float || kind_ == Kind::Double; }
    bool isUnsigned() const {
        return kind_ == Kind::UChar || kind_ == Kind::UShort || kind_ == Kind::UInt || kind_ == Kind::ULongLong;
    }
    /// The type code of the kind: c s i q C S I Q f d B.
    char typeCode() const;

    bool boolValue() const;
    long long longLongValue() const;
    unsigned long long unsignedLongLongValue() const;
    int intValue() const { return static_cast<int>(longLongValue()); }
    double doubleValue() const;
    float floatValue() const { return static_cast<float>(doubleValue()); }

    /// Compares by value whatever the kinds: -1, 0, 1.
    int compare(const Number& other) const;
    bool operator==(const Number& other) const { return compare(other) == 0; }
    std::size_t hash() const;
    /// "1", "-3", "0.5", "1" for YES.
    std::string description() const;

private:
    Kind kind_;
    union {
        long long i_;
        unsigned long long u_;
        double d_;
    };
};

/// Bytes.
using Data = std::vector<std::uint8_t>;

/// What the runtime knows of a structure kind: registered once per type code by
/// rt::structTypeOf<T>() (rt/StructValue.h).
struct StructType {
    std::string code;
    std::size_t size = 0;
    bool (*equal)(const void* a, const void* b) = nullptr;
    std::size_t (*hash)(const void* bytes) = nullptr;
    std::string (*describe)(const void* bytes) = nullptr;
    /// Writes the value progress of the way from from to to into out; null when the
    /// kind does not interpolate.
    void (*interpolate)(const void* from, const void* to, double progress, void* out) = nullptr;
};

class Value {
public:
    enum class Type : std::uint8_t { Nil, Null, Number, String, Data, Date, Array, Dictionary, Object, Class, Struct };
    using Array = std::vector<Value>;
    /// The largest structure kept inside a Value (six doubles: an affine transform).
    static constexpr std::size_t InlineStructBytes = 48;

    Value() {}
    Value(std::nullptr_t) {}
    Value(const Value& other) { copy(other); }
    Value(Value&& other) noexcept { take(other); }
    Value& operator=(const Value& other);
    Value& operator=(Value&& other) noexcept;
    ~Value() { release(); }
    /// The null placeholder that collections hold in place of nil.
    static Value null();

    // Inline: a caller that has just made the number (a setter's new value) would
    // otherwise have it read back from memory at once, which waits for its stores.
    Value(const Number& n) : type_(Type::Number) { new (&storage_.number) Number(n); }
    template <class T, std::enable_if_t<std::is_arithmetic_v<T>, int> = 0>
    Value(T v) : Value(Number::of(v)) {}
    Value(std::string s);
    Value(std::string_view s) : Value(std::string(s)) {}
    Value(const char* s);
    Value(Data d);
    Value(Date d);
    Value(Array a);
    Value(std::initializer_list<Value> a) : Value(Array(a)) {}
    Value(const Dictionary& d);
    Value(const Class* cls);
    Value(const Class& cls) : Value(&cls) {}
    template <class T, std::enable_if_t<std::is_base_of_v<Object, T>, int> = 0>
    Value(const Ref<T>& object) : Value(std::static_pointer_cast<Object>(std::const_pointer_cast<std::remove_const_t<T>>(object)), 0) {}

    Type type() const { return type_; }
    bool isNil() const { return type_ == Type::Nil; }
    bool isNull() const { return type_ == Type::Null; }
    /// Nil or the null placeholder.
    bool isNilOrNull() const { return type_ == Type::Nil || type_ == Type::Null; }
    explicit operator bool() const { return !isNil(); }
    bool isNumber() const { return type_ == Type::Number; }
    bool isString() const { return type_ == Type::String; }
    bool isData() const { return type_ == Type::Data; }
    bool isDate() const { return type_ == Type::Date; }
    bool isArray() const { return type_ == Type::Array; }
    bool isDictionary() const { return type_ == Type::Dictionary; }
    bool isObject() const { return type_ == Type::Object; }
    bool isClass() const { return type_ == Type::Class; }
    bool isStruct() const { return type_ == Type::Struct; }

    /// A structure value of a registered kind (see rt::structTypeOf); size must be the
    /// kind's size and at most InlineStructBytes.
    static Value ofStruct(std::uint32_t structType, const void* bytes, std::size_t size);
    /// The registered kind of a structure value (0 for other values).
    std::uint32_t structTypeId() const { return type_ == Type::Struct ? structType_ : 0; }
    /// The kind's type code ("" for other values).
    std::string_view structCode() const;
    /// The structure's bytes (nullptr for other values) and their number.
    const void* structBytes() const { return type_ == Type::Struct ? storage_.bytes : nullptr; }
    std::size_t structSize() const { return type_ == Type::Struct ? structSize_ : 0; }

    // Typed reads answer the zero of the type when the value is of another type.
    const Number* number() const;
    Number numberValue() const;
    bool boolValue() const;
    long long longLongValue() const;
    int intValue() const { return static_cast<int>(longLongValue()); }
    double doubleValue() const;
    const std::string& string() const;
    const Data& data() const;
    Date date() const;
    const Array& array() const;
    const Dictionary& dictionary() const;
    const Class* cls() const;
    Ref<Object> object() const;
    template <class T> Ref<T> as() const { return std::dynamic_pointer_cast<T>(object()); }

    /// Equality: numbers by value across kinds, strings/data/dates/collections by
    /// contents, objects by identity then isEqual, classes by identity.
    bool isEqual(const Value& other) const;
    /// Identity: the same object, the same shared collection storage, or equal scalars.
    bool isIdentical(const Value& other) const;
    std::size_t hash() const;
    /// The text form used by %@: "(null)" for nil, "<null>" for the null placeholder,
    /// class names for classes, an object's description().
    std::string description() const;

    friend bool operator==(const Value& a, const Value& b) { return a.isEqual(b); }

private:
    Value(Ref<Object> object, int);
    bool holdsPointer() const {
        return type_ == Type::String || type_ == Type::Data || type_ == Type::Array || type_ == Type::Dictionary ||
               type_ == Type::Object;
    }
    void release() noexcept {
        if (holdsPointer()) storage_.ptr.~shared_ptr();
        type_ = Type::Nil;
    }
    // Takes other's contents; this holds nothing before, other is nil after. Scalars
    // and structures copy the whole storage: a fixed size compiles to a few moves.
    void take(Value& other) noexcept {
        type_ = other.type_;
        structSize_ = other.structSize_;
        structType_ = other.structType_;
        if (other.holdsPointer()) {
            new (&storage_.ptr) std::shared_ptr<const void>(std::move(other.storage_.ptr));
            other.release();
        } else {
            std::memcpy(storage_.bytes, other.storage_.bytes, sizeof storage_.bytes);
            other.type_ = Type::Nil;
        }
    }
    void copy(const Value& other) {
        type_ = other.type_;
        structSize_ = other.structSize_;
        structType_ = other.structType_;
        if (other.holdsPointer()) new (&storage_.ptr) std::shared_ptr<const void>(other.storage_.ptr);
        else std::memcpy(storage_.bytes, other.storage_.bytes, sizeof storage_.bytes);
    }

    union Storage {
        Storage() : date(0) {}
        ~Storage() {}
        Number number;
        std::shared_ptr<const void> ptr;  // string, data, array, dictionary, or the object
        double date;
        const Class* cls;
        alignas(8) unsigned char bytes[InlineStructBytes];
    } storage_;
    Type type_ = Type::Nil;
    std::uint8_t structSize_ = 0;
    std::uint32_t structType_ = 0;
};

namespace detail {
/// Registers a structure kind, or answers the id its code already has.
std::uint32_t registerStructType(StructType type);
/// The kind of a registered id (ids come from registerStructType).
const StructType& structType(std::uint32_t id);
/// The id of a registered code, 0 when none is registered.
std::uint32_t structTypeNamed(std::string_view code);
}  // namespace detail

struct ValueHash {
    std::size_t operator()(const Value& v) const { return v.hash(); }
};

/// An insertion-ordered dictionary; equal keys (by isEqual) replace in place.
class Dictionary {
public:
    Dictionary() = default;
    Dictionary(std::initializer_list<std::pair<Value, Value>> entries);
    /// The entries in their order, when no two keys are equal (the caller knows: the
    /// keys of a parsed object, say): no key is looked for among those before it, so a
    /// dictionary of n entries costs n steps rather than n squared.
    static Dictionary withDistinctKeys(std::vector<std::pair<Value, Value>> entries);

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    /// Nil when the key is absent.
    Value get(const Value& key) const;
    bool contains(const Value& key) const;
    /// Setting nil removes the key.
    void set(const Value& key, const Value& value);
    void remove(const Value& key);
    const std::vector<std::pair<Value, Value>>& entries() const { return entries_; }
    std::vector<Value> keys() const;
    std::vector<Value> values() const;
    bool isEqual(const Dictionary& other) const;

private:
    std::ptrdiff_t indexOf(const Value& key) const;
    std::vector<std::pair<Value, Value>> entries_;
};

}  // namespace rt
