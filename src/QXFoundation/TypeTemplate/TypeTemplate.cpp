#include <QXFoundation/TypeTemplate/TypeTemplate.h>

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
        // Another request whose dictionary reads differently but names the same class:
        // that class already answers these parameters.
        if (const rt::Class* existing = rt::Class::named(name)) return *existing;
        throw rt::Exception(rt::Exception::InternalInconsistency, "Cannot make the class " + name);
    }
    auto types = rt::findClassMethod(cls, parameterSelector())->typeEncoding();
    auto imp = rt::implementation<rt::Value(const rt::Class&, std::string)>(
        [parameters](const rt::Class&, std::string key) { return parameters.get(rt::Value(key)); });
    if (!rt::addClassMethod(*made, parameterSelector(), imp, types)) std::fputs("error\n", stderr);
    return *made;
}

const rt::Class& classWithParameters(const rt::Class& cls, const rt::Dictionary& parameters) {
    const std::string key = rt::format("%@%@", cls.name(), rt::Value(parameters));
    auto& cache = concreteClasses();
    std::lock_guard lock(cache.mutex);
    auto it = cache.byKey.find(key);
    if (it == cache.byKey.end()) it = cache.byKey.emplace(key, &createConcreteClassForParameters(cls, parameters)).first;
    return *it->second;
}

rt::Value parameterForName(const rt::Class& cls, std::string_view name) {
    ensureBaseMethod();
    return rt::sendClass<rt::Value>(cls, parameterSelector(), std::string(name));
}

}  // namespace zid
