#include <QXFoundation/Listening/IListenable.h>

#include <mutex>

#include <QXFoundation/Listening/ListenerTable.h>
#include <QXFoundation/ObjectAssociation/ObjectAssociation.h>
#include <rt/Protocol.h>
#include <rt/Value.h>

namespace zid {

namespace {
constexpr const char* ProxyKey = "__listenerProxy";

/// Lets trampolines and other dynamic listeners take willChange() / didChange().
class ObjectChangeStandIn : public rt::StandIn<IObjectChangeListener> {
    RT_CLASS(ObjectChangeStandIn, rt::Proxy)
public:
    void objectWillChange(rt::Object& object) override { forward<void>(rt::sel("objectWillChange:"), object); }
    void objectDidChange(rt::Object& object) override { forward<void>(rt::sel("objectDidChange:"), object); }
};

const bool objectChangeDescribed = [] {
    rt::Protocol::describe("IObjectChangeListener")
        .optional(rt::sel("objectWillChange:"), &IObjectChangeListener::objectWillChange)
        .optional(rt::sel("objectDidChange:"), &IObjectChangeListener::objectDidChange);
    rt::registerStandIn<IObjectChangeListener, ObjectChangeStandIn>("IObjectChangeListener");
    return true;
}();
}

rt::Ref<ListenerProxy> listenerProxyFor(const rt::Object& listener) {
    // One proxy per listener, also when two threads register it at the same moment.
    return associatedObjectOrMake<ListenerProxy>(listener, ProxyKey, [&] {
        return ListenerProxy::proxyWithTarget(const_cast<rt::Object&>(listener).self());
    });
}

void addListener(const rt::Object& notifier, const rt::Ref<rt::Object>& listener) {
    if (!listener) return;
    auto table = ListenerTable::of(notifier);
    table->add(listenerProxyFor(*listener));
}

void removeListener(const rt::Object& notifier, const rt::Object& listener) {
    auto proxy = listener.associatedObject(ProxyKey).as<ListenerProxy>();
    if (!proxy) return;
    ListenerTable::of(notifier)->remove(*proxy);
}

rt::Ref<ListenerTable> listeners(const rt::Object& notifier) { return ListenerTable::of(notifier); }

std::vector<rt::Ref<ListenerProxy>> listenerProxies(const rt::Object& notifier) {
    return ListenerTable::of(notifier)->snapshot();
}

void willChange(const rt::Object& notifier) {
    auto& object = const_cast<rt::Object&>(notifier);
    notifyListeners<IObjectChangeListener>(notifier, [&](IObjectChangeListener& l) { l.objectWillChange(object); });
}

void didChange(const rt::Object& notifier) {
    auto& object = const_cast<rt::Object&>(notifier);
    notifyListeners<IObjectChangeListener>(notifier, [&](IObjectChangeListener& l) { l.objectDidChange(object); });
}

void notifyListeners(const rt::Object& notifier, const std::function<void(ListenerProxy&)>& block) {
    for (const auto& proxy : listenerProxies(notifier)) block(*proxy);
}

bool askListeners(const rt::Object& notifier, const std::function<bool(ListenerProxy&)>& block, bool defaultAnswer) {
    for (const auto& proxy : listenerProxies(notifier)) {
        bool yes;
        try {
            yes = block(*proxy);
        } catch (const std::exception&) {
            yes = defaultAnswer;
        }
        if (!yes) return false;
    }
    return true;
}

bool allListeners(const rt::Object& notifier, const std::function<bool(ListenerProxy&)>& block) {
    for (const auto& proxy : listenerProxies(notifier))
        if (!block(*proxy)) return false;
    return true;
}

bool anyListener(const rt::Object& notifier, const std::function<bool(ListenerProxy&)>& block) {
    for (const auto& proxy : listenerProxies(notifier))
        if (block(*proxy)) return true;
    return false;
}

}  // namespace zid
