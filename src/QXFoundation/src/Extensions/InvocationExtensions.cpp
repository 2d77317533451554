#include <QXFoundation/Extensions/InvocationExtensions.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <rt/Exception.h>
#include <rt/ValueBox.h>

namespace zid {

namespace {

constexpr std::size_t Hidden = 2;  // the receiver and the selector

std::string_view codeOf(const rt::Invocation& invocation, std::size_t slot) {
    std::string_view code = invocation.typeCode(slot);
    if (!code.empty() && code.front() == 'r') code.remove_prefix(1);
    return code;
}

bool isNumberCode(std::string_view code) {
    return code.size() == 1 && std::string_view("cisqCISQfdB").find(code[0]) != std::string_view::npos;
}

template <class T> T read(const void* bytes) {
    T v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

rt::Value box(const rt::Invocation& invocation, std::size_t slot) {
    const std::string_view code = codeOf(invocation, slot);
    const void* bytes = invocation.buffer(slot);
    // Every object code, also one naming its class, is the object itself: an object
    // travels as a reference, never as bytes.
    if (rt::encoding::kindOf(code) == rt::encoding::Kind::Object) return *static_cast<const rt::Value*>(bytes);
    if (code == "v") return rt::Value();
    if (code == "#") {
        auto cls = read<const rt::Class*>(bytes);
        return cls ? rt::Value(cls) : rt::Value();
    }
    if (isNumberCode(code)) {
        switch (code[0]) {
        case 'c': return rt::Value(rt::Number::ofChar(read<signed char>(bytes)));
        case 'i': return rt::Value(rt::Number::ofInt(read<std::int32_t>(bytes)));
        case 's': return rt::Value(rt::Number::ofShort(read<short>(bytes)));
        case 'q': return rt::Value(rt::Number::ofLongLong(read<long long>(bytes)));
        case 'C': return rt::Value(rt::Number::ofUChar(read<unsigned char>(bytes)));
        case 'I': return rt::Value(rt::Number::ofUInt(read<std::uint32_t>(bytes)));
        case 'S': return rt::Value(rt::Number::ofUShort(read<unsigned short>(bytes)));
        case 'Q': return rt::Value(rt::Number::ofULongLong(read<unsigned long long>(bytes)));
        case 'f': return rt::Value(rt::Number::ofFloat(read<float>(bytes)));
        case 'd': return rt::Value(rt::Number::ofDouble(read<double>(bytes)));
        case 'B': return rt::Value(rt::Number::ofBool(read<bool>(bytes)));
        }
    }
    return rt::Value(rt::ValueBox::valueWithBytes(bytes, code));
}

/// A string's leading number, read the way the number code wants it.
rt::Number numberFromString(const std::string& text, char code) {
    const char* s = text.c_str();
    switch (code) {
    case 'f': case 'd': return rt::Number::ofDouble(std::strtod(s, nullptr));
    case 'B': {
        while (std::isspace(static_cast<unsigned char>(*s))) ++s;
        if (*s == '+' || *s == '-') ++s;
        while (*s == '0') ++s;
        char c = static_cast<char>(std::toupper(static_cast<unsigned char>(*s)));
        return rt::Number::ofBool(c == 'Y' || c == 'T' || (c >= '1' && c <= '9'));
    }
    case 'Q': case 'I': case 'S': case 'C':
        if (text.find('-') == std::string::npos) return rt::Number::ofULongLong(std::strtoull(s, nullptr, 10));
        [[fallthrough]];
    default: return rt::Number::ofLongLong(std::strtoll(s, nullptr, 10));
    }
}

}  // namespace

std::size_t numberOfArguments(const rt::Invocation& invocation) {
    return invocation.methodSignature().numberOfArguments() - Hidden;
}

rt::Value returnValue(const rt::Invocation& invocation) { return box(invocation, rt::Invocation::ReturnSlot); }

rt::Value argumentObjectAtIndex(const rt::Invocation& invocation, std::size_t index) {
    return box(invocation, index + Hidden);
}

void setObject(rt::Invocation& invocation, const rt::Value& object, std::size_t asArgumentAtIndex) {
    const std::size_t slot = asArgumentAtIndex + Hidden;
    const std::string_view code = codeOf(invocation, slot);
    const auto kind = rt::encoding::kindOf(code);
    if (kind == rt::encoding::Kind::Object) return invocation.setArgument(slot, object);
    if (code == "#") return invocation.setArgument(slot, object.cls());
    if (isNumberCode(code)) {
        if (object.isString()) return invocation.setArgument(slot, numberFromString(object.string(), code[0]));
        if (object.isNumber() || object.isNilOrNull()) return invocation.setArgument(slot, object.numberValue());
        throw rt::Exception(rt::Exception::InvalidArgument,
                            "Cannot use " + object.description() + " as argument " + std::to_string(asArgumentAtIndex) +
                                " of type \"" + std::string(code) + "\"");
    }
    // Raw bytes: only from a box of the argument's size, so nothing is read or written
    // past either buffer.
    auto boxed = object.as<rt::ValueBox>();
    if (!boxed || boxed->size() != rt::encoding::sizeOf(code)) return;
    boxed->getValue(invocation.buffer(slot));
}

rt::Value::Array arguments(const rt::Invocation& invocation) {
    rt::Value::Array out;
    const auto count = numberOfArguments(invocation);
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        auto value = argumentObjectAtIndex(invocation, i);
        out.push_back(value.isNil() ? rt::Value::null() : value);
    }
    return out;
}

void setArguments(rt::Invocation& invocation, const rt::Value::Array& arguments) {
    for (std::size_t i = 0; i < arguments.size(); ++i) setObject(invocation, arguments[i], i);
}

}  // namespace zid
