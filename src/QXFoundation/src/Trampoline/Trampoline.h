#pragma once
// An object that implements the methods of a protocol by blocks. Each trampoline has a
// run-time class of its own ("TrampolineClass001", "TrampolineClass002", ...) that adopts
// the protocol; a selector given a block becomes a method of that class, so the
// trampoline answers exactly those selectors.
//
//   auto t = zid::Trampoline::trampolineWithProtocol(*rt::Protocol::named("IThingListener"));
//   t->setBlock(rt::block<void(rt::Object&, rt::Value)>([](rt::Object&, rt::Value thing) { ... }),
//               rt::sel("thingDidMove:"));
//   zid::addListener(*thing, t);   // reached like any listener of the protocol
//
// When the trampoline goes, the blocks behind its methods are released and its class is
// disposed of on the main queue, after the instance is gone.

#include <atomic>
#include <string>
#include <vector>

#include <rt/Block.h>
#include <rt/MethodTable.h>
#include <rt/Protocol.h>

namespace zid {

class Trampoline : public rt::Object {
    RT_CLASS(Trampoline, rt::Object)
private:
    struct Key {};

public:
    /// Trampolines exist only as instances of their run-time classes: making a plain
    /// Trampoline raises "You must subclass to use Trampoline".
    Trampoline();
    Trampoline(Key, const rt::Protocol& protocol);

    static rt::Ref<Trampoline> trampolineWithProtocol(const rt::Protocol& protocol);
    /// Makes and registers the next run-time class, skipping numbers whose name is taken.
    static rt::Class& createTrampolineClass();

    /// Implements the selector by the block, which receives the receiver followed by the
    /// message's arguments. The method gets the protocol's types for the selector (the
    /// block's own when the protocol does not declare it). A selector the trampoline's
    /// class already implements itself is re-implemented; one only a superclass
    /// implements gets an override in the trampoline's class.
    template <class Sig> void setBlock(const rt::BlockRef<Sig>& block, rt::Selector forSelector) {
        setImplementation(rt::implementationWithBlock(block), forSelector);
    }
    void setImplementation(const rt::Imp& imp, rt::Selector forSelector);

    /// True for the trampoline's protocol and every protocol it adopts, then as the class says.
    bool conformsToProtocol(const rt::Protocol& protocol) const;
    /// The types of the protocol's optional instance method, else of its required one;
    /// empty when it declares neither.
    std::string signatureForSelector(rt::Selector selector) const;

    const rt::Protocol& protocol() const { return *protocol_; }
    const std::vector<std::string>& implementedSelectors() const { return implementedSelectors_; }

protected:
    void willDestroy() override;

private:
    const rt::Protocol* protocol_ = nullptr;
    std::vector<std::string> implementedSelectors_;
};

}  // namespace zid
