#pragma once
// What the engines share in loading an asset: the loads started and not yet answered, by
// asset (what a cancel finds and a load's answer takes back), and starting a load on the
// main thread, whichever thread asked.

#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include <fnd/Queue.h>
#include <fnd/RunLoop.h>

namespace media {

class Asset;

/// The state of each load in progress (a pipeline, an engine process), by its asset. Any
/// thread.
template <class State>
class PendingLoads {
public:
    void put(const Asset* key, std::shared_ptr<State> state) {
        std::lock_guard lock(mutex_);
        loads_[key] = std::move(state);
    }

    /// Takes the asset's load out; with `only`, only when it is that one (not a newer load
    /// of the same asset). nullptr when there is none.
    std::shared_ptr<State> take(const Asset* key, const std::shared_ptr<State>& only = nullptr) {
        std::lock_guard lock(mutex_);
        auto it = loads_.find(key);
        if (it == loads_.end() || (only && it->second != only)) return nullptr;
        auto state = std::move(it->second);
        loads_.erase(it);
        return state;
    }

    /// Whether the asset's load in progress is `state`.
    bool holds(const Asset* key, const std::shared_ptr<State>& state) {
        std::lock_guard lock(mutex_);
        auto it = loads_.find(key);
        return it != loads_.end() && it->second == state;
    }

private:
    std::mutex mutex_;
    std::map<const Asset*, std::shared_ptr<State>> loads_;
};

/// Runs `start` now on the main thread, or posts it there from any other.
inline void startOnMainThread(std::function<void()> start) {
    if (fnd::RunLoop::main()->isCurrent()) start();
    else fnd::Queue::main()->async(std::move(start));
}

}  // namespace media
