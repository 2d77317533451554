#pragma once
// Listeners on any object.
//
// Any object can be a notifier: nothing is declared on it. Listeners are held weakly
// (a listener that goes away drops out by itself); a listener registered twice is
// registered once. Listener protocols are abstract classes whose optional methods have
// default bodies: a void method does nothing (the message is dropped), a method with a
// result answers its documented fallback or calls raiseUnimplementedReturningSelector().
//
//   class IThingListener {
//   public:
//       virtual ~IThingListener() = default;
//       virtual void thingDidMove(Thing& thing) {}                   // optional, void
//       virtual bool thingShouldStop(Thing& thing) {                 // optional, result
//           zid::raiseUnimplementedReturningSelector("thingShouldStop:");
//       }
//   };
//
//   zid::addListener(*thing, listener);                 // listener: rt::Ref of an rt::Object
//   zid::notifyListeners<IThingListener>(*thing, [&](IThingListener& l) { l.thingDidMove(*thing); });
//   bool go = zid::askListeners<IThingListener>(*thing,
//       [&](IThingListener& l) { return l.thingShouldStop(*thing); }, /*defaultAnswer*/ true);
//
// The typed walks reach every live listener that implements Protocol (others are not
// its listeners and are skipped). Each walk runs over a snapshot taken when it starts, so
// a block may add or remove listeners, itself included; a listener removed during the
// walk may still receive that event. A listener is kept alive while its block runs.
//
//   notifyListeners<P>(n, block)               block(P&) for each listener
//   askListeners<P>(n, block, defaultAnswer)   the first false ends with false; a block that
//                                              throws counts as defaultAnswer (true: go on,
//                                              false: end with false); true when none
//   allListeners<P>(n, block)                  true unless a block answers false; true when none
//   anyListener<P>(n, block)                   true at the first block answering true
//   willChange(n) / didChange(n)               objectWillChange(n) / objectDidChange(n) of
//                                              every IObjectChangeListener
//
// A listener that answers Protocol only dynamically (a trampoline for it, a class adopting
// it by name) is reached when the protocol registered a stand-in (rt/StandIn.h); the
// stand-in sends each call to the listener's proxy, so the listener gets it, a void call
// it lacks is dropped, and a call with a result it lacks raises.
//
// The untyped forms hand out each listener's ListenerProxy, to which messages are sent
// by selector (see ListenerProxy.h):
//   zid::notifyListeners(*thing, [&](zid::ListenerProxy& p) { p.send(rt::sel("thingDidMove:"), thing); });
// For a protocol to be reached this way, describe it (rt::Protocol::describe, rt/Protocol.h).
//
// There is no lock: a notifier's table belongs to one thread at a time.

#include <exception>
#include <functional>
#include <utility>
#include <vector>

#include <QXFoundation/Listening/ListenerProxy.h>
#include <QXFoundation/Listening/ListenerTable.h>
#include <rt/Object.h>
#include <rt/StandIn.h>

namespace zid {

/// The call-backs of willChange() and didChange(); both optional. Described to the
/// dynamic layer as "IObjectChangeListener" ("objectWillChange:", "objectDidChange:").
class IObjectChangeListener {
public:
    virtual ~IObjectChangeListener() = default;
    virtual void objectWillChange(rt::Object& object) { (void)object; }
    virtual void objectDidChange(rt::Object& object) { (void)object; }
};

/// Registers listener with notifier (once; held weakly).
void addListener(const rt::Object& notifier, const rt::Ref<rt::Object>& listener);
/// Unregisters listener; a listener that was never registered anywhere is ignored.
void removeListener(const rt::Object& notifier, const rt::Object& listener);
/// The notifier's table, made (empty) and attached under "__listeners" on first use.
rt::Ref<ListenerTable> listeners(const rt::Object& notifier);
/// The proxies of the notifier's live listeners, in registration order.
std::vector<rt::Ref<ListenerProxy>> listenerProxies(const rt::Object& notifier);
/// The listener's one proxy, made and attached on first use.
rt::Ref<ListenerProxy> listenerProxyFor(const rt::Object& listener);

void willChange(const rt::Object& notifier);
void didChange(const rt::Object& notifier);

// ---- untyped walks: the block receives the listener's proxy ------------------------
void notifyListeners(const rt::Object& notifier, const std::function<void(ListenerProxy&)>& block);
bool askListeners(const rt::Object& notifier, const std::function<bool(ListenerProxy&)>& block, bool defaultAnswer);
bool allListeners(const rt::Object& notifier, const std::function<bool(ListenerProxy&)>& block);
bool anyListener(const rt::Object& notifier, const std::function<bool(ListenerProxy&)>& block);

// ---- typed walks: the block receives the listener as Protocol ----------------------
namespace detail {
/// Calls fn(Protocol&) for each live listener in the table implementing Protocol until fn
/// answers false. The walk reads the members of the moment it starts (no copy while
/// the table stays as it is).
template <class Protocol, class Fn> void forEachListenerIn(ListenerTable& table, Fn&& fn) {
    auto members = table.members();
    bool metDead = false;
    for (const auto& member : *members) {
        auto proxy = member.lock();
        rt::Ref<rt::Object> target = proxy ? proxy->target() : nullptr;  // keeps the listener alive while called
        if (!target) {
            metDead = metDead || !proxy;
            continue;
        }
        // A listener answering the protocol only dynamically (a trampoline, a class that
        // adopts it by name) is reached through a stand-in that sends to its proxy.
        rt::Ref<rt::Object> standIn;
        if (auto* listener = rt::asProtocol<Protocol>(*target, standIn, proxy)) {
            if (!fn(*listener)) break;
        }
    }
    if (metDead) table.prune();
}

template <class Protocol, class Fn> void forEachListener(const rt::Object& notifier, Fn&& fn) {
    forEachListenerIn<Protocol>(*ListenerTable::of(notifier), std::forward<Fn>(fn));
}
}  // namespace detail

template <class Protocol, class F> void notifyListeners(const rt::Object& notifier, F&& block) {
    detail::forEachListener<Protocol>(notifier, [&](Protocol& listener) {
        block(listener);
        return true;
    });
}

/// notifyListeners<P> over a notifier's table the caller already holds (a notifier that
/// keeps its table at hand saves looking it up on every walk).
template <class Protocol, class F> void notifyListenersIn(ListenerTable& table, F&& block) {
    detail::forEachListenerIn<Protocol>(table, [&](Protocol& listener) {
        block(listener);
        return true;
    });
}

template <class Protocol, class F> bool askListeners(const rt::Object& notifier, F&& block, bool defaultAnswer) {
    bool answer = true;
    detail::forEachListener<Protocol>(notifier, [&](Protocol& listener) {
        bool yes;
        try {
            yes = static_cast<bool>(block(listener));
        } catch (const std::exception&) {
            yes = defaultAnswer;
        }
        if (!yes) answer = false;
        return yes;
    });
    return answer;
}

template <class Protocol, class F> bool allListeners(const rt::Object& notifier, F&& block) {
    bool answer = true;
    detail::forEachListener<Protocol>(notifier, [&](Protocol& listener) {
        if (!static_cast<bool>(block(listener))) answer = false;
        return answer;
    });
    return answer;
}

template <class Protocol, class F> bool anyListener(const rt::Object& notifier, F&& block) {
    bool answer = false;
    detail::forEachListener<Protocol>(notifier, [&](Protocol& listener) {
        if (static_cast<bool>(block(listener))) answer = true;
        return !answer;
    });
    return answer;
}

}  // namespace zid
