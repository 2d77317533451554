#pragma once
// Sending messages by selector.
//
// A message finds its method in the receiver's class (own or inherited dynamic method
// table), then among the virtual methods of the described abstract-class protocols the
// receiver derives from (rt/Protocol.h). An object that implements rt::Forwarding is
// offered every other message: first asked for its signature, then handed the message
// as an invocation. Anything else raises InvalidArgumentException
// ("-[Cls sel]: unrecognized selector sent to instance").
//
//   int n = rt::send<int>(*counter, rt::sel("addBy:"), 3);
//   if (rt::respondsToSelector(*obj, rt::sel("close"))) rt::send(*obj, rt::sel("close"));
//
// Arguments and the result convert as the invocation's typed access does (rt/Invocation.h).
// When the message is forwarded under a signature with fewer arguments the extra ones are
// not passed; when that signature has no result the caller gets zero, false or nil.

#include <optional>
#include <string>
#include <utility>

#include <rt/Invocation.h>
#include <rt/MethodSignature.h>
#include <rt/MethodTable.h>
#include <rt/Selector.h>

namespace rt {

/// Objects that take messages their class does not implement.
class Forwarding {
public:
    virtual ~Forwarding() = default;
    /// The signature to build an invocation of a message the class lacks with; none makes
    /// the message an unrecognized selector.
    virtual std::optional<MethodSignature> methodSignatureForSelector(Selector selector) const = 0;
    /// Receives such a message; leaves its result in the invocation.
    virtual void forwardInvocation(Invocation& invocation) = 0;
    /// Whether the object claims a message its class does not implement (the default:
    /// no; what the class implements is answered without asking).
    virtual bool respondsToSelector(Selector selector) const {
        (void)selector;
        return false;
    }
};

/// Whether a message with the selector reaches a method of the object (own, inherited
/// or bridged), or the object's Forwarding says it answers it.
bool respondsToSelector(const Object& obj, Selector selector);
/// Whether instances of the class have a method for the selector (own or inherited).
bool instancesRespondToSelector(const Class& cls, Selector selector);
/// The implemented method's signature; failing that, the object's Forwarding answer or,
/// for other objects, the signature a protocol the object adopts declares for it.
std::optional<MethodSignature> methodSignatureForSelector(const Object& obj, Selector selector);
/// The signature the protocols the class adopts declare for an instance method.
std::optional<MethodSignature> protocolSignatureForSelector(const Class& cls, Selector selector);

/// Delivers an invocation (its selector, arguments and result buffer) to an object.
void sendInvocation(Object& target, Invocation& invocation);
void sendInvocationToClass(const Class& cls, Invocation& invocation);

/// Raises the unrecognized-selector exception.
[[noreturn]] void raiseUnrecognizedSelector(const Object* obj, const Class* cls, Selector selector);

namespace detail {
/// The signature a send to the object uses; exact is false when it comes from forwarding.
MethodSignature signatureForSend(Object& target, Selector selector, bool& exact);
MethodSignature signatureForClassSend(const Class& cls, Selector selector);

/// Places the caller's arguments in the invocation. An exact signature (the method's
/// own) must take as many as given; a forwarding one takes what it has room for.
template <class... Args> void placeArguments(Invocation& invocation, bool exact, Args&&... args) {
    const std::size_t wanted = invocation.methodSignature().numberOfArguments() - 2;
    if (exact && wanted != sizeof...(Args))
        throw Exception(Exception::InvalidArgument, invocation.selector().name() + " takes " + std::to_string(wanted) +
                                                        " arguments, " + std::to_string(sizeof...(Args)) + " given");
    std::size_t index = 2;
    ((index - 2 < wanted ? invocation.setArgument(index++, std::forward<Args>(args)) : void(++index)), ...);
}

template <class R> R result(const Invocation& invocation) {
    if constexpr (std::is_void_v<R>) {
        return;
    } else {
        if (invocation.methodSignature().returnsVoid()) return R{};
        return invocation.template getReturnValue<R>();
    }
}
}  // namespace detail

template <class R = void, class... Args> R send(Object& target, Selector selector, Args&&... args) {
    bool exact = true;
    auto invocation = Invocation::invocationWithMethodSignature(detail::signatureForSend(target, selector, exact));
    invocation->setSelector(selector);
    detail::placeArguments(*invocation, exact, std::forward<Args>(args)...);
    sendInvocation(target, *invocation);
    return detail::result<R>(*invocation);
}

template <class R = void, class... Args> R sendClass(const Class& cls, Selector selector, Args&&... args) {
    auto invocation = Invocation::invocationWithMethodSignature(detail::signatureForClassSend(cls, selector));
    invocation->setSelector(selector);
    invocation->setTargetClass(&cls);
    detail::placeArguments(*invocation, true, std::forward<Args>(args)...);
    sendInvocationToClass(cls, *invocation);
    return detail::result<R>(*invocation);
}

}  // namespace rt
