#include <rt/Class.h>

#include <algorithm>
#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <atomic>
#include <unordered_map>

#include <rt/Exception.h>
#include <rt/MethodTable.h>
#include <rt/Object.h>
#include <rt/PropertyTable.h>

namespace rt {

namespace {

struct Registry {
    std::mutex mutex;
    std::unordered_map<std::string, const Class*> byQualifiedName;
    std::unordered_map<std::string, const Class*> byName;  // the first class of each name
    // Disposed run-time classes stay reachable: objects may still point at them.
    std::vector<const Class*> disposed;
};

Registry& registry() {
    static Registry* r = new Registry();  // lives for the process: classes are never freed
    return *r;
}

std::atomic<bool (*)(std::string_view, std::string_view)> protocolAdoptionQuery{nullptr};

}  // namespace

std::string qualifiedClassName(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(type.name());
}

Class::Class(std::string name, std::string qualifiedName, const Class* superclass, Factory factory, bool runtimeMade)
    : name_(std::move(name)), qualifiedName_(std::move(qualifiedName)), superclass_(superclass), factory_(std::move(factory)),
      runtimeMade_(runtimeMade) {}

Class::~Class() = default;

const Class& Class::describe(const char* name, std::string qualifiedName, const Class* superclass, Factory factory) {
    auto& r = registry();
    std::unique_lock lock(r.mutex);
    if (r.byQualifiedName.count(qualifiedName)) {
        lock.unlock();
        throw Exception(Exception::InternalInconsistency,
                        "Two classes are named " + qualifiedName +
                            ": a class name must be unique in its namespace (classes in unnamed namespaces of different files "
                            "collide too; give them a named namespace).");
    }
    auto* cls = new Class(name, std::move(qualifiedName), superclass, std::move(factory), false);
    r.byQualifiedName.emplace(cls->qualifiedName(), cls);
    r.byName.emplace(cls->name(), cls);  // a name keeps the first class registered under it
    return *cls;
}

Class* Class::allocateClassPair(const Class* superclass, std::string name) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (r.byName.count(name) || r.byQualifiedName.count(name)) return nullptr;
    auto* cls = new Class(name, name, superclass, Factory(), true);
    if (superclass && superclass->factory_) {
        // Instances of a run-time class are instances of the compiled ancestor that
        // answer to the run-time description.
        cls->factory_ = [superclass, cls]() -> std::shared_ptr<Object> {
            auto object = superclass->instantiate();
            if (object) object->setObjectClass(*cls);
            return object;
        };
    }
    r.byName.emplace(cls->name(), cls);
    r.byQualifiedName.emplace(cls->qualifiedName(), cls);
    return cls;
}

void Class::disposeClassPair(Class* cls) {
    if (!cls || !cls->runtimeMade_) return;
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.byName.find(cls->name());
    if (it != r.byName.end() && it->second == cls) {
        r.byName.erase(it);
        r.byQualifiedName.erase(cls->qualifiedName());
        r.disposed.push_back(cls);
    }
}

const Class* Class::named(std::string_view name) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    std::string key(name);
    if (auto it = r.byQualifiedName.find(key); it != r.byQualifiedName.end()) return it->second;
    auto it = r.byName.find(key);
    return it == r.byName.end() ? nullptr : it->second;
}

bool Class::isSubclassOf(const Class& other) const {
    for (const Class* c = this; c; c = c->superclass_)
        if (c == &other) return true;
    return false;
}

void Class::addProtocol(std::string protocolName) const {
    std::lock_guard lock(mutex_);
    if (std::find(protocols_.begin(), protocols_.end(), protocolName) == protocols_.end())
        protocols_.push_back(std::move(protocolName));
}

std::vector<std::string> Class::protocols() const {
    std::lock_guard lock(mutex_);
    return protocols_;
}

bool Class::conformsTo(std::string_view protocolName) const {
    auto query = protocolAdoptionQuery.load();
    for (const Class* c = this; c; c = c->superclass_) {
        for (const auto& p : c->protocols()) {
            if (p == protocolName) return true;
            if (query && query(p, protocolName)) return true;
        }
    }
    return false;
}

void Class::setProtocolAdoptionQuery(bool (*query)(std::string_view, std::string_view)) {
    protocolAdoptionQuery.store(query);
}

std::shared_ptr<Object> Class::instantiate() const {
    return factory_ ? factory_() : nullptr;
}

PropertyTable& Class::properties() const {
    std::lock_guard lock(mutex_);
    if (!properties_) properties_ = std::make_unique<PropertyTable>();
    return *properties_;
}

MethodTable& Class::methods() const {
    std::lock_guard lock(mutex_);
    if (!methods_) methods_ = std::make_unique<MethodTable>();
    return *methods_;
}

MethodTable& Class::classMethods() const {
    std::lock_guard lock(mutex_);
    if (!classMethods_) classMethods_ = std::make_unique<MethodTable>();
    return *classMethods_;
}

}  // namespace rt
