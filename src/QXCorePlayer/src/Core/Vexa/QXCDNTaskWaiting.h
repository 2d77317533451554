#pragma once
// How a parent task of the CDN selection waits for a child: an observation of the
// child's "isFinished" that calls the parent once, on the main thread, holding the
// parent weakly and the child strongly. The parent keeps the observation; it ends with
// the parent.

#include <functional>
#include <memory>

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
