#pragma once
// Stand-ins let an object that answers a typed protocol's messages only dynamically (a
// trampoline, a class adopting the protocol by name, a forwarding proxy) be used where
// the protocol's abstract class is expected.
//
// A stand-in derives from the protocol and forwards each call by selector to its
// receiver; a protocol author writes one per protocol and registers it:
//
//   class ThingListenerStandIn : public rt::StandIn<IThingListener> {
//       RT_CLASS(ThingListenerStandIn, rt::Proxy)
//   public:
//       void thingDidMove(Thing& t) override { forward<void>(rt::sel("thingDidMove:"), t); }
//   };
//   rt::registerStandIn<IThingListener, ThingListenerStandIn>("IThingListener");
//
//   rt::Ref<rt::Object> holder;
//   if (IThingListener* l = rt::asProtocol<IThingListener>(obj, holder)) l->thingDidMove(t);

#include <functional>
#include <mutex>
#include <string>
#include <utility>

#include <rt/Proxy.h>

namespace rt {

template <class P> class StandIn : public Proxy, public P {
public:
    void setReceiver(Ref<Object> receiver) { receiver_ = std::move(receiver); }
    const Ref<Object>& receiver() const { return receiver_; }

protected:
    /// Sends the call to the receiver; with no receiver the call is dropped (zero result).
    template <class R = void, class... Args> R forward(Selector selector, Args&&... args) {
        if (!receiver_) {
            if constexpr (std::is_void_v<R>) return;
            else return R{};
        }
        return send<R>(*receiver_, selector, std::forward<Args>(args)...);
    }

private:
    Ref<Object> receiver_;
};

namespace detail {
template <class P> struct StandInRegistry {
    std::mutex mutex;
    std::string protocolName;
    std::function<Ref<Object>()> make;
    static StandInRegistry& get() {
        static auto* r = new StandInRegistry();
        return *r;
    }
};
}  // namespace detail

/// Registers the stand-in class S for protocol P, used for objects that adopt the
/// protocol by this name (or forward messages) but do not derive from P.
template <class P, class S> void registerStandIn(std::string protocolName) {
    static_assert(std::is_base_of_v<StandIn<P>, S>, "a stand-in derives from rt::StandIn<P>");
    auto& r = detail::StandInRegistry<P>::get();
    std::lock_guard lock(r.mutex);
    r.protocolName = std::move(protocolName);
    r.make = [] { return std::static_pointer_cast<Object>(make<S>()); };
}

/// obj as P: obj itself when it derives from P; a stand-in forwarding to `receiver` (obj
/// unless given) when obj adopts P by name or forwards messages; otherwise nullptr.
/// holder keeps the stand-in alive for as long as the caller uses it.
template <class P> P* asProtocol(Object& obj, Ref<Object>& holder, Ref<Object> receiver = nullptr) {
    if (auto* typed = dynamic_cast<P*>(&obj)) return typed;
    auto& r = detail::StandInRegistry<P>::get();
    std::function<Ref<Object>()> makeStandIn;
    {
        std::lock_guard lock(r.mutex);
        if (!r.make || !(obj.conformsTo(r.protocolName) || dynamic_cast<Forwarding*>(&obj))) return nullptr;
        makeStandIn = r.make;
    }
    holder = makeStandIn();
    auto* standIn = dynamic_cast<StandIn<P>*>(holder.get());
    standIn->setReceiver(receiver ? std::move(receiver) : obj.self());
    return standIn;
}

}  // namespace rt
