#pragma once
// A typed key of a property that a class keeps outside its own fields (behind a private
// implementation), for others to observe and write like the keys of rt/Key.h.

#include <utility>

#include <rt/Key.h>

namespace rt {

/// A property the class keeps outside its own fields (behind a private
/// implementation): read through the class's getter and written through its setter, which
/// stores and announces the change. Others observe it like a derived key and may write it.
///
///     static constexpr rt::AccessorKey<Player, double> volumeKey{"volume", &Player::volume, &Player::setVolume};
template <class Cls, class T> class AccessorKey : public ReadKey<Cls, T> {
public:
    using Getter = typename ReadKey<Cls, T>::Getter;
    using Setter = void (Cls::*)(T);

    constexpr AccessorKey(const char* name, Getter getter, Setter setter)
        : ReadKey<Cls, T>(name, getter), setter_(setter) {}

    /// Through the class's setter: what it compares and announces.
    template <class U> void set(Cls& object, U&& value) const { (object.*setter_)(T(std::forward<U>(value))); }

private:
    Setter setter_;
};

}  // namespace rt
