#include <QXFoundation/Listening/ListenerProxy.h>

#include <rt/Exception.h>
#include <rt/Message.h>

namespace zid {

ListenerProxy::ListenerProxy(const rt::Ref<rt::Object>& target) : target_(target) {}

rt::Ref<ListenerProxy> ListenerProxy::proxyWithTarget(const rt::Ref<rt::Object>& target) {
    return rt::make<ListenerProxy>(target);
}

std::string ListenerProxy::description() const {
    auto target = target_.lock();
    return super::description() + " target: " + (target ? target->description() : std::string("(null)"));
}

std::optional<rt::MethodSignature> ListenerProxy::methodSignatureForSelector(rt::Selector selector) const {
    if (auto target = target_.lock())
        if (auto signature = rt::methodSignatureForSelector(*target, selector)) return signature;
    return rt::MethodSignature::of<void()>();
}

bool ListenerProxy::respondsToSelector(rt::Selector selector) const {
    auto target = target_.lock();
    return target && rt::respondsToSelector(*target, selector);
}

void ListenerProxy::forwardInvocation(rt::Invocation& invocation) {
    auto target = target_.lock();  // keeps the listener alive for the call
    if (target && rt::respondsToSelector(*target, invocation.selector())) {
        invocation.invokeWithTarget(*target);
        return;
    }
    if (invocation.methodSignature().returnsVoid()) return;  // an optional message it lacks
    raiseUnimplementedReturningSelector(invocation.selector().name());
}

void raiseUnimplementedReturningSelector(std::string_view selector) {
    throw rt::Exception(ListenerProxy::UnimplementedReturningSelectorCalled,
                        "ListenerProxy::selector with return value not implemented:" + std::string(selector));
}

}  // namespace zid
