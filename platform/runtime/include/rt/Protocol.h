#pragma once
// Protocol descriptions for dynamic messages: a name, the protocols it adopts, and its
// method descriptions (selector, type encoding, required or optional, instance or class).
//
// Typed C++ protocols are abstract classes. Describing one here lets dynamic callers
// (listener proxies, trampolines, forwarding proxies) reach its virtual methods on any
// object that derives from it, with types derived from the member functions:
//
//   static const rt::Protocol& described = rt::Protocol::describe("IThingListener")
//       .adopts("IObjectChangeListener")
//       .optional(rt::sel("thingDidMove:"), &IThingListener::thingDidMove)
//       .optional(rt::sel("thingShouldStop:"), &IThingListener::thingShouldStop);
//
// A dynamic message to such a method runs the virtual function: the override when the
// object has one, the protocol's default body otherwise (a void default does nothing, a
// default with a result answers its fallback or raises), exactly as a typed call would.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <rt/MethodTable.h>

namespace rt {

struct MethodDescription {
    Selector selector;
    std::string types;
    bool required = false;
    bool instance = true;
};

class Protocol {
public:
    /// The protocol of that name, registered on first use. Describing goes on through
    /// the returned reference; descriptions are made once, at start-up or first use.
    static Protocol& describe(std::string_view name);
    static const Protocol* named(std::string_view name);

    const std::string& name() const { return name_; }

    Protocol& adopts(std::string_view protocolName);
    Protocol& addMethodDescription(Selector selector, const std::string& types, bool required, bool instance);

    /// An instance method backed by a virtual function of the abstract class P.
    template <class P, class R, class... A> Protocol& optional(Selector selector, R (P::*fn)(A...)) {
        return typed<P>(selector, fn, false);
    }
    template <class P, class R, class... A> Protocol& required(Selector selector, R (P::*fn)(A...)) {
        return typed<P>(selector, fn, true);
    }
    /// A class method description (class methods are described, never bridged).
    template <class Sig> Protocol& classMethod(Selector selector, bool isRequired) {
        return addMethodDescription(selector, methodTypesOf<Sig>(), isRequired, false);
    }

    /// The description of the selector among the methods of that kind; protocols this
    /// one adopts are not searched.
    std::optional<MethodDescription> methodDescription(Selector selector, bool isRequired, bool isInstance) const;
    std::vector<MethodDescription> methodDescriptions() const;
    std::vector<std::string> adoptedProtocols() const;
    /// True for this protocol and every protocol it adopts, directly or not.
    bool conformsTo(std::string_view protocolName) const;
    /// True when obj's class adopts the protocol by name, or obj derives from the abstract
    /// class described here.
    bool isAdoptedBy(const Object& obj) const;

    // ---- the bridge to typed objects (used by the message sending code) -----------
    struct Bridge {
        std::function<bool(const Object&)> accepts;
        std::shared_ptr<Implementation> imp;
        MethodSignature signature;
    };
    /// The typed method for the selector when obj derives from a described abstract class
    /// that declares it (searched over every described protocol).
    static const Bridge* bridgeFor(const Object& obj, Selector selector);

    Protocol(std::string name);
    Protocol(const Protocol&) = delete;
    Protocol& operator=(const Protocol&) = delete;

private:
    template <class P, class R, class... A> Protocol& typed(Selector selector, R (P::*fn)(A...), bool isRequired) {
        auto imp = implementation<R(P&, A...)>([fn](P& self, A... args) { return (self.*fn)(std::forward<A>(args)...); });
        Bridge bridge{[](const Object& obj) { return dynamic_cast<const P*>(&obj) != nullptr; }, imp,
                      MethodSignature::withTypes(imp->types())};
        addBridge(selector, std::move(bridge));
        return addMethodDescription(selector, methodTypes<R, A...>(), isRequired, true);
    }
    void addBridge(Selector selector, Bridge bridge);

    std::string name_;
    mutable std::mutex mutex_;
    std::vector<std::string> adopted_;
    std::vector<MethodDescription> methods_;
    std::function<bool(const Object&)> acceptsAbstract_;
};

/// True when the protocol declares the selector as a required or optional, instance or
/// class method (its adopted protocols are not searched).
bool protocolDeclaresSelector(const Protocol& protocol, Selector selector);

}  // namespace rt
