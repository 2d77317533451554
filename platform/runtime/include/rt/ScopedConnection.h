#pragma once
// Typed observation for code that is not a runtime object: a host's main(), a plain C++
// class. The observation lives as long as the connection the caller keeps:
//
//     rt::ScopedConnection connection =
//         rt::observe(player, Player::statusKey, [](Status old, Status now) { ... });
//     ...
//     connection.disconnect();   // or let the connection go out of scope
//
// Underneath it is the owner-bound typed observation of rt/Key.h, owned by a small
// object the connection holds: the same order, threads and old/new values. It ends
// quietly when its target goes first, and never calls back after disconnect() or the
// connection's destruction on the calling thread.

#include <memory>
#include <utility>

#include <rt/Key.h>
#include <rt/Object.h>

namespace rt {

class ScopedConnection {
public:
    ScopedConnection() = default;
    ScopedConnection(Ref<Object> anchor, ObservationHandle handle) : anchor_(std::move(anchor)), handle_(handle) {}
    ScopedConnection(ScopedConnection&& other) noexcept
        : anchor_(std::move(other.anchor_)), handle_(std::exchange(other.handle_, ObservationHandle())) {}
    ScopedConnection& operator=(ScopedConnection&& other) noexcept {
        if (this != &other) {
            disconnect();
            anchor_ = std::move(other.anchor_);
            handle_ = std::exchange(other.handle_, ObservationHandle());
        }
        return *this;
    }
    ScopedConnection(const ScopedConnection&) = delete;
    ScopedConnection& operator=(const ScopedConnection&) = delete;
    ~ScopedConnection() { disconnect(); }

    /// Ends the observation; nothing is called after it returns. Idempotent.
    void disconnect() {
        handle_.remove();
        handle_ = ObservationHandle();
        anchor_ = nullptr;
    }
    /// Whether the observation still runs: false after disconnect() and once the
    /// target went.
    bool connected() const { return handle_.isActive(); }

private:
    Ref<Object> anchor_;  // the owner of the observation underneath
    ObservationHandle handle_;
};

namespace detail {
/// The plain object a scoped connection's observation belongs to.
Ref<Object> makeConnectionAnchor();
}  // namespace detail

/// Calls fn(old, now) after every announced change of key on target, on the changing
/// thread, until the answered connection is disconnected or destroyed, or the target goes.
template <class Target, class Cls, class T, Storage S, class F>
    requires std::is_base_of_v<Cls, Target> && std::is_invocable_v<F&, T, T>
[[nodiscard]] ScopedConnection observe(Target& target, const Key<Cls, T, S>& key, F fn) {
    auto anchor = detail::makeConnectionAnchor();
    auto handle = observe(target, key, *anchor, [fn = std::move(fn)](Object&, T old, T now) mutable {
        fn(std::move(old), std::move(now));
    });
    return ScopedConnection(std::move(anchor), handle);
}

template <class Target, class Cls, class T, Storage S, class F>
    requires std::is_base_of_v<Cls, Target> && std::is_invocable_v<F&, T, T>
[[nodiscard]] ScopedConnection observe(const Ref<Target>& target, const Key<Cls, T, S>& key, F fn) {
    if (!target) throw Exception(Exception::InvalidArgument, "Cannot observe the key " + std::string(key.name()) + " of nil.");
    return observe(*target, key, std::move(fn));
}

/// The same for a read-only key (rt::ReadKey).
template <class Target, class Cls, class T, class F>
    requires std::is_base_of_v<Cls, Target> && std::is_invocable_v<F&, T, T>
[[nodiscard]] ScopedConnection observe(Target& target, const ReadKey<Cls, T>& key, F fn) {
    auto anchor = detail::makeConnectionAnchor();
    auto handle = observe(target, key, *anchor, [fn = std::move(fn)](Object&, T old, T now) mutable {
        fn(std::move(old), std::move(now));
    });
    return ScopedConnection(std::move(anchor), handle);
}

template <class Target, class Cls, class T, class F>
    requires std::is_base_of_v<Cls, Target> && std::is_invocable_v<F&, T, T>
[[nodiscard]] ScopedConnection observe(const Ref<Target>& target, const ReadKey<Cls, T>& key, F fn) {
    if (!target) throw Exception(Exception::InvalidArgument, "Cannot observe the key " + std::string(key.name()) + " of nil.");
    return observe(*target, key, std::move(fn));
}

}  // namespace rt
