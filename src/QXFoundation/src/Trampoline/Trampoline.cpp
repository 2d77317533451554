#include "Trampoline/Trampoline.h"

#include <fnd/Queue.h>
#include <rt/Exception.h>
#include <rt/Format.h>

namespace zid {

namespace {
std::atomic<std::int32_t> trampolineClassID{0};
}

Trampoline::Trampoline() { rt::raiseMustSubclass(staticClass().name()); }

Trampoline::Trampoline(Key, const rt::Protocol& protocol) : protocol_(&protocol) {}

rt::Class& Trampoline::createTrampolineClass() {
    for (;;) {
        const auto id = ++trampolineClassID;
        if (auto* cls = rt::Class::allocateClassPair(&staticClass(), rt::format("TrampolineClass%03d", id))) return *cls;
        // That name is in use (a class of the same name, or numbers come round again).
    }
}

rt::Ref<Trampoline> Trampoline::trampolineWithProtocol(const rt::Protocol& protocol) {
    auto& cls = createTrampolineClass();
    cls.addProtocol(protocol.name());
    auto trampoline = rt::make<Trampoline>(Key{}, protocol);
    trampoline->setObjectClass(cls);
    return trampoline;
}

std::string Trampoline::signatureForSelector(rt::Selector selector) const {
    if (auto d = protocol_->methodDescription(selector, false, true)) return d->types;
    if (auto d = protocol_->methodDescription(selector, true, true)) return d->types;
    return {};
}

void Trampoline::setImplementation(const rt::Imp& imp, rt::Selector forSelector) {
    const rt::Class& cls = objectClass();
    implementedSelectors_.push_back(forSelector.name());
    auto types = signatureForSelector(forSelector);
    if (types.empty()) types = imp->types();
    rt::replaceMethod(cls, forSelector, imp, types);
}

bool Trampoline::conformsToProtocol(const rt::Protocol& protocol) const {
    if (protocol_->conformsTo(protocol.name())) return true;
    return objectClass().conformsTo(protocol.name());
}

void Trampoline::willDestroy() {
    const rt::Class& cls = objectClass();
    for (const auto& name : implementedSelectors_)
        if (auto method = rt::ownInstanceMethod(cls, rt::sel(name))) rt::implementationRemoveBlock(method->implementation());
    if (cls.isRuntimeMade()) {
        auto* made = const_cast<rt::Class*>(&cls);
        fnd::Queue::main()->async([made] { rt::Class::disposeClassPair(made); });
    }
    super::willDestroy();
}

}  // namespace zid
