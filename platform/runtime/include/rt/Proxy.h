#pragma once
// The root of forwarding proxies: an object that implements almost nothing itself and
// hands every message its class lacks to forwardInvocation(). Subclasses answer
// methodSignatureForSelector() and forwardInvocation() (rt::Forwarding).
//
// A proxy can stand where a typed protocol (an abstract class) is expected: derive from
// the proxy and the protocol, and let each override forward its call:
//
//   class ThingListenerProxy : public rt::Proxy, public IThingListener {
//       RT_CLASS(ThingListenerProxy, rt::Proxy)
//   public:
//       void thingDidMove(Thing& t) override { forward<void>(rt::sel("thingDidMove:"), t); }
//       ...
//   };

#include <optional>
#include <utility>

#include <rt/Message.h>

namespace rt {

class Proxy : public Object, public Forwarding {
    RT_CLASS(Proxy, Object)
public:
    /// A proxy answers YES: it stands for another object.
    bool isProxy() const { return true; }

    /// The default: no signature (every message unknown to the class is unrecognized).
    std::optional<MethodSignature> methodSignatureForSelector(Selector selector) const override;
    /// The default raises the unrecognized-selector exception.
    void forwardInvocation(Invocation& invocation) override;

protected:
    /// Sends a message to this proxy by selector, as a dynamic caller would: a method the
    /// class implements runs, anything else is forwarded.
    template <class R = void, class... Args> R forward(Selector selector, Args&&... args) {
        return send<R>(*this, selector, std::forward<Args>(args)...);
    }
};

}  // namespace rt
