#pragma once
// Properties declared once: the declaration is the typed key, the key-value coding entry
// and the key paths the property depends on, so a class lists none of them again in its
// `describe`.
//
//     class Player : public rt::Object {
//         RT_CLASS(Player, rt::Object)
//         Status status_ = Status::Idle;
//         bool muted_ = false;
//         std::atomic<double> position_{0};
//     public:
//         static constexpr rt::Stored<&Player::status_, "status"> statusKey{};           // read-only
//         static constexpr rt::Stored<&Player::muted_, "muted", rt::writable> mutedKey{};  // written by key
//         static constexpr rt::Stored<&Player::position_, "position"> positionKey{};     // atomic
//         Status status() const { return status_; }
//         bool isPlaying() const { return status_ == Status::Playing; }
//         static constexpr rt::Derived<&Player::isPlaying, "isPlaying", "status"> isPlayingKey{};  // after its getter
//     private:
//         void setStatus(Status s) { statusKey.set(*this, s); }  // only Player writes
//     };
//
// A property's guard follows its field: a plain field is written on the main thread, a
// std::atomic field from any thread, and `rt::Storage::Guarded` keeps a plain field under
// the object's property lock. Only the owning class writes through the key; the world
// reads, observes (rt::observe) and writes by name only what the declaration lets it:
// `rt::readOnly` (the default) refuses, `rt::writable` writes through the key (compares,
// then announces), a setter of the class writes through that setter.
//
// The entry is made when the program starts (the declaration instantiates a static
// registration, which describes the class then); the class's own `describe` still runs and
// may add to it (manual notices, protocols).
//
// A class that keeps its fields behind a private implementation declares them there with
// rt::Inside, naming the owner the keys belong to.

#include <atomic>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <utility>

#include <rt/AccessorKey.h>
#include <rt/KVC.h>
#include <rt/Key.h>

namespace rt {

/// A key's name as a template argument: `rt::Stored<&Player::muted_, "muted">`.
template <std::size_t N> struct KeyName {
    char text[N]{};
    constexpr KeyName(const char (&name)[N]) {
        for (std::size_t i = 0; i < N; ++i) text[i] = name[i];
    }
};

/// Writes by name are refused (the default).
struct ReadOnly {};
/// Writes by name go through the key: they compare, then announce.
struct Writable {};
inline constexpr ReadOnly readOnly{};
inline constexpr Writable writable{};

namespace detail {

template <class M> struct MemberOf;
template <class C, class F> struct MemberOf<F C::*> {
    using Holder = C;
    using Field = F;
};

/// The value a field holds and the guard its type implies.
template <class F> struct FieldStorage {
    using type = F;
    static constexpr Storage storage = Storage::Plain;
};
template <class T> struct FieldStorage<std::atomic<T>> {
    using type = T;
    static constexpr Storage storage = Storage::Atomic;
};

template <class G> struct GetterOf;
template <class C, class R> struct GetterOf<R (C::*)() const> {
    using Holder = C;
    using Value = std::decay_t<R>;
};
template <class C, class R> struct GetterOf<R (C::*)() const noexcept> : GetterOf<R (C::*)() const> {};

/// Adds the entry of a declaration to its class. Run once, when the program starts: the
/// constructor of every declaration names it, which instantiates it with the class.
template <class Entry> struct Enrolment {
    static inline const bool done = (Entry::enrol(), true);
};

/// The entry of a property read through getter: read-only, or written by name through
/// Writer (a setter of Cls), announced also when one of the key paths changes.
template <class Cls, KeyName Name, auto Writer, KeyName... Paths, class Getter> void enrolEntry(Getter getter) {
    ClassBuilder<Cls> c(Cls::staticClass());
    if constexpr (std::is_same_v<std::remove_cv_t<decltype(Writer)>, ReadOnly>) c.readonly(Name.text, getter);
    else c.property(Name.text, getter, Writer);
    if constexpr (sizeof...(Paths) > 0) c.dependent(Name.text, {std::string(Paths.text)...});
}

}  // namespace detail

/// A stored property of the class whose field it names.
template <auto Field, KeyName Name, auto Writer = readOnly,
          Storage S = detail::FieldStorage<typename detail::MemberOf<decltype(Field)>::Field>::storage>
class Stored
    : public Key<typename detail::MemberOf<decltype(Field)>::Holder,
                 typename detail::FieldStorage<typename detail::MemberOf<decltype(Field)>::Field>::type, S> {
    using Cls = typename detail::MemberOf<decltype(Field)>::Holder;
    using T = typename detail::FieldStorage<typename detail::MemberOf<decltype(Field)>::Field>::type;
    using Base = Key<Cls, T, S>;
    friend Cls;
    friend struct detail::Enrolment<Stored>;

public:
    constexpr Stored() : Base(Name.text, Field) { (void)&detail::Enrolment<Stored>::done; }

private:
    // The owning class writes; others write by name, as the declaration allows.
    using Base::set;
    using Base::setAlways;

    static void enrol() {
        ClassBuilder<Cls> c(Cls::staticClass());
        const Base key(Name.text, Field);
        using W = std::remove_cv_t<decltype(Writer)>;
        if constexpr (std::is_same_v<W, ReadOnly>) {
            c.readonly(key);
        } else if constexpr (std::is_same_v<W, Writable>) {
            c.property(key);
        } else {
            c.property(key, Writer);
        }
    }
};

namespace detail {
/// The typed key of a property read through Getter: read-only, or written through Setter
/// when it takes the getter's type.
template <auto Getter, auto Setter, class Cls = typename GetterOf<decltype(Getter)>::Holder,
          class T = typename GetterOf<decltype(Getter)>::Value>
struct GetterKey : ReadKey<Cls, T> {
    constexpr explicit GetterKey(const char* name) : ReadKey<Cls, T>(name, Getter) {}
};
template <auto Getter, class C, class T, void (C::*Setter)(T)>
struct GetterKey<Getter, Setter, C, T> : AccessorKey<C, T> {
    constexpr explicit GetterKey(const char* name) : AccessorKey<C, T>(name, Getter, Setter) {}
};
}  // namespace detail

/// A property read through a getter and written by name through a setter of the class
/// (which stores and announces), or not at all (rt::readOnly); announced also whenever one
/// of the key paths it depends on changes.
template <auto Getter, auto Setter, KeyName Name, KeyName... Paths>
class Accessor : public detail::GetterKey<Getter, Setter> {
    using Cls = typename detail::GetterOf<decltype(Getter)>::Holder;
    friend struct detail::Enrolment<Accessor>;

public:
    constexpr Accessor() : detail::GetterKey<Getter, Setter>(Name.text) { (void)&detail::Enrolment<Accessor>::done; }

private:
    static void enrol() { detail::enrolEntry<Cls, Name, Setter, Paths...>(Getter); }
};

/// A read-only property read through a getter of the class and announced whenever one of
/// the key paths it depends on changes.
template <auto Getter, KeyName Name, KeyName... Paths> using Derived = Accessor<Getter, readOnly, Name, Paths...>;

/// A property of Owner kept in its private implementation (Impl, which answers
/// `static const Impl& of(const Owner&)`): Member is a field of Impl or a const getter of
/// it. Writes by name are refused, or go through Writer, a setter of Owner. The
/// implementation stores a field with `set`, which compares and announces it as the
/// owner's. Reads by name read the implementation directly, on the reading thread.
template <class Owner, auto Member, KeyName Name, auto Writer = readOnly, KeyName... Paths> class Inside {
    using Impl = typename detail::MemberOf<decltype(Member)>::Holder;
    friend struct detail::Enrolment<Inside>;

public:
    constexpr Inside() { (void)&detail::Enrolment<Inside>::done; }

    static constexpr std::string_view name() { return Name.text; }

    /// The value: the field, or what the getter answers.
    static auto get(const Impl& impl) {
        if constexpr (std::is_member_function_pointer_v<decltype(Member)>) return (impl.*Member)();
        else return impl.*Member;
    }

    /// Stores value into the field when it differs and announces the change as owner's.
    /// Answers whether it stored.
    template <class U> static bool set(Owner& owner, Impl& impl, U&& value) {
        return kvoSet(&owner, Name.text, impl.*Member, std::forward<U>(value));
    }

private:
    static void enrol() {
        detail::enrolEntry<Owner, Name, Writer, Paths...>([](const Owner& owner) { return get(Impl::of(owner)); });
    }
};

}  // namespace rt
