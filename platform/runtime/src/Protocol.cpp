#include <rt/Protocol.h>

#include <algorithm>
#include <unordered_map>

#include <rt/Object.h>

namespace rt {

namespace {

struct ProtocolRegistry {
    std::mutex mutex;
    std::unordered_map<std::string, std::unique_ptr<Protocol>> byName;
    // selector -> bridges of every described abstract class declaring it
    std::unordered_map<Selector, std::vector<std::unique_ptr<Protocol::Bridge>>, SelectorHash> bridges;
};

ProtocolRegistry& protocolRegistry() {
    static auto* r = new ProtocolRegistry();  // descriptions live for the process
    return *r;
}

bool adoptionQuery(std::string_view protocol, std::string_view adopted) {
    const Protocol* p = Protocol::named(protocol);
    return p && p->conformsTo(adopted);
}

}  // namespace

Protocol::Protocol(std::string name) : name_(std::move(name)) {}

Protocol& Protocol::describe(std::string_view name) {
    auto& r = protocolRegistry();
    std::lock_guard lock(r.mutex);
    static const bool installed = (Class::setProtocolAdoptionQuery(&adoptionQuery), true);
    (void)installed;
    auto it = r.byName.find(std::string(name));
    if (it == r.byName.end()) it = r.byName.emplace(std::string(name), std::make_unique<Protocol>(std::string(name))).first;
    return *it->second;
}

const Protocol* Protocol::named(std::string_view name) {
    auto& r = protocolRegistry();
    std::lock_guard lock(r.mutex);
    auto it = r.byName.find(std::string(name));
    return it == r.byName.end() ? nullptr : it->second.get();
}

Protocol& Protocol::adopts(std::string_view protocolName) {
    std::lock_guard lock(mutex_);
    if (std::find(adopted_.begin(), adopted_.end(), protocolName) == adopted_.end()) adopted_.emplace_back(protocolName);
    return *this;
}

Protocol& Protocol::addMethodDescription(Selector selector, const std::string& types, bool required, bool instance) {
    (void)MethodSignature::withTypes(types);  // a malformed encoding raises here, not at a send
    std::lock_guard lock(mutex_);
    auto same = [&](const MethodDescription& d) { return d.selector == selector && d.instance == instance; };
    auto it = std::find_if(methods_.begin(), methods_.end(), same);
    if (it != methods_.end()) *it = MethodDescription{selector, types, required, instance};
    else methods_.push_back(MethodDescription{selector, types, required, instance});
    return *this;
}

std::optional<MethodDescription> Protocol::methodDescription(Selector selector, bool isRequired, bool isInstance) const {
    std::lock_guard lock(mutex_);
    for (const auto& d : methods_)
        if (d.selector == selector && d.required == isRequired && d.instance == isInstance) return d;
    return std::nullopt;
}

std::vector<MethodDescription> Protocol::methodDescriptions() const {
    std::lock_guard lock(mutex_);
    return methods_;
}

std::vector<std::string> Protocol::adoptedProtocols() const {
    std::lock_guard lock(mutex_);
    return adopted_;
}

bool Protocol::conformsTo(std::string_view protocolName) const {
    if (protocolName == name_) return true;
    for (const auto& adopted : adoptedProtocols()) {
        if (adopted == protocolName) return true;
        const Protocol* p = named(adopted);
        if (p && p != this && p->conformsTo(protocolName)) return true;
    }
    return false;
}

bool Protocol::isAdoptedBy(const Object& obj) const {
    if (obj.conformsTo(name_)) return true;
    std::function<bool(const Object&)> accepts;
    {
        std::lock_guard lock(mutex_);
        accepts = acceptsAbstract_;
    }
    return accepts && accepts(obj);
}

void Protocol::addBridge(Selector selector, Bridge bridge) {
    {
        std::lock_guard lock(mutex_);
        acceptsAbstract_ = bridge.accepts;
    }
    auto& r = protocolRegistry();
    std::lock_guard lock(r.mutex);
    r.bridges[selector].push_back(std::make_unique<Bridge>(std::move(bridge)));
}

const Protocol::Bridge* Protocol::bridgeFor(const Object& obj, Selector selector) {
    auto& r = protocolRegistry();
    std::vector<const Bridge*> candidates;
    {
        std::lock_guard lock(r.mutex);
        auto it = r.bridges.find(selector);
        if (it == r.bridges.end()) return nullptr;
        for (const auto& b : it->second) candidates.push_back(b.get());
    }
    for (const auto* b : candidates)
        if (b->accepts(obj)) return b;
    return nullptr;
}

bool protocolDeclaresSelector(const Protocol& protocol, Selector selector) {
    for (bool required : {false, true})
        for (bool instance : {false, true})
            if (protocol.methodDescription(selector, required, instance)) return true;
    return false;
}

}  // namespace rt
