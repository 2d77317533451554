#pragma once
// Key-value coding: declaring the properties of a class.
//
// A class declares its properties in a static describe function that RT_CLASS runs
// once, when the class description is made:
//
//     static void describe(rt::ClassBuilder<Player>& c) {
//         c.property("state", &Player::state, &Player::setState);
//         c.readonly("isReady", &Player::isReady);
//         c.dependent("isReady", {"paused", "source.state"});
//         c.manualNotification("progress");
//     }
//
// Getters and setters are typed; rt::ValueTraits converts them to and from rt::Value.
// The reading and writing entry points are members of rt::Object (valueForKey,
// setValueForKeyPath, ...) and rt::valueForKeyPath for plain values (rt/KVO.h).

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <rt/Class.h>
#include <rt/Object.h>
#include <rt/PropertyTable.h>
#include <rt/Value.h>
#include <rt/ValueTraits.h>

namespace rt {

enum class Storage : std::uint8_t;
template <class Cls, class T, Storage S> class Key;
template <class Cls, class T> class ReadKey;

namespace detail {
template <class M> struct SetterArgument;
template <class C, class R, class A> struct SetterArgument<R (C::*)(A)> {
    using type = std::decay_t<A>;
};
template <class C, class R, class A> struct SetterArgument<R (C::*)(A) noexcept> {
    using type = std::decay_t<A>;
};
/// What object.valueForKey(key) answers, without the thread check of a main-thread-only
/// class: key-value observing reads on the thread that announced the change.
Value valueForKeyOnAnyThread(const Object& object, std::string_view key);
}  // namespace detail

template <class Cls> class ClassBuilder {
public:
    explicit ClassBuilder(const Class& cls) : cls_(cls) {}

    const Class& cls() const { return cls_; }

    /// A read-write property. The getter is a const member function (or a callable
    /// taking const Cls&); the setter a member function taking one typed argument, or
    /// a callable taking (Cls&, const rt::Value&).
    template <class Getter, class Setter> ClassBuilder& property(std::string key, Getter getter, Setter setter) {
        Property p;
        p.key = key;
        p.getter = makeGetter(std::move(getter));
        p.setter = makeSetter(std::move(setter));
        cls_.properties().add(std::move(p));
        return *this;
    }

    /// The entry of a typed key (rt/Key.h): reads and writes go through the key, so a
    /// write by key compares and announces like the typed setter.
    template <class K, class T, Storage S> ClassBuilder& property(const Key<K, T, S>& key);
    /// The entry of a typed key whose writes go through the class's own setter (a
    /// member function taking one typed argument, or a callable taking (Cls&, const rt::Value&)).
    template <class K, class T, Storage S, class Setter> ClassBuilder& property(const Key<K, T, S>& key, Setter setter);
    /// A read-only entry of a typed key.
    template <class K, class T, Storage S> ClassBuilder& readonly(const Key<K, T, S>& key);
    /// The entry of a read-only typed key (rt/Key.h).
    template <class K, class T> ClassBuilder& readonly(const ReadKey<K, T>& key);

    /// A read-only property: writing it goes to setValueForUndefinedKey.
    template <class Getter> ClassBuilder& readonly(std::string key, Getter getter) {
        Property p;
        p.key = key;
        p.getter = makeGetter(std::move(getter));
        cls_.properties().add(std::move(p));
        return *this;
    }

    /// Observers of key are also told when any of the key paths changes.
    ClassBuilder& dependent(const std::string& key, std::initializer_list<std::string> keyPaths) {
        cls_.properties().addAffectingKeyPaths(key, std::vector<std::string>(keyPaths));
        return *this;
    }

    /// The class announces key itself with will/didChangeValueForKey; rt::kvoSet stays
    /// silent for it.
    ClassBuilder& manualNotification(const std::string& key) {
        cls_.properties().setManual(key);
        return *this;
    }

    /// The class's objects are used on the main thread only: its typed key setters and
    /// its key-value coding by name raise the thread error elsewhere (rt/MainThread.h).
    ClassBuilder& mainThreadOnly() {
        cls_.setMainThreadOnly();
        return *this;
    }

    /// Adopts a named protocol.
    ClassBuilder& adopts(std::string protocolName) {
        cls_.addProtocol(std::move(protocolName));
        return *this;
    }

private:
    template <class Getter> static std::function<Value(const Object&)> makeGetter(Getter getter) {
        return [getter](const Object& object) -> Value {
            const Cls& typed = static_cast<const Cls&>(object);
            using Result = std::decay_t<std::invoke_result_t<const Getter&, const Cls&>>;
            return ValueTraits<Result>::toValue(std::invoke(getter, typed));
        };
    }

    template <class Setter> static std::function<void(Object&, const Value&)> makeSetter(Setter setter) {
        if constexpr (std::is_invocable_v<const Setter&, Cls&, const Value&> && !std::is_member_function_pointer_v<Setter>) {
            return [setter](Object& object, const Value& value) { setter(static_cast<Cls&>(object), value); };
        } else {
            using Argument = typename detail::SetterArgument<Setter>::type;
            return [setter](Object& object, const Value& value) {
                std::invoke(setter, static_cast<Cls&>(object), ValueTraits<Argument>::fromValue(value));
            };
        }
    }

    const Class& cls_;
};

}  // namespace rt
