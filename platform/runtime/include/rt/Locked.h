#pragma once
// A value that any thread reads and replaces under its own lock, for the fields of a
// class whose getters and setters may be called from several threads at once:
//
//     rt::Locked<rt::Ref<Filter>> filter_;
//     rt::Ref<Filter> filter() const { return filter_.get(); }
//     void setFilter(rt::Ref<Filter> f) { filter_.set(std::move(f)); }
//
// The lock is held only to copy or swap the value: the value a write replaces is
// released after the lock, as its destructor may call out (a last reference, a block's
// captures) and must not run under it.

#include <mutex>
#include <utility>

namespace rt {

template <class T> class Locked {
public:
    Locked() = default;
    explicit Locked(T value) : value_(std::move(value)) {}
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

    T get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }

    void set(T value) { (void)exchange(std::move(value)); }

    /// Stores value and answers the one it replaced.
    T exchange(T value) {
        std::lock_guard lock(mutex_);
        return std::exchange(value_, std::move(value));
    }

private:
    mutable std::mutex mutex_;
    T value_{};
};

}  // namespace rt
