#pragma once
// How a parent task of the CDN selection waits for a child: an observation of the
// child's "isFinished" that calls the parent once, on the main thread, holding the
// parent weakly and the child strongly. The parent keeps the observation; it ends with
// the parent.

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include <RudoreVaz/Task/OperationTasks/AKOperationTask.h>
#include <rt/KVO.h>

namespace zid::cdn {

template <class Parent>
rt::Ref<rt::Observation> whenFinished(const rt::Ref<Parent>& parent, const rt::Ref<AKOperationTask>& child,
                                      std::function<void(Parent&, const rt::Ref<AKOperationTask>&)> then) {
    std::weak_ptr<Parent> weakParent = parent;
    auto fired = std::make_shared<bool>(false);
    return rt::observe(child, "isFinished", rt::KVOInitial,
                       [weakParent, child, fired, then = std::move(then)](const rt::KVOChange&) {
                           if (*fired || !child->isFinished()) return;
                           auto owner = weakParent.lock();
                           if (!owner) return;
                           *fired = true;
                           then(*owner, child);
                       });
}

/// Starts the availability test of every child at once, keeping each test in `pending`
/// and its observation in `waiting`; `finished` runs on the parent as each test ends,
/// with the test and the child it tests.
template <class Parent, class Child>
void testEachAtOnce(const rt::Ref<Parent>& parent, const std::vector<rt::Ref<Child>>& children,
                    std::vector<rt::Ref<AKOperationTask>>& pending, std::vector<rt::Ref<rt::Observation>>& waiting,
                    void (Parent::*finished)(const rt::Ref<AKOperationTask>&, const rt::Ref<Child>&)) {
    for (const auto& child : children) {
        auto test = child->testAvailability();
        pending.push_back(test);
        waiting.push_back(whenFinished<Parent>(
            parent, test, [child, finished](Parent& owner, const rt::Ref<AKOperationTask>& done) {
                (owner.*finished)(done, child);
            }));
    }
}

/// A test passed when it ended neither failed nor cancelled.
inline bool passed(const AKOperationTask& test) { return !test.isFailed() && !test.isCancelled(); }

/// The objects in ascending order of the latency given for each; equal ones keep their order.
template <class T, class Latency>
std::vector<rt::Ref<T>> byLatency(std::vector<rt::Ref<T>> objects, Latency latency) {
    std::stable_sort(objects.begin(), objects.end(),
                     [&latency](const auto& a, const auto& b) { return latency(*a) < latency(*b); });
    return objects;
}

/// The services, locations or sites held in a task's result array.
template <class T> std::vector<rt::Ref<T>> objectsOf(const rt::Value& value) {
    std::vector<rt::Ref<T>> objects;
    for (const auto& item : value.array())
        if (auto object = item.template as<T>()) objects.push_back(object);
    return objects;
}

template <class T> rt::Value arrayOf(const std::vector<rt::Ref<T>>& objects) {
    rt::Value::Array array;
    for (const auto& object : objects) array.emplace_back(object);
    return rt::Value(std::move(array));
}

}  // namespace zid::cdn
