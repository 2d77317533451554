// Reading and writing properties by key and key path.

#include <rt/Exception.h>
#include <rt/KVC.h>
#include <rt/KVO.h>
#include <rt/MainThread.h>
#include <rt/Object.h>
#include <rt/PropertyTable.h>
#include <rt/ValueTraits.h>

namespace rt {

namespace detail {

void raiseValueMismatch(const Value& value, const char* expected) {
    throw Exception(Exception::InvalidArgument,
                    "Expected " + std::string(expected) + " for a property but got " + value.description() + ".");
}

}  // namespace detail

namespace {

// Splits "a.b.c" into "a" and "b.c" (rest empty when there is no dot).
std::pair<std::string_view, std::string_view> splitFirst(std::string_view keyPath) {
    auto dot = keyPath.find('.');
    if (dot == std::string_view::npos) return {keyPath, {}};
    return {keyPath.substr(0, dot), keyPath.substr(dot + 1)};
}

// Splits "a.b.c" into "a.b" and "c".
std::pair<std::string_view, std::string_view> splitLast(std::string_view keyPath) {
    auto dot = keyPath.rfind('.');
    if (dot == std::string_view::npos) return {{}, keyPath};
    return {keyPath.substr(0, dot), keyPath.substr(dot + 1)};
}

[[noreturn]] void raiseNotCompliant(const Value& container, std::string_view key) {
    throw Exception(Exception::UndefinedKey, "[<" + container.description() +
                                                 "> valueForKey:]: this value is not key value coding-compliant for the key " +
                                                 std::string(key) + ".");
}

Value valueForKeyOfValue(const Value& container, std::string_view key) {
    switch (container.type()) {
        case Value::Type::Nil: return Value();
        case Value::Type::Object: return container.object()->valueForKey(key);
        case Value::Type::Dictionary: return container.dictionary().get(Value(std::string(key)));
        case Value::Type::Array: {
            // An array answers the array of its elements' values; nil becomes the null
            // placeholder so that positions are kept.
            Value::Array mapped;
            mapped.reserve(container.array().size());
            for (const auto& element : container.array()) {
                Value v = valueForKeyOfValue(element, key);
                mapped.push_back(v.isNil() ? Value::null() : std::move(v));
            }
            return Value(std::move(mapped));
        }
        default: raiseNotCompliant(container, key);
    }
}

}  // namespace

Value Object::valueForKey(std::string_view key) const {
    if (!MainThread::isCurrent() && MainThread::isMainThreadOnly(*this)) [[unlikely]]
        MainThread::refuse(className() + "::valueForKey(\"" + std::string(key) + "\")");
    return detail::valueForKeyOnAnyThread(*this, key);
}

Value detail::valueForKeyOnAnyThread(const Object& object, std::string_view key) {
    if (const Property* p = findProperty(object.objectClass(), key); p && p->getter) return p->getter(object);
    return object.valueForUndefinedKey(key);
}

Value Object::valueForKeyPath(std::string_view keyPath) const {
    auto [first, rest] = splitFirst(keyPath);
    Value v = valueForKey(first);
    if (rest.empty() && keyPath.find('.') == std::string_view::npos) return v;
    return rt::valueForKeyPath(v, rest);
}

void Object::setValueForKey(const Value& value, std::string_view key) {
    if (!MainThread::isCurrent() && MainThread::isMainThreadOnly(*this)) [[unlikely]]
        MainThread::refuse(className() + "::setValueForKey(\"" + std::string(key) + "\")");
    if (const Property* p = findProperty(objectClass(), key); p && p->setter) {
        p->setter(*this, value);
        return;
    }
    setValueForUndefinedKey(value, key);
}

void Object::setValueForKeyPath(const Value& value, std::string_view keyPath) {
    auto [path, last] = splitLast(keyPath);
    if (path.empty() && keyPath.find('.') == std::string_view::npos) {
        setValueForKey(value, last);
        return;
    }
    Value holder = valueForKeyPath(path);
    if (holder.isNil()) return;  // a missing link on the way: nothing to write to
    if (!holder.isObject())
        throw Exception(Exception::InvalidArgument, "Cannot set the key " + std::string(last) + " of " + holder.description() +
                                                        ": only objects take values by key.");
    holder.object()->setValueForKey(value, last);
}

Value valueForKeyPath(const Value& container, std::string_view keyPath) {
    if (container.isObject()) return container.object()->valueForKeyPath(keyPath);
    auto [first, rest] = splitFirst(keyPath);
    Value v = valueForKeyOfValue(container, first);
    if (keyPath.find('.') == std::string_view::npos) return v;
    if (container.isArray()) {
        // Each element follows the rest of the path on its own.
        Value::Array mapped;
        mapped.reserve(v.array().size());
        for (const auto& element : v.array()) {
            Value r = element.isNull() ? Value() : valueForKeyPath(element, rest);
            mapped.push_back(r.isNil() ? Value::null() : std::move(r));
        }
        return Value(std::move(mapped));
    }
    return valueForKeyPath(v, rest);
}

}  // namespace rt
