#pragma once
// Bindings on every object: the object owns a dictionary of bindings (made by the
// first setBinding), so a binding lives as long as its target unless unbound first.
// Keypath bindings are filed under "__FKB_KP::" followed by the keypath: at most one
// per target and keypath.

#include <string>

#include <RuzEzo/Binding/FKBindingDictionary.h>
#include <RuzEzo/Binding/FKKeypathBinding.h>

namespace zid {

/// The binding under the key, or null (also when the object has no dictionary).
FKBindingRef bindingWithKey(const rt::Object& object, std::string_view key);
/// Stores the binding under the key, making the dictionary on first use; null removes
/// the key.
void setBinding(rt::Object& object, FKBindingRef binding, const std::string& key);
/// Disposes the binding and removes it from the object's dictionary (the first key
/// holding that very binding). A binding not in the dictionary is only disposed.
void fk_unbind(rt::Object& object, const FKBindingRef& binding);
/// The object's binding dictionary, or null before its first binding.
rt::Ref<FKBindingDictionary> bindings(const rt::Object& object);
/// The object's keypath binding for the keypath, made and filed when absent.
rt::Ref<FKKeypathBinding> bindingWithKeypath(rt::Object& object, const std::string& keypath);

}  // namespace zid
