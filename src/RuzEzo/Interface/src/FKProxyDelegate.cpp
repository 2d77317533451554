#include <RuzEzo/Interface/FKProxyDelegate.h>

#include <map>
#include <mutex>

#include <QXFoundation/Extensions/InvocationExtensions.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <rt/Message.h>
#include <rt/StandIn.h>
#include <ui/DelegateProtocols.h>

namespace zid {

// ---- invocation values ---------------------------------------------------------------------

bool FKInvocationValue::isEqual(const rt::Object& other) const {
    auto* o = dynamic_cast<const FKInvocationValue*>(&other);
    return o && isEquelWithInvocationValue(*o);
}

bool FKInvocationValue::isEquelWithInvocationValue(const FKInvocationValue& o) const {
    if (!(selector_ == o.selector_)) return false;
    if (!(returnValue_.isIdentical(o.returnValue_) || returnValue_.isEqual(o.returnValue_))) return false;
    return rt::Value(arguments_).isEqual(rt::Value(o.arguments_));
}

// ---- defaults per protocol ---------------------------------------------------------------------

namespace {
struct DefaultsRegistry {
    std::mutex mutex;
    std::map<std::string, std::function<rt::Ref<rt::Object>()>, std::less<>> makers;
};
DefaultsRegistry& defaultsRegistry() {
    static auto* r = new DefaultsRegistry();
    return *r;
}

const bool toolkitProtocolsRegistered = [] {
    ui::describeDelegateProtocols();
    registerProtocolDefaults<ui::SearchBarDelegate>(ui::DelegateProtocol::SearchBar);
    registerProtocolDefaults<ui::TextViewDelegate>(ui::DelegateProtocol::TextView);
    registerProtocolDefaults<ui::TextFieldDelegate>(ui::DelegateProtocol::TextField);
    registerProtocolDefaults<ui::WebViewDelegate>(ui::DelegateProtocol::WebView);
    return true;
}();
}  // namespace

void detail::addProtocolDefaults(std::string name, std::function<rt::Ref<rt::Object>()> make) {
    auto& r = defaultsRegistry();
    std::lock_guard lock(r.mutex);
    r.makers[std::move(name)] = std::move(make);
}

rt::Ref<rt::Object> protocolDefaults(std::string_view name) {
    (void)toolkitProtocolsRegistered;
    std::function<rt::Ref<rt::Object>()> make;
    {
        auto& r = defaultsRegistry();
        std::lock_guard lock(r.mutex);
        auto it = r.makers.find(name);
        if (it == r.makers.end()) return nullptr;
        make = it->second;
    }
    return make();
}

// ---- the proxy --------------------------------------------------------------------------------

rt::Ref<FKProxyDelegate> FKProxyDelegate::proxyWithProtocol(const rt::Protocol& protocol) {
    return rt::make<FKProxyDelegate>(&protocol);
}

std::string FKProxyDelegate::keyForSelector(rt::Selector selector) { return "selectorSignal::" + selector.name(); }

FKSignalRef FKProxyDelegate::signalForSelector(rt::Selector selector) {
    return customSignal(*this, rt::Value(keyForSelector(selector)), [] { return rt::make<FKInvocationSignal>(); });
}

std::optional<rt::MethodSignature> FKProxyDelegate::methodSignatureForSelector(rt::Selector selector) const {
    if (protocol_) {
        auto d = protocol_->methodDescription(selector, false, true);
        if (!d) d = protocol_->methodDescription(selector, true, true);
        if (d) return rt::MethodSignature::withTypes(d->types);
    }
    return rt::Proxy::methodSignatureForSelector(selector);
}

bool FKProxyDelegate::respondsToSelector(rt::Selector selector) const {
    if (customSignalForKey(*this, rt::Value(keyForSelector(selector)))) return true;
    auto wrapped = wrapped_.lock();
    return wrapped && rt::respondsToSelector(*wrapped, selector);
}

void FKProxyDelegate::forwardInvocation(rt::Invocation& invocation) {
    auto keep = self();
    rt::Selector selector = invocation.selector();
    auto wrapped = wrapped_.lock();
    if (wrapped && rt::respondsToSelector(*wrapped, selector)) {
        invocation.invokeWithTarget(*wrapped);
    } else if (protocol_ && protocolDeclaresSelector(*protocol_, selector)) {
        // Nobody took the call: the protocol's default answers it.
        if (auto defaults = protocolDefaults(protocol_->name());
            defaults && rt::respondsToSelector(*defaults, selector)) {
            invocation.invokeWithTarget(*defaults);
        }
    }
    if (auto signal = customSignalForKey(*this, rt::Value(keyForSelector(selector)))) {
        signal->setValue(rt::Value(std::static_pointer_cast<rt::Object>(
            FKInvocationValue::valueWithSelector(selector, zid::arguments(invocation), zid::returnValue(invocation)))));
    }
}

// ---- categories on every object -------------------------------------------------------------------

namespace {

/// Installs the proxy as the delegate of a toolkit object that takes one of its protocol.
template <class P, class Owner>
bool installAs(rt::Object& object, const rt::Ref<FKProxyDelegate>& proxy, const std::string& key) {
    auto* owner = dynamic_cast<Owner*>(&object);
    if (!owner) return false;
    rt::Ref<rt::Object> holder;
    P* standIn = rt::asProtocol<P>(*proxy, holder);
    if (!standIn) return false;
    object.setAssociatedObject(rt::Value(holder), key + "::standIn");
    owner->setDelegate(standIn);
    return true;
}

}  // namespace

rt::Ref<FKProxyDelegate> proxyDelegateWithProtocol(rt::Object& object, const rt::Protocol& protocol) {
    (void)toolkitProtocolsRegistered;
    std::string key = "__proxyDelegate::" + protocol.name();
    if (auto existing = object.associatedObject(key).as<FKProxyDelegate>()) return existing;
    auto proxy = FKProxyDelegate::proxyWithProtocol(protocol);
    object.setAssociatedObject(rt::Value(std::static_pointer_cast<rt::Object>(proxy)), key);
    const std::string& name = protocol.name();
    if (name == ui::DelegateProtocol::TextView) installAs<ui::TextViewDelegate, ui::TextView>(object, proxy, key);
    else if (name == ui::DelegateProtocol::TextField) installAs<ui::TextFieldDelegate, ui::TextField>(object, proxy, key);
    else if (name == ui::DelegateProtocol::SearchBar) installAs<ui::SearchBarDelegate, ui::SearchBar>(object, proxy, key);
    else if (rt::respondsToSelector(object, rt::sel("setDelegate:"))) {
        rt::send(object, rt::sel("setDelegate:"), rt::Value(std::static_pointer_cast<rt::Object>(proxy)));
    }
    return proxy;
}

rt::Ref<FKProxyDelegate> asWeakDelegateForProtocol(rt::Object& object, const rt::Protocol& protocol) {
    std::string key = "__weakDelegate::" + protocol.name();
    if (auto existing = object.associatedObject(key).as<FKProxyDelegate>()) return existing;
    auto proxy = FKProxyDelegate::proxyWithProtocol(protocol);
    proxy->setWrappedDelegate(object.self());
    object.setAssociatedObject(rt::Value(std::static_pointer_cast<rt::Object>(proxy)), key);
    return proxy;
}

}  // namespace zid
