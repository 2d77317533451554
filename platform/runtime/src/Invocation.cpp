#include <rt/Invocation.h>

#include <cstring>

#include <rt/Format.h>
#include <rt/Message.h>
#include <rt/MethodTable.h>

namespace rt {

using encoding::Kind;

namespace {

Number readNumber(const void* bytes, char code) {
    switch (code) {
    case 'c': { signed char v; std::memcpy(&v, bytes, 1); return Number::ofChar(v); }
    case 'C': { unsigned char v; std::memcpy(&v, bytes, 1); return Number::ofUChar(v); }
    case 'B': { bool v; std::memcpy(&v, bytes, 1); return Number::ofBool(v); }
    case 's': { short v; std::memcpy(&v, bytes, 2); return Number::ofShort(v); }
    case 'S': { unsigned short v; std::memcpy(&v, bytes, 2); return Number::ofUShort(v); }
    case 'i': case 'l': { std::int32_t v; std::memcpy(&v, bytes, 4); return Number::ofInt(v); }
    case 'I': case 'L': { std::uint32_t v; std::memcpy(&v, bytes, 4); return Number::ofUInt(v); }
    case 'q': { long long v; std::memcpy(&v, bytes, 8); return Number::ofLongLong(v); }
    case 'Q': { unsigned long long v; std::memcpy(&v, bytes, 8); return Number::ofULongLong(v); }
    case 'f': { float v; std::memcpy(&v, bytes, 4); return Number::ofFloat(v); }
    case 'd': { double v; std::memcpy(&v, bytes, 8); return Number::ofDouble(v); }
    default: return Number();
    }
}

template <class T> void writeAs(void* bytes, T v) { std::memcpy(bytes, &v, sizeof v); }

void writeNumber(void* bytes, char code, const Number& n) {
    switch (code) {
    case 'c': writeAs(bytes, static_cast<signed char>(n.longLongValue())); break;
    case 'C': writeAs(bytes, static_cast<unsigned char>(n.unsignedLongLongValue())); break;
    case 'B': writeAs(bytes, n.boolValue()); break;
    case 's': writeAs(bytes, static_cast<short>(n.longLongValue())); break;
    case 'S': writeAs(bytes, static_cast<unsigned short>(n.unsignedLongLongValue())); break;
    case 'i': case 'l': writeAs(bytes, static_cast<std::int32_t>(n.longLongValue())); break;
    case 'I': case 'L': writeAs(bytes, static_cast<std::uint32_t>(n.unsignedLongLongValue())); break;
    case 'q': writeAs(bytes, n.longLongValue()); break;
    case 'Q': writeAs(bytes, n.unsignedLongLongValue()); break;
    case 'f': writeAs(bytes, n.floatValue()); break;
    case 'd': writeAs(bytes, n.doubleValue()); break;
    default: break;
    }
}

Kind slotKind(std::string_view code) { return encoding::kindOf(code); }

}  // namespace

Invocation::Invocation(MethodSignature signature) : signature_(std::move(signature)) {
    auto makeSlot = [](const std::string& code) {
        Slot slot;
        slot.code = code;
        slot.kind = slotKind(code);
        if (slot.kind != Kind::Object && slot.kind != Kind::Void) {
            auto size = encoding::sizeOf(code);
            slot.raw.assign((size + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t), std::max_align_t{});
            std::memset(slot.raw.data(), 0, slot.raw.size() * sizeof(std::max_align_t));
        }
        return slot;
    };
    for (std::size_t i = 0; i < signature_.numberOfArguments(); ++i)
        arguments_.push_back(makeSlot(signature_.argumentType(i)));
    result_ = makeSlot(signature_.methodReturnType());
}

Ref<Invocation> Invocation::invocationWithMethodSignature(MethodSignature signature) {
    return make<Invocation>(std::move(signature));
}

Invocation::Slot& Invocation::slotAt(std::size_t index) {
    return const_cast<Slot&>(static_cast<const Invocation*>(this)->slotAt(index));
}

const Invocation::Slot& Invocation::slotAt(std::size_t index) const {
    if (index == ReturnSlot) return result_;
    if (index >= arguments_.size())
        throw Exception(Exception::RangeError,
                        format("-[Invocation %@]: index (%lu) out of bounds [-1, %lu]", selector_.name(), index,
                               arguments_.size() - 1));
    return arguments_[index];
}

const std::string& Invocation::typeCode(std::size_t index) const { return slotAt(index).code; }

void* Invocation::buffer(std::size_t index) {
    auto& slot = slotAt(index);
    return slot.kind == Kind::Object ? static_cast<void*>(&slot.object) : slot.bytes();
}

const void* Invocation::buffer(std::size_t index) const { return const_cast<Invocation*>(this)->buffer(index); }

void Invocation::clear() {
    auto reset = [](Slot& slot) {
        slot.object = Value();
        if (!slot.raw.empty()) std::memset(slot.raw.data(), 0, slot.raw.size() * sizeof(std::max_align_t));
    };
    for (auto& slot : arguments_) reset(slot);
    reset(result_);
}

void Invocation::mismatch(std::size_t index, std::string_view code) const {
    const auto& slot = slotAt(index);
    std::string where = index == ReturnSlot ? std::string("the result") : format("argument %lu", index);
    throw Exception(Exception::InvalidArgument,
                    format("Cannot pass \"%@\" as %@ of %@ (type \"%@\")", std::string(code), where,
                           selector_.name(), slot.code));
}

void Invocation::store(std::size_t index, Kind kind, std::string_view code, const void* src) {
    auto& slot = slotAt(index);
    const char c = encoding::stripQualifiers(slot.code).empty() ? 'v' : encoding::stripQualifiers(slot.code)[0];
    switch (slot.kind) {
    case Kind::Void: mismatch(index, code);
    case Kind::Number:
        if (kind == Kind::Number) return writeNumber(slot.bytes(), c, *static_cast<const Number*>(src));
        if (kind == Kind::Object) {
            const auto& v = *static_cast<const Value*>(src);
            if (v.isNumber() || v.isNilOrNull()) return writeNumber(slot.bytes(), c, v.numberValue());
        }
        mismatch(index, code);
    case Kind::Object:
        if (kind == Kind::Object) { slot.object = *static_cast<const Value*>(src); return; }
        if (kind == Kind::Number) { slot.object = Value(*static_cast<const Number*>(src)); return; }
        if (kind == Kind::Class) { slot.object = Value(*static_cast<const Class* const*>(src)); return; }
        mismatch(index, code);
    case Kind::Class:
        if (kind == Kind::Class) { std::memcpy(slot.bytes(), src, sizeof(const Class*)); return; }
        if (kind == Kind::Object) {
            const Class* cls = static_cast<const Value*>(src)->cls();
            std::memcpy(slot.bytes(), &cls, sizeof cls);
            return;
        }
        mismatch(index, code);
    default:
        // Selectors, strings, pointers and structures: the same code (qualifiers aside),
        // or a pointer of any kind into a pointer slot.
        if (kind == slot.kind && (encoding::stripQualifiers(code) == encoding::stripQualifiers(slot.code) ||
                                  kind == Kind::Pointer || kind == Kind::CString || kind == Kind::Selector)) {
            std::memcpy(slot.bytes(), src, encoding::sizeOf(slot.code));
            return;
        }
        mismatch(index, code);
    }
}

void Invocation::load(std::size_t index, Kind kind, std::string_view code, void* dst) const {
    const auto& slot = slotAt(index);
    const char c = encoding::stripQualifiers(slot.code).empty() ? 'v' : encoding::stripQualifiers(slot.code)[0];
    switch (slot.kind) {
    case Kind::Number:
        if (kind == Kind::Number) { *static_cast<Number*>(dst) = readNumber(slot.bytes(), c); return; }
        if (kind == Kind::Object) { *static_cast<Value*>(dst) = Value(readNumber(slot.bytes(), c)); return; }
        mismatch(index, code);
    case Kind::Object:
        if (kind == Kind::Object) { *static_cast<Value*>(dst) = slot.object; return; }
        if (kind == Kind::Number && (slot.object.isNumber() || slot.object.isNilOrNull())) {
            *static_cast<Number*>(dst) = slot.object.numberValue();
            return;
        }
        if (kind == Kind::Class) { *static_cast<const Class**>(dst) = slot.object.cls(); return; }
        mismatch(index, code);
    case Kind::Class:
        if (kind == Kind::Class) { std::memcpy(dst, slot.bytes(), sizeof(const Class*)); return; }
        if (kind == Kind::Object) {
            const Class* cls;
            std::memcpy(&cls, slot.bytes(), sizeof cls);
            *static_cast<Value*>(dst) = cls ? Value(cls) : Value();
            return;
        }
        mismatch(index, code);
    case Kind::Void:
        mismatch(index, code);
    default:
        if (kind == slot.kind && (encoding::stripQualifiers(code) == encoding::stripQualifiers(slot.code) ||
                                  kind == Kind::Pointer || kind == Kind::CString || kind == Kind::Selector)) {
            std::memcpy(dst, slot.bytes(), encoding::sizeOf(slot.code));
            return;
        }
        mismatch(index, code);
    }
}

void Invocation::invoke() {
    if (targetClass_ && !target_) return sendInvocationToClass(*targetClass_, *this);
    if (!target_) return;  // a message to nil does nothing and leaves the result zero
    invokeWithTarget(*target_);
}

void Invocation::invokeWithTarget(Object& target) { sendInvocation(target, *this); }

std::string Invocation::description() const {
    return super::description() + " " + selector_.name() + " \"" + signature_.types() + "\"";
}

}  // namespace rt
