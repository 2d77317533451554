#pragma once
// The setter of an observable property that also has a notification: stores the value
// under the owner's key, announced to its observers, and when it changed posts the
// notification on the default centre with the owner as the object.
#include <fnd/NotificationCenter.h>
#include <rt/KVO.h>

#include <string_view>
#include <utility>

namespace zid {

/// Answers whether the field changed.
template <class T, class U>
bool setAndPost(rt::Object& owner, std::string_view key, T& field, U&& value, const char* notification) {
    if (!rt::kvoSet(&owner, key, field, std::forward<U>(value))) return false;
    fnd::NotificationCenter::defaultCenter()->post(notification, owner.self());
    return true;
}

}  // namespace zid
