#pragma once
// A task's block, read and replaced under a lock: the queue's worker reads it while the
// owner may still assign it.

#include <mutex>
#include <utility>

namespace zid {

template <class Fn> class GuardedBlock {
public:
    GuardedBlock() = default;
    explicit GuardedBlock(Fn fn) : fn_(std::move(fn)) {}
    Fn get() const {
        std::lock_guard lock(mutex_);
        return fn_;
    }
    void set(Fn fn) {
        std::lock_guard lock(mutex_);
        fn_ = std::move(fn);
    }

private:
    mutable std::mutex mutex_;
    Fn fn_;
};

}  // namespace zid
