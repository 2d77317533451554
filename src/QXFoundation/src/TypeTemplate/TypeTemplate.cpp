#include "TypeTemplate/TypeTemplate.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <unordered_map>
#include <vector>

#include <rt/Exception.h>
#include <rt/Format.h>
#include <rt/Message.h>
#include <rt/MethodTable.h>

namespace zid {

namespace {

const rt::Selector& parameterSelector() {
    static const rt::Selector s = rt::sel("parameterForName:");
    return s;
}

/// Every class answers parameterForName: by raising; specialisations override it.
void ensureBaseMethod() {
    static std::once_flag once;
    std::call_once(once, [] {
        rt::addClassMethod(rt::Object::staticClass(), parameterSelector(),
                           rt::implementation<rt::Value(const rt::Class&, std::string)>([](const rt::Class& cls, std::string) -> rt::Value {
                               throw rt::Exception(rt::Exception::InternalInconsistency,
                                                   rt::format("You must override %@ in a subclass of %@",
                                                              parameterSelector().name(), cls.name()));
                           }));
    });
}

struct ConcreteClasses {
    std::mutex mutex;
    std::unordered_map<std::string, const rt::Class*> byKey;
};

ConcreteClasses& concreteClasses() {
    static auto* c = new ConcreteClasses();  // entries live for the process
    return *c;
}

/// The parameters each specialised class was made for, so that a later request whose
/// name collides can tell whether that class really answers it.
struct MadeClasses {
    std::mutex mutex;
    std::unordered_map<const rt::Class*, rt::Dictionary> parameters;
};

MadeClasses& madeClasses() {
    static auto* m = new MadeClasses();  // entries live for the process, like the classes
    return *m;
}

/// Whether the class is the specialisation of cls for parameters equal to these.
bool madeFor(const rt::Class& made, const rt::Class& cls, const rt::Dictionary& parameters) {
    if (made.superclass() != &cls) return false;
    auto& registry = madeClasses();
    std::lock_guard lock(registry.mutex);
    auto it = registry.parameters.find(&made);
    return it != registry.parameters.end() && it->second.isEqual(parameters);
}

bool keyLess(const rt::Value& a, const rt::Value& b) {
    if (a.isString() && b.isString()) return a.string() < b.string();
    if (a.isNumber() && b.isNumber()) return a.number()->compare(*b.number()) < 0;
    return a.description() < b.description();
}

}  // namespace

std::string classPostfixForParameters(const rt::Dictionary& parameters) {
    auto keys = parameters.keys();
    std::stable_sort(keys.begin(), keys.end(), keyLess);
    std::string joined;
    for (const auto& key : keys) {
        if (!joined.empty()) joined += ", ";
        joined += rt::format("%@=%@", key, parameters.get(key));
    }
    return rt::format("<%@>", joined);
}

const rt::Class& createConcreteClassForParameters(const rt::Class& cls, const rt::Dictionary& parameters) {
    ensureBaseMethod();
    const std::string name = cls.name() + classPostfixForParameters(parameters);
    rt::Class* made = rt::Class::allocateClassPair(&cls, name);
    if (!made) {
        // Another request whose dictionary reads differently but names the same class
        // (1 and 1.0) is answered by that class; a class of another superclass or other
        // parameters that merely took the name must not be passed off as this one.
        const rt::Class* existing = rt::Class::named(name);
        if (existing && madeFor(*existing, cls, parameters)) return *existing;
        throw rt::Exception(rt::Exception::InternalInconsistency,
                            "Cannot make the class " + name + ": a class of that name with another superclass or other parameters exists");
    }
    auto types = rt::findClassMethod(cls, parameterSelector())->typeEncoding();
    auto imp = rt::implementation<rt::Value(const rt::Class&, std::string)>(
        [parameters](const rt::Class&, std::string key) { return parameters.get(rt::Value(key)); });
    if (!rt::addClassMethod(*made, parameterSelector(), imp, types)) std::fputs("error\n", stderr);
    {
        auto& registry = madeClasses();
        std::lock_guard lock(registry.mutex);
        registry.parameters.emplace(made, parameters);
    }
    return *made;
}

const rt::Class& classWithParameters(const rt::Class& cls, const rt::Dictionary& parameters) {
    const std::string key = rt::format("%@%@", cls.name(), rt::Value(parameters));
    auto& cache = concreteClasses();
    std::lock_guard lock(cache.mutex);
    auto it = cache.byKey.find(key);
    if (it == cache.byKey.end()) {
        it = cache.byKey.emplace(key, &createConcreteClassForParameters(cls, parameters)).first;
    } else if (!madeFor(*it->second, cls, parameters)) {
        // The parameters print alike ("5" and 5) but are not the ones the class answers.
        throw rt::Exception(rt::Exception::InternalInconsistency,
                            "Cannot make the class " + it->second->name() + ": the class of that name holds other parameters");
    }
    return *it->second;
}

rt::Value parameterForName(const rt::Class& cls, std::string_view name) {
    ensureBaseMethod();
    return rt::sendClass<rt::Value>(cls, parameterSelector(), std::string(name));
}

}  // namespace zid
