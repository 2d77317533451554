#pragma once
// A property that any thread may set and read at once, whose key-value announcements
// run on the main thread only, in the order of the changes.
//
// get() answers the latest value. The value observers are told about (announced(),
// which the key-value coding getter answers) changes on the main thread between the
// will and did notices: at once when the change is made there, else from a block
// posted to the main queue with the other announcements of the owner. A change made
// on the main thread while an older one is still on its way makes the older one moot:
// observers never see a value go back.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include <fnd/RunLoop.h>
#include <rt/ChangeScope.h>
#include <rt/Object.h>

namespace zid {

template <class T> class MainThreadValue {
public:
    explicit MainThreadValue(T initial = T{}) : latest_(initial), announced_(std::move(initial)) {}

    T get() const {
        std::lock_guard lock(mutex_);
        return latest_;
    }
    T announced() const {
        std::lock_guard lock(mutex_);
        return announced_;
    }
    /// Stores a value without any announcement (decoding, initialisation).
    void reset(T value) {
        std::lock_guard lock(mutex_);
        latest_ = value;
        announced_ = std::move(value);
        announcedVersion_ = ++version_;
    }

    /// A stored change on its way to the observers.
    struct Change {
        std::uint64_t version;
        T value;
    };
    /// Stores the value (under the caller's own lock, when the order of changes must
    /// follow it); announce() then tells the observers.
    Change store(T value) {
        std::lock_guard lock(mutex_);
        latest_ = value;
        return Change{++version_, std::move(value)};
    }

    /// Announces key of owner on the main thread: at once when called there, else in a
    /// block given to post, which queues it on the main queue and keeps owner alive.
    void announce(rt::Object& owner, std::string_view key, Change change, const std::function<void(std::function<void()>)>& post) {
        auto run = [this, &owner, key = std::string(key), change = std::move(change)]() mutable {
            {
                std::lock_guard lock(mutex_);
                if (change.version <= announcedVersion_) return;
            }
            rt::ChangeScope scope(owner, key);
            std::lock_guard lock(mutex_);
            announced_ = std::move(change.value);
            announcedVersion_ = change.version;
        };
        if (fnd::RunLoop::isMainThread()) run();
        else post(std::move(run));
    }

    /// store() then announce().
    void set(rt::Object& owner, std::string_view key, T value, const std::function<void(std::function<void()>)>& post) {
        announce(owner, key, store(std::move(value)), post);
    }

private:
    mutable std::mutex mutex_;
    T latest_;
    T announced_;
    std::uint64_t version_ = 0;
    std::uint64_t announcedVersion_ = 0;
};

}  // namespace zid
