#pragma once
// A message captured as data: a signature, a selector, a target, one buffer per
// argument and one for the result. Arguments are numbered as in the signature: 0 is the
// receiver, 1 the selector, 2 the first argument of the message.
//
// Typed access converts between the C++ type and the slot's type code: numbers convert
// across kinds, objects travel as rt::Value (rt::Ref<T>, T& and std::string convert
// through it), structures and pointers copy their bytes when the codes agree. Anything
// else raises InvalidArgumentException naming the argument.

#include <cstddef>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <rt/Exception.h>
#include <rt/MethodSignature.h>
#include <rt/Selector.h>
#include <rt/TypeEncoding.h>
#include <rt/Value.h>

namespace rt {

class Invocation : public Object {
    RT_CLASS(Invocation, Object)
public:
    static constexpr std::size_t ReturnSlot = static_cast<std::size_t>(-1);

    explicit Invocation(MethodSignature signature);
    static Ref<Invocation> invocationWithMethodSignature(MethodSignature signature);

    const MethodSignature& methodSignature() const { return signature_; }
    Selector selector() const { return selector_; }
    void setSelector(Selector selector) { selector_ = selector; }
    /// The receiver, held strongly. A class receiver (class methods) reads as nil here.
    Ref<Object> target() const { return target_; }
    void setTarget(Ref<Object> target) { target_ = std::move(target); }
    const Class* targetClass() const { return targetClass_; }
    void setTargetClass(const Class* cls) { targetClass_ = cls; }

    /// Sends the message to target() (or targetClass()): its implementation runs with
    /// this invocation's arguments and leaves its result here. A target whose class
    /// lacks the method forwards the invocation when it can (rt::Forwarding); otherwise
    /// raises InvalidArgumentException ("unrecognized selector").
    void invoke();
    void invokeWithTarget(Object& target);

    template <class T> void setArgument(std::size_t index, T&& value) { put(index, std::forward<T>(value)); }
    template <class T> decltype(auto) getArgument(std::size_t index) const { return take<T>(index); }
    template <class T> void setReturnValue(T&& value) { put(ReturnSlot, std::forward<T>(value)); }
    template <class T> decltype(auto) getReturnValue() const { return take<T>(ReturnSlot); }

    /// The buffer of an argument or of the result (ReturnSlot): an rt::Value for object
    /// codes, raw bytes of the code's size otherwise; nullptr for a void result.
    void* buffer(std::size_t index);
    const void* buffer(std::size_t index) const;
    /// The slot's type code as the signature gives it (qualifiers included).
    const std::string& typeCode(std::size_t index) const;
    /// Clears every argument and the result to zero / nil.
    void clear();

    std::string description() const override;

    // ---- untyped access used by the typed one -------------------------------------
    // kind is the kind of the C++ side; src/dst point to a Number for numbers, a Value for
    // objects, a const Class* for classes, a Selector, or raw bytes of code's size.
    void store(std::size_t index, encoding::Kind kind, std::string_view code, const void* src);
    void load(std::size_t index, encoding::Kind kind, std::string_view code, void* dst) const;

private:
    struct Slot {
        std::string code;
        encoding::Kind kind = encoding::Kind::Void;
        Value object;
        std::vector<std::max_align_t> raw;
        void* bytes() { return raw.empty() ? nullptr : raw.data(); }
        const void* bytes() const { return raw.empty() ? nullptr : raw.data(); }
    };
    Slot& slotAt(std::size_t index);
    const Slot& slotAt(std::size_t index) const;
    [[noreturn]] void mismatch(std::size_t index, std::string_view code) const;

    template <class T> void put(std::size_t index, T&& value);
    template <class T> decltype(auto) take(std::size_t index) const;

    MethodSignature signature_;
    Selector selector_;
    Ref<Object> target_;
    const Class* targetClass_ = nullptr;
    std::vector<Slot> arguments_;
    Slot result_;
};

namespace detail {
template <class T> constexpr encoding::Kind cppKind() {
    using Bare = std::remove_cvref_t<T>;
    if constexpr (std::is_arithmetic_v<Bare> || std::is_enum_v<Bare> || std::is_same_v<Bare, Number>)
        return encoding::Kind::Number;
    else if constexpr (std::is_same_v<Bare, Value> || std::is_same_v<Bare, std::string> ||
                       encoding::IsRef<Bare>::value || std::is_base_of_v<Object, Bare> || std::is_array_v<Bare>)
        return encoding::Kind::Object;
    else if constexpr (std::is_same_v<Bare, const Class*> || std::is_same_v<Bare, Class*>) return encoding::Kind::Class;
    else if constexpr (std::is_same_v<Bare, Selector>) return encoding::Kind::Selector;
    else if constexpr (std::is_same_v<Bare, const char*> || std::is_same_v<Bare, char*>) return encoding::Kind::CString;
    else if constexpr (std::is_pointer_v<Bare>) return encoding::Kind::Pointer;
    else return encoding::Kind::Struct;
}
}  // namespace detail

template <class T> void Invocation::put(std::size_t index, T&& value) {
    using Bare = std::remove_cvref_t<T>;
    constexpr auto kind = detail::cppKind<Bare>();
    const std::string code = typeEncoding<Bare>();
    if constexpr (kind == encoding::Kind::Number) {
        Number n;
        if constexpr (std::is_same_v<Bare, Number>) n = value;
        else if constexpr (std::is_enum_v<Bare>) n = Number::of(static_cast<std::underlying_type_t<Bare>>(value));
        else n = Number::of(value);
        store(index, kind, code, &n);
    } else if constexpr (kind == encoding::Kind::Object) {
        Value v;
        if constexpr (std::is_base_of_v<Object, Bare>) v = Value(const_cast<Bare&>(value).self());
        else if constexpr (std::is_array_v<Bare>) v = Value(std::string(value));
        else v = Value(value);
        store(index, kind, code, &v);
    } else if constexpr (kind == encoding::Kind::Class) {
        const Class* c = value;
        store(index, kind, code, &c);
    } else {
        Bare copy = value;
        store(index, kind, code, &copy);
    }
}

template <class T> decltype(auto) Invocation::take(std::size_t index) const {
    using Bare = std::remove_cvref_t<T>;
    constexpr auto kind = detail::cppKind<Bare>();
    const std::string code = typeEncoding<Bare>();
    if constexpr (kind == encoding::Kind::Number) {
        Number n;
        load(index, kind, code, &n);
        if constexpr (std::is_same_v<Bare, Number>) return n;
        else if constexpr (std::is_same_v<Bare, bool>) return n.boolValue();
        else if constexpr (std::is_enum_v<Bare>) return static_cast<Bare>(n.longLongValue());
        else if constexpr (std::is_floating_point_v<Bare>) return static_cast<Bare>(n.doubleValue());
        else if constexpr (std::is_unsigned_v<Bare>) return static_cast<Bare>(n.unsignedLongLongValue());
        else return static_cast<Bare>(n.longLongValue());
    } else if constexpr (kind == encoding::Kind::Object) {
        Value v;
        load(index, kind, code, &v);
        if constexpr (std::is_same_v<Bare, Value>) return v;
        else if constexpr (std::is_same_v<Bare, std::string>)
            return std::string(v.isString() ? v.string() : std::string());
        else if constexpr (encoding::IsRef<Bare>::value)
            return v.template as<std::remove_const_t<typename Bare::element_type>>();
        else {
            // T& of an object: the slot keeps the object alive while the invocation lives.
            auto object = v.template as<std::remove_const_t<Bare>>();
            if (!object) mismatch(index, code);
            return static_cast<T>(*object);
        }
    } else {
        Bare out{};
        load(index, kind, code, &out);
        return out;
    }
}

}  // namespace rt
