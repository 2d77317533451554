#include <RuzEzo/Binding/FKBindingCategory.h>

namespace zid {

namespace {
constexpr std::string_view kBindingsKey = "__Bindings";
constexpr std::string_view kKeypathBindingPrefix = "__FKB_KP::";
}  // namespace

FKBindingRef bindingWithKey(const rt::Object& object, std::string_view key) {
    auto dictionary = bindings(object);
    return dictionary ? dictionary->get(key) : nullptr;
}

void setBinding(rt::Object& object, FKBindingRef binding, const std::string& key) {
    auto dictionary = bindings(object);
    if (!dictionary) {
        dictionary = rt::make<FKBindingDictionary>();
        object.setAssociatedObject(rt::Value(dictionary), kBindingsKey);
    }
    dictionary->set(key, std::move(binding));
}

void fk_unbind(rt::Object& object, const FKBindingRef& binding) {
    if (!binding) return;
    auto keepAlive = binding;
    binding->dispose();
    if (auto dictionary = bindings(object)) dictionary->removeBinding(binding.get());
}

rt::Ref<FKBindingDictionary> bindings(const rt::Object& object) {
    return object.associatedObject(kBindingsKey).as<FKBindingDictionary>();
}

rt::Ref<FKKeypathBinding> bindingWithKeypath(rt::Object& object, const std::string& keypath) {
    const std::string key = std::string(kKeypathBindingPrefix) + keypath;
    if (auto existing = std::dynamic_pointer_cast<FKKeypathBinding>(bindingWithKey(object, key))) return existing;
    auto binding = FKKeypathBinding::bindingWithTarget(object.self(), keypath);
    setBinding(object, binding, key);
    return binding;
}

}  // namespace zid
