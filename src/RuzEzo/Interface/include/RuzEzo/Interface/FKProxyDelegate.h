#pragma once
// A delegate proxy: stands in as the delegate for one protocol, passes each call on to
// a wrapped delegate (when it answers the call) and publishes every call as a value on
// a per-selector signal. A call no wrapped delegate takes answers the protocol's own
// default (a should-method answers YES, so links and loads keep working).

#include <string>

#include <RuzEzo/Signal/FKSignal.h>
#include <rt/Invocation.h>
#include <rt/Protocol.h>
#include <rt/Proxy.h>
#include <rt/Selector.h>

namespace zid {

/// The value of an invocation signal: the method, its arguments boxed in order, and
/// its boxed result after the wrapped delegate ran (nil for a void method).
class FKInvocationValue : public rt::Object {
    RT_CLASS(FKInvocationValue, rt::Object)
public:
    FKInvocationValue(rt::Selector selector, rt::Value::Array arguments, rt::Value returnValue)
        : selector_(selector), arguments_(std::move(arguments)), returnValue_(std::move(returnValue)) {}
    static rt::Ref<FKInvocationValue> valueWithSelector(rt::Selector selector, rt::Value::Array arguments,
                                                        rt::Value returnValue) {
        return rt::make<FKInvocationValue>(selector, std::move(arguments), std::move(returnValue));
    }
    rt::Selector selector() const { return selector_; }
    const rt::Value::Array& arguments() const { return arguments_; }
    const rt::Value& returnValue() const { return returnValue_; }
    bool isEqual(const rt::Object& other) const override;
    bool isEquelWithInvocationValue(const FKInvocationValue& other) const;

private:
    rt::Selector selector_;
    rt::Value::Array arguments_;
    rt::Value returnValue_;
};

/// Sends every call, equal or not.
class FKInvocationSignal : public FKSignal {
    RT_CLASS(FKInvocationSignal, FKSignal)
public:
    bool repetitive() const override { return true; }
};

class FKProxyDelegate : public rt::Proxy {
    RT_CLASS(FKProxyDelegate, rt::Proxy)
public:
    explicit FKProxyDelegate(const rt::Protocol* protocol = nullptr) : protocol_(protocol) {}
    static rt::Ref<FKProxyDelegate> proxyWithProtocol(const rt::Protocol& protocol);

    const rt::Protocol* protocol() const { return protocol_; }
    /// Only the proxy's own protocol (and what it adopts): proxies for other protocols
    /// do not make this one answer for them.
    bool conformsToProtocol(std::string_view name) const { return protocol_ && protocol_->conformsTo(name); }

    rt::Ref<rt::Object> wrappedDelegate() const { return wrapped_.lock(); }
    void setWrappedDelegate(const rt::Ref<rt::Object>& d) { wrapped_ = d; }

    /// The live invocation signal for the selector, made and filed when none is held.
    FKSignalRef signalForSelector(rt::Selector selector);
    static std::string keyForSelector(rt::Selector selector);

    std::optional<rt::MethodSignature> methodSignatureForSelector(rt::Selector selector) const override;
    bool respondsToSelector(rt::Selector selector) const override;
    void forwardInvocation(rt::Invocation& invocation) override;

private:
    const rt::Protocol* protocol_;
    rt::Weak<rt::Object> wrapped_;
};

/// An object of the protocol's typed class that overrides nothing: what answers a call
/// nobody else takes. Registered per protocol name; nil for an unregistered one.
rt::Ref<rt::Object> protocolDefaults(std::string_view protocolName);
template <class P> void registerProtocolDefaults(std::string name);

/// The receiver's proxy for the protocol: made once (no wrapped delegate) and, when
/// the receiver takes a delegate of that protocol, made its delegate.
rt::Ref<FKProxyDelegate> proxyDelegateWithProtocol(rt::Object& object, const rt::Protocol& protocol);
/// A proxy whose wrapped delegate is the receiver: a delegate that forwards to it
/// without keeping it alive.
rt::Ref<FKProxyDelegate> asWeakDelegateForProtocol(rt::Object& object, const rt::Protocol& protocol);

namespace detail {
void addProtocolDefaults(std::string name, std::function<rt::Ref<rt::Object>()> make);
}
template <class P> void registerProtocolDefaults(std::string name) {
    struct Defaults : rt::Object, P {};
    detail::addProtocolDefaults(std::move(name), [] { return std::static_pointer_cast<rt::Object>(rt::make<Defaults>()); });
}

}  // namespace zid
