#pragma once
// A boxed value of a type that is not an object or a number (a structure, a pointer, a
// selector, a 32-bit long): its raw bytes and its type code.

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <rt/Exception.h>
#include <rt/TypeEncoding.h>

namespace rt {

class ValueBox : public Object {
    RT_CLASS(ValueBox, Object)
public:
    /// Copies the code's size of bytes; raises InvalidArgumentException for a code whose
    /// size is unknown. A leading 'r' is not kept.
    ValueBox(const void* bytes, std::string_view typeCode);
    static Ref<ValueBox> valueWithBytes(const void* bytes, std::string_view typeCode) {
        return make<ValueBox>(bytes, typeCode);
    }
    template <class T> static Ref<ValueBox> of(const T& value) { return valueWithBytes(&value, typeEncoding<T>()); }

    const std::string& typeCode() const { return typeCode_; }
    std::size_t size() const { return bytes_.size(); }
    const unsigned char* bytes() const { return bytes_.data(); }
    /// Copies the bytes out (size() of them).
    void getValue(void* out) const { std::memcpy(out, bytes_.data(), bytes_.size()); }
    /// The value as T; raises InvalidArgumentException when T's code is another one.
    template <class T> T get() const {
        if (encoding::stripQualifiers(typeEncoding<T>()) != typeCode_ || sizeof(T) != bytes_.size())
            throw Exception(Exception::InvalidArgument, "The box holds \"" + typeCode_ + "\", not \"" + typeEncoding<T>() + "\"");
        T out;
        std::memcpy(&out, bytes_.data(), sizeof out);
        return out;
    }

    bool isEqual(const Object& other) const override;
    std::size_t hash() const override;
    /// "<0a000000 00000000>"-style bytes in hex.
    std::string description() const override;

private:
    std::string typeCode_;
    std::vector<unsigned char> bytes_;
};

}  // namespace rt
