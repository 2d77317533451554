#pragma once
// Typed property keys: a property declared once.
//
//     class Player : public rt::Object {
//         RT_CLASS(Player, rt::Object)
//     private:
//         Status status_ = Status::Idle;                      // the field comes first
//     public:
//         static constexpr rt::Key<Player, Status> statusKey{"status", &Player::status_};
//         static void describe(rt::ClassBuilder<Player>& c) { c.property(statusKey); }
//         Status status() const { return statusKey.get(*this); }
//         void setStatus(Status v) { statusKey.set(*this, v); }  // compares, then announces
//     };
//
//     rt::observe(player, Player::statusKey, *this, [](Owner& self, Status old, Status now) { ... });
//
// The key's name is the one string of the property: key paths, bindings, dependent
// keys and archives keep using it through key-value coding (`c.property(key)` registers
// the entry). A typed setter skips a value equal to the current one; `setAlways` stores
// and announces even then, for setters whose contract is to act on every call.
//
// Storage: Key<Cls, T> is a plain field, written on the main thread only (for a
// main-thread-only class the setter raises the thread error elsewhere, rt/MainThread.h;
// for any other class the write is checked in debug builds); AtomicKey<Cls, T> is a
// std::atomic<T> field, safe from any thread; GuardedKey<Cls, T> is a plain field read
// and written under the object's property lock (for values an atomic cannot hold, such
// as strings). Notices are never sent under a lock: observers run on the writing thread,
// after the store.

#include <atomic>
#include <concepts>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include <rt/Exception.h>
#include <rt/KVC.h>
#include <rt/KVO.h>
#include <rt/MainThread.h>
#include <rt/Object.h>
#include <rt/ValueTraits.h>

namespace rt {

enum class Storage : std::uint8_t { Plain, Atomic, Guarded };

namespace detail {
template <class T, Storage S> struct KeyField {
    using type = T;
};
template <class T> struct KeyField<T, Storage::Atomic> {
    using type = std::atomic<T>;
};

/// A plain key written off the main thread: the thread error naming the setter for an
/// object of a main-thread-only class (one a host reaches); for any other, the
/// framework's own mistake, an abort with a message naming the key (debug builds only).
void storedOffMainThread(const Object& object, std::string_view key);

/// Announces key around change() whatever the manual setting, like a will/did pair.
void announceAlways(Object& object, std::string_view key, void (*change)(void*), void* context);

template <class F> void announce(Object& object, std::string_view key, F& change, bool always) {
    auto call = [](void* c) { (*static_cast<F*>(c))(); };
    if (always) announceAlways(object, key, call, &change);
    else announceChange(object, key, call, &change);
}
}  // namespace detail

/// A typed property key of class Cls holding a T. Declare it constexpr static in the
/// class, after the field it names.
template <class Cls, class T, Storage S = Storage::Plain> class Key {
public:
    using Holder = Cls;
    using ValueType = T;
    using Field = typename detail::KeyField<T, S>::type;
    static constexpr Storage storage = S;

    constexpr Key(const char* name, Field Cls::* field) : name_(name), field_(field) {}

    /// The property's key-value coding name (a string with static storage).
    constexpr std::string_view name() const { return name_; }
    constexpr Field Cls::* field() const { return field_; }

    T get(const Cls& object) const {
        if constexpr (S == Storage::Atomic) {
            return (object.*field_).load(std::memory_order_acquire);
        } else if constexpr (S == Storage::Guarded) {
            std::lock_guard lock(object.propertyLock());
            return object.*field_;
        } else {
            return object.*field_;
        }
    }

    /// Stores value when it differs from the current one and announces the change.
    /// Answers whether it stored.
    template <class U> bool set(Cls& object, U&& value) const { return store(object, std::forward<U>(value), false); }

    /// Stores value and announces it even when it equals the current one.
    template <class U> void setAlways(Cls& object, U&& value) const { store(object, std::forward<U>(value), true); }

private:
    // The observed store, out of line: the unobserved one then needs no stack frame,
    // and a small value handed over as a copy stays in a register until it is stored
    // (the announcement takes it by reference).
    template <class U> [[gnu::noinline]] void storeObserved(Cls& object, T& field, U&& value, bool always) const {
        auto change = [&] { field = std::forward<U>(value); };
        detail::announce(object, name_, change, always);
    }

    template <class U> bool store(Cls& object, U&& value, bool always) const {
        if constexpr (S == Storage::Plain) {
            if (!MainThread::isCurrent()) [[unlikely]]
                detail::storedOffMainThread(object, name_);
            T& field = object.*field_;
            if constexpr (std::equality_comparable_with<const T&, const U&>) {
                if (!always && field == value) return false;
            }
            if (!object.observationSlot()) {
                field = std::forward<U>(value);
                return true;
            }
            if constexpr (std::is_same_v<std::remove_cvref_t<U>, T> && std::is_trivially_copyable_v<T> &&
                          sizeof(T) <= 2 * sizeof(void*)) {
                storeObserved(object, field, T(value), always);  // a copy in registers
            } else {
                storeObserved(object, field, std::forward<U>(value), always);
            }
        } else if constexpr (S == Storage::Atomic) {
            auto& field = object.*field_;
            T next(std::forward<U>(value));
            if (!always && field.load(std::memory_order_acquire) == next) return false;
            if (!object.observationSlot()) {
                field.store(next, std::memory_order_release);
                return true;
            }
            auto change = [&] { field.store(next, std::memory_order_release); };
            detail::announce(object, name_, change, always);
        } else {
            std::mutex& mutex = object.propertyLock();
            if constexpr (std::equality_comparable_with<const T&, const U&>) {
                std::lock_guard lock(mutex);
                if (!always && object.*field_ == value) return false;
            }
            auto change = [&] {
                std::unique_lock lock(mutex);
                T previous = std::exchange(object.*field_, std::forward<U>(value));
                lock.unlock();  // previous is released outside the lock: its destruction may call out
            };
            if (!object.observationSlot()) change();
            else detail::announce(object, name_, change, always);
        }
        return true;
    }

    const char* name_;
    Field Cls::* field_;
};

template <class Cls, class T> using AtomicKey = Key<Cls, T, Storage::Atomic>;
template <class Cls, class T> using GuardedKey = Key<Cls, T, Storage::Guarded>;

/// A typed key that others may read and observe but not write: a property derived from
/// other objects (read through its getter, announced through the key paths it depends
/// on) or a stored one whose writing key the class keeps private.
///
///     private:
///         static constexpr rt::Key<Player, bool> isLiveStore{"isLive", &Player::isLive_};
///     public:
///         static constexpr rt::ReadKey<Player, bool> isLiveKey{isLiveStore};
///         static constexpr rt::ReadKey<Player, double> durationKey{"duration", &Player::duration};
template <class Cls, class T> class ReadKey {
public:
    using Holder = Cls;
    using ValueType = T;
    using Getter = T (Cls::*)() const;

    /// A plain stored property, written by the class through key.
    constexpr ReadKey(const Key<Cls, T, Storage::Plain>& key) : name_(key.name().data()), field_(key.field()) {}
    /// A property read through a getter returning T.
    constexpr ReadKey(const char* name, Getter getter) : name_(name), getter_(getter) {}

    constexpr std::string_view name() const { return name_; }
    T get(const Cls& object) const { return field_ ? object.*field_ : (object.*getter_)(); }
    /// Read through a getter: its changes are announced through the key paths the class
    /// declares it depends on, not by a store.
    constexpr bool isDerived() const { return getter_ != nullptr; }

private:
    const char* name_;
    T Cls::* field_ = nullptr;
    Getter getter_ = nullptr;
};

// ---- key-value coding entries ---------------------------------------------------------

template <class Cls>
template <class K, class T, Storage S>
ClassBuilder<Cls>& ClassBuilder<Cls>::property(const Key<K, T, S>& key) {
    static_assert(std::is_base_of_v<K, Cls>, "a class registers its own keys or its ancestors'");
    return property(std::string(key.name()), [key](const Cls& o) { return key.get(o); },
                    [key](Cls& o, const Value& v) { key.set(o, ValueTraits<T>::fromValue(v)); });
}

template <class Cls>
template <class K, class T, Storage S, class Setter>
ClassBuilder<Cls>& ClassBuilder<Cls>::property(const Key<K, T, S>& key, Setter setter) {
    static_assert(std::is_base_of_v<K, Cls>, "a class registers its own keys or its ancestors'");
    return property(std::string(key.name()), [key](const Cls& o) { return key.get(o); }, std::move(setter));
}

template <class Cls>
template <class K, class T, Storage S>
ClassBuilder<Cls>& ClassBuilder<Cls>::readonly(const Key<K, T, S>& key) {
    static_assert(std::is_base_of_v<K, Cls>, "a class registers its own keys or its ancestors'");
    return readonly(std::string(key.name()), [key](const Cls& o) { return key.get(o); });
}

template <class Cls>
template <class K, class T>
ClassBuilder<Cls>& ClassBuilder<Cls>::readonly(const ReadKey<K, T>& key) {
    static_assert(std::is_base_of_v<K, Cls>, "a class registers its own keys or its ancestors'");
    return readonly(std::string(key.name()), [key](const Cls& o) { return key.get(o); });
}

// ---- typed observation ----------------------------------------------------------------

namespace detail {

/// One party told about will/did notices of one key of one object.
class KeyListener {
public:
    virtual ~KeyListener() = default;
    virtual void willChange() = 0;
    virtual void didChange() = 0;
    /// The object is in the last act of its pre-destruction step.
    virtual void objectGone() = 0;
};

/// The next position in the order observers are called in (shared with rt::observe).
std::uint64_t nextObservationOrder();
/// Enters listener into target's table under key; false when target is past its
/// pre-destruction step.
bool addKeyListener(Object& target, std::string_view key, std::uint64_t order, const std::shared_ptr<KeyListener>& listener);
void removeKeyListener(Object& target, std::string_view key, const KeyListener* listener);

/// The untyped part of an observation bound to an owner: it ends quietly with its
/// owner, with its target, or when removed.
class OwnedObservation : public KeyListener, public std::enable_shared_from_this<OwnedObservation> {
public:
    OwnedObservation(Object& target, std::string_view key, Object& owner);
    ~OwnedObservation() override;
    /// Registers with the target's table and the owner's list; false when either is
    /// already going.
    bool start();
    void end();
    bool isActive() const { return active_.load(std::memory_order_acquire); }
    void objectGone() override { end(); }

protected:
    /// The target to read, or nullptr once the observation ended. Whole while active,
    /// also in the target's pre-destruction step.
    Object* target() const { return isActive() ? target_ : nullptr; }
    /// The owner, held for the call; empty once it is going.
    Ref<Object> owner() const { return owner_.lock(); }

private:
    Object* target_;
    Weak<Object> targetWeak_;
    std::string_view key_;
    Weak<Object> owner_;
    std::atomic<bool> active_{false};
};

template <class Target, class T, class Owner, class Read, class F> class TypedObservation final : public OwnedObservation {
public:
    TypedObservation(Target& target, std::string_view key, Owner& owner, Read read, F fn)
        : OwnedObservation(target, key, owner), read_(std::move(read)), fn_(std::move(fn)) {}

    void willChange() override {
        auto* t = target();
        if (!t) return;
        T old = read_(static_cast<Target&>(*t));
        std::lock_guard lock(mutex_);
        pending_.emplace_back(std::this_thread::get_id(), std::move(old));
    }

    void didChange() override {
        auto* t = target();
        if (!t) return;
        std::optional<T> old;
        {
            std::lock_guard lock(mutex_);
            auto me = std::this_thread::get_id();
            for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
                if (it->first == me) {
                    old.emplace(std::move(it->second));
                    pending_.erase(std::next(it).base());
                    break;
                }
            }
        }
        T now = read_(static_cast<Target&>(*t));
        if (!old) old.emplace(now);  // observation began between will and did
        auto holder = owner();
        if (!holder) {
            end();
            return;
        }
        fn_(static_cast<Owner&>(*holder), std::move(*old), std::move(now));
    }

private:
    Read read_;
    F fn_;
    std::mutex mutex_;
    std::vector<std::pair<std::thread::id, T>> pending_;
};

/// The observation of a derived key: the holder never stores it, so it follows the key
/// paths the key depends on (key-value observation of the key by name) and compares
/// with the value it last read. Main thread only, like the properties it reads.
template <class Target, class T, class Owner, class Read, class F> class DerivedObservation final : public OwnedObservation {
public:
    DerivedObservation(Target& target, std::string_view key, Owner& owner, Read read, F fn)
        : OwnedObservation(target, key, owner), read_(std::move(read)), fn_(std::move(fn)), last_(read_(target)) {}
    ~DerivedObservation() override {
        if (follower_) follower_->remove();
    }

    void follow(Target& target, std::string_view key) {
        std::weak_ptr<OwnedObservation> weak = weak_from_this();
        follower_ = rt::observe(target.self(), std::string(key), KVONew, [weak](const KVOChange&) {
            if (auto self = weak.lock()) self->didChange();
        });
    }

    void willChange() override {}
    void didChange() override {
        auto* t = target();
        if (!t) return;
        T now = read_(static_cast<Target&>(*t));
        T old = std::exchange(last_, now);
        if constexpr (std::equality_comparable<T>) {
            if (old == now) return;
        }
        auto holder = owner();
        if (!holder) {
            end();
            return;
        }
        fn_(static_cast<Owner&>(*holder), std::move(old), std::move(now));
    }

private:
    Read read_;
    F fn_;
    T last_;
    Ref<Observation> follower_;
};

}  // namespace detail

/// Ends a typed observation early. Dropping the handle does not end it: the
/// observation lives as long as both its owner and its target.
class ObservationHandle {
public:
    ObservationHandle() = default;
    explicit ObservationHandle(std::weak_ptr<detail::OwnedObservation> observation) : observation_(std::move(observation)) {}
    void remove() const {
        if (auto o = observation_.lock()) o->end();
    }
    bool isActive() const {
        auto o = observation_.lock();
        return o && o->isActive();
    }

private:
    std::weak_ptr<detail::OwnedObservation> observation_;
};

namespace detail {
/// An observation of a key the holder stores (and so announces itself).
template <class T, class Target, class Owner, class Read, class F>
ObservationHandle observeStored(Target& target, std::string_view key, Owner& owner, Read read, F fn) {
    using Observation = TypedObservation<Target, T, Owner, Read, F>;
    auto observation = std::make_shared<Observation>(target, key, owner, std::move(read), std::move(fn));
    observation->start();
    return ObservationHandle(observation);
}
}  // namespace detail

/// Calls fn(owner, old, now) after every announced change of key on target, on the
/// changing thread, in registration order with every other observation of target.
/// Ends quietly when owner or target goes (whichever first), or with remove().
template <class Target, class Cls, class T, Storage S, class Owner, class F>
    requires std::is_base_of_v<Cls, Target> && std::is_base_of_v<Object, Owner> &&
             std::is_invocable_v<F&, Owner&, T, T>
ObservationHandle observe(Target& target, const Key<Cls, T, S>& key, Owner& owner, F fn) {
    return detail::observeStored<T>(target, key.name(), owner, [key](Target& t) { return key.get(t); }, std::move(fn));
}

/// The same for a read-only key.
template <class Target, class Cls, class T, class Owner, class F>
    requires std::is_base_of_v<Cls, Target> && std::is_base_of_v<Object, Owner> &&
             std::is_invocable_v<F&, Owner&, T, T>
ObservationHandle observe(Target& target, const ReadKey<Cls, T>& key, Owner& owner, F fn) {
    auto read = [key](Target& t) { return key.get(t); };
    if (key.isDerived()) {
        using Derived = detail::DerivedObservation<Target, T, Owner, decltype(read), F>;
        auto observation = std::make_shared<Derived>(target, key.name(), owner, std::move(read), std::move(fn));
        if (observation->start()) observation->follow(target, key.name());
        return ObservationHandle(observation);
    }
    return detail::observeStored<T>(target, key.name(), owner, std::move(read), std::move(fn));
}

template <class Target, class Cls, class T, class Owner, class F>
    requires std::is_base_of_v<Cls, Target> && std::is_base_of_v<Object, Owner> &&
             std::is_invocable_v<F&, Owner&, T, T>
ObservationHandle observe(const Ref<Target>& target, const ReadKey<Cls, T>& key, Owner& owner, F fn) {
    if (!target) throw Exception(Exception::InvalidArgument, "Cannot observe the key " + std::string(key.name()) + " of nil.");
    return observe(*target, key, owner, std::move(fn));
}

template <class Target, class Cls, class T, Storage S, class Owner, class F>
    requires std::is_base_of_v<Cls, Target> && std::is_base_of_v<Object, Owner> &&
             std::is_invocable_v<F&, Owner&, T, T>
ObservationHandle observe(const Ref<Target>& target, const Key<Cls, T, S>& key, const Ref<Owner>& owner, F fn) {
    if (!target || !owner) throw Exception(Exception::InvalidArgument, "Cannot observe with a nil target or owner.");
    return observe(*target, key, *owner, std::move(fn));
}

template <class Target, class Cls, class T, Storage S, class Owner, class F>
    requires std::is_base_of_v<Cls, Target> && std::is_base_of_v<Object, Owner> &&
             std::is_invocable_v<F&, Owner&, T, T>
ObservationHandle observe(const Ref<Target>& target, const Key<Cls, T, S>& key, Owner& owner, F fn) {
    if (!target) throw Exception(Exception::InvalidArgument, "Cannot observe the key " + std::string(key.name()) + " of nil.");
    return observe(*target, key, owner, std::move(fn));
}

}  // namespace rt
