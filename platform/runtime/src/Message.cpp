#include <rt/Message.h>

#include <rt/Format.h>
#include <rt/Protocol.h>
#include <rt/Proxy.h>

namespace rt {

namespace {
const Forwarding* forwardingOf(const Object& obj) { return dynamic_cast<const Forwarding*>(&obj); }
Forwarding* forwardingOf(Object& obj) { return dynamic_cast<Forwarding*>(&obj); }

// The virtual methods of a typed protocol reach an object dynamically, except on a proxy:
// a proxy deriving from the protocol forwards those very calls, and must not be sent
// them back.
const Protocol::Bridge* bridgeFor(const Object& obj, Selector selector) {
    if (dynamic_cast<const Proxy*>(&obj)) return nullptr;
    return Protocol::bridgeFor(obj, selector);
}
}  // namespace

void raiseUnrecognizedSelector(const Object* obj, const Class* cls, Selector selector) {
    if (obj)
        throw Exception(Exception::InvalidArgument,
                        format("-[%@ %@]: unrecognized selector sent to instance", obj->className(), selector.name()));
    throw Exception(Exception::InvalidArgument,
                    format("+[%@ %@]: unrecognized selector sent to class", cls ? cls->name() : std::string("nil"),
                           selector.name()));
}

bool instancesRespondToSelector(const Class& cls, Selector selector) {
    return findInstanceMethod(cls, selector) != nullptr;
}

bool respondsToSelector(const Object& obj, Selector selector) {
    if (findInstanceMethod(obj.objectClass(), selector)) return true;
    if (bridgeFor(obj, selector)) return true;
    auto* forwarding = forwardingOf(obj);
    return forwarding && forwarding->respondsToSelector(selector);
}

std::optional<MethodSignature> protocolSignatureForSelector(const Class& cls, Selector selector) {
    for (const Class* c = &cls; c; c = c->superclass()) {
        for (const auto& name : c->protocols()) {
            // The protocol and the ones it adopts, nearest first.
            std::vector<const Protocol*> pending;
            if (auto* p = Protocol::named(name)) pending.push_back(p);
            for (std::size_t i = 0; i < pending.size() && i < 64; ++i) {
                const Protocol* p = pending[i];
                for (bool required : {false, true})
                    if (auto d = p->methodDescription(selector, required, true)) return MethodSignature::withTypes(d->types);
                for (const auto& adopted : p->adoptedProtocols())
                    if (auto* q = Protocol::named(adopted)) pending.push_back(q);
            }
        }
    }
    return std::nullopt;
}

std::optional<MethodSignature> methodSignatureForSelector(const Object& obj, Selector selector) {
    if (auto method = findInstanceMethod(obj.objectClass(), selector)) return method->signature();
    if (auto* bridge = bridgeFor(obj, selector)) return bridge->signature;
    if (auto* forwarding = forwardingOf(obj)) return forwarding->methodSignatureForSelector(selector);
    return protocolSignatureForSelector(obj.objectClass(), selector);
}

void sendInvocation(Object& target, Invocation& invocation) {
    const Selector selector = invocation.selector();
    if (auto method = findInstanceMethod(target.objectClass(), selector)) {
        if (auto imp = method->implementation()) (*imp)(Receiver{&target, nullptr}, invocation);
        return;
    }
    if (auto* bridge = bridgeFor(target, selector)) {
        (*bridge->imp)(Receiver{&target, nullptr}, invocation);
        return;
    }
    if (auto* forwarding = forwardingOf(target)) {
        forwarding->forwardInvocation(invocation);
        return;
    }
    raiseUnrecognizedSelector(&target, nullptr, selector);
}

void sendInvocationToClass(const Class& cls, Invocation& invocation) {
    auto method = findClassMethod(cls, invocation.selector());
    if (!method) raiseUnrecognizedSelector(nullptr, &cls, invocation.selector());
    if (auto imp = method->implementation()) (*imp)(Receiver{nullptr, &cls}, invocation);
}

namespace detail {

MethodSignature signatureForSend(Object& target, Selector selector, bool& exact) {
    exact = true;
    if (auto method = findInstanceMethod(target.objectClass(), selector)) return method->signature();
    if (auto* bridge = bridgeFor(target, selector)) return bridge->signature;
    if (auto* forwarding = forwardingOf(target)) {
        exact = false;
        if (auto signature = forwarding->methodSignatureForSelector(selector)) return *signature;
    }
    raiseUnrecognizedSelector(&target, nullptr, selector);
}

MethodSignature signatureForClassSend(const Class& cls, Selector selector) {
    if (auto method = findClassMethod(cls, selector)) return method->signature();
    raiseUnrecognizedSelector(nullptr, &cls, selector);
}

}  // namespace detail

}  // namespace rt
