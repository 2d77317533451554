#pragma once
// Extra values attached to any object under string keys: the storage of extension
// state everywhere (listener tables, dealloc signals, delegate proxies).

#include <string_view>

#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

/// Strong: the owner keeps the value until the key is set again or the owner goes.
/// A nil value removes the entry.
inline void setAssociatedObject(rt::Object& owner, const rt::Value& value, std::string_view key) {
    owner.setAssociatedObject(value, key);
}
/// Unretained: the owner does not keep the value; it reads as nil once the value is gone.
inline void setWeakAssociatedObject(rt::Object& owner, const rt::Ref<rt::Object>& value, std::string_view key) {
    owner.setWeakAssociatedObject(value, key);
}
inline rt::Value associatedObjectForKey(const rt::Object& owner, std::string_view key) {
    return owner.associatedObject(key);
}

}  // namespace zid
