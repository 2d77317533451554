#pragma once
// Keypath and custom signals on every object.
//
// An object keeps one live keypath signal per key path: asking again while somebody
// holds the first gives the same signal; once it has been freed, a fresh one with the
// current value. The object's dealloc signal closes all of them (and its custom
// signals) when the object is destroyed, before its own destruction code runs.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <RuzEzo/Signal/Holder/FKSignalHolder.h>
#include <RuzEzo/Signal/Keypath/FKKeypathSignal.h>

namespace zid {

rt::Ref<FKKeypathSignal> signalForKeypath(rt::Object& object, const std::string& keypath);
template <class T> rt::Ref<FKKeypathSignal> signalForKeypath(const rt::Ref<T>& object, const std::string& keypath) {
    return signalForKeypath(*object, keypath);
}
/// The object's live keypath signals; nullopt when it never made one.
std::optional<std::vector<FKSignalRef>> keypathSignals(const rt::Object& object);

/// Stores the signal weakly under the key (a nil key is a caller error).
void setCustomSignal(rt::Object& object, const FKSignalRef& signal, const rt::Value& key);
/// The live signal stored under the key, or null; makes nothing.
FKSignalRef customSignalForKey(const rt::Object& object, const rt::Value& key);
/// The live signal stored under the key; when there is none, the one make() returns,
/// stored under the key. The caller keeps it alive: the object holds it weakly.
FKSignalRef customSignal(rt::Object& object, const rt::Value& key, const std::function<FKSignalRef()>& make);

}  // namespace zid
