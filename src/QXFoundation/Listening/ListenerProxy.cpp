#include <QXFoundation/Listening/ListenerProxy.h>

#include <rt/Exception.h>

namespace zid {

ListenerProxy::ListenerProxy(const rt::Ref<rt::Object>& target) : target_(target) {}

rt::Ref<ListenerProxy> ListenerProxy::proxyWithTarget(const rt::Ref<rt::Object>& target) {
    return rt::make<ListenerProxy>(target);
}

std::string ListenerProxy::description() const {
    auto target = target_.lock();
    return super::description() + " target: " + (target ? target->description() : std::string("(null)"));
}

void raiseUnimplementedReturningSelector(std::string_view selector) {
    throw rt::Exception(ListenerProxy::UnimplementedReturningSelectorCalled,
                        "ListenerProxy::selector with return value not implemented:" + std::string(selector));
}

}  // namespace zid
