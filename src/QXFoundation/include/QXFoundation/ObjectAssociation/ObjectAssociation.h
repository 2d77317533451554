#pragma once
// Extra values attached to any object under string keys: the storage of extension
// state everywhere (listener tables, dealloc signals, delegate proxies).

#include <mutex>
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

/// The object of class T stored strongly under key, made with make() and stored on
/// first use: the extension state an object carries for a category (a listener table,
/// a listener's proxy). Made once even when two threads ask at the same moment; make()
/// must not itself ask for associated state this way.
template <class T, class Make> rt::Ref<T> associatedObjectOrMake(const rt::Object& owner, std::string_view key, Make&& make) {
    auto& object = const_cast<rt::Object&>(owner);  // extension state, not part of the owner's own state
    if (auto existing = object.associatedObject(key).template as<T>()) return existing;
    static std::mutex creation;
    std::lock_guard lock(creation);
    if (auto existing = object.associatedObject(key).template as<T>()) return existing;
    rt::Ref<T> made = make();
    object.setAssociatedObject(rt::Value(made), key);
    return made;
}

}  // namespace zid
