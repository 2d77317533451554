#pragma once
// The one stand-in through which notifiers reach a listener.
//
// A listener owns exactly one proxy (attached to it under "__listenerProxy"); every
// notifier's table refers to that proxy weakly, and the proxy refers to its listener
// weakly. When the listener goes, its proxy goes with it and drops out of every table.
//
// Typed listener protocols are abstract classes; the typed walks in IListenable.h hand
// the listener itself (as the protocol) to the caller's block. The proxy is what the
// dynamic walks hand out: messages sent to it by selector are forwarded to the listener
// when it implements them, dropped when they have no result, and refused with
// "ListenerProxy::UnimplementedReturningSelectorCalled" when they have a result that
// the listener's protocols declare but the listener lacks.

#include <optional>
#include <string>
#include <utility>
#include <string_view>

#include <rt/Object.h>
#include <rt/Proxy.h>

namespace zid {

class ListenerProxy : public rt::Proxy {
    RT_CLASS(ListenerProxy, rt::Proxy)
public:
    static constexpr const char* UnimplementedReturningSelectorCalled =
        "ListenerProxy::UnimplementedReturningSelectorCalled";

    explicit ListenerProxy(const rt::Ref<rt::Object>& target);
    static rt::Ref<ListenerProxy> proxyWithTarget(const rt::Ref<rt::Object>& target);

    /// The listener; empty once it is gone.
    rt::Ref<rt::Object> target() const { return target_.lock(); }
    void setTarget(const rt::Ref<rt::Object>& target) { target_ = target; }

    /// The base description followed by " target: <the listener's description>".
    std::string description() const override;

    /// Sends a listener message by selector through the proxy (the three outcomes above;
    /// a message with a result answers zero, false or nil when the listener is gone or
    /// nothing it adopts declares the selector).
    template <class R = void, class... Args> R send(rt::Selector selector, Args&&... args) {
        return rt::send<R>(*this, selector, std::forward<Args>(args)...);
    }

    // Forwarding of every message the proxy does not implement itself.
    /// The listener's signature for the selector (its methods, then its protocols);
    /// "v@:" when it has none or is gone.
    std::optional<rt::MethodSignature> methodSignatureForSelector(rt::Selector selector) const override;
    void forwardInvocation(rt::Invocation& invocation) override;
    bool respondsToSelector(rt::Selector selector) const override;

private:
    rt::Weak<rt::Object> target_;
};

/// Raises "ListenerProxy::UnimplementedReturningSelectorCalled" with the reason
/// "ListenerProxy::selector with return value not implemented:<selector>". The default
/// body of a listener protocol method with a result and no documented fallback.
[[noreturn]] void raiseUnimplementedReturningSelector(std::string_view selector);

}  // namespace zid
