#include <rt/MethodTable.h>

namespace rt {

namespace {
// One lock for every method's implementation pointer: exchanges touch two methods that
// may live in different tables.
std::mutex& impMutex() {
    static std::mutex m;
    return m;
}
}  // namespace

void Implementation::operator()(const Receiver& receiver, Invocation& invocation) const {
    Function fn;
    {
        std::lock_guard lock(mutex_);
        fn = fn_;
    }
    if (fn) fn(receiver, invocation);
}

Ref<BlockBase> Implementation::block() const {
    std::lock_guard lock(mutex_);
    return block_;
}

void Implementation::removeBlock() {
    Ref<BlockBase> released;
    {
        std::lock_guard lock(mutex_);
        released = std::move(block_);
    }
}

Imp Method::implementation() const {
    std::lock_guard lock(impMutex());
    return imp_;
}

Imp Method::setImplementation(Imp imp) {
    std::lock_guard lock(impMutex());
    std::swap(imp_, imp);
    return imp;
}

void exchangeImplementations(Method& a, Method& b) {
    if (&a == &b) return;
    std::lock_guard lock(impMutex());
    std::swap(a.imp_, b.imp_);
}

MethodRef MethodTable::find(Selector selector) const {
    std::lock_guard lock(mutex_);
    auto it = methods_.find(selector);
    return it == methods_.end() ? nullptr : it->second;
}

bool MethodTable::add(Selector selector, Imp imp, const std::string& types) {
    auto signature = MethodSignature::withTypes(types);  // raises before anything changes
    std::lock_guard lock(mutex_);
    if (methods_.count(selector)) return false;
    methods_.emplace(selector, std::make_shared<Method>(selector, std::move(signature), std::move(imp)));
    return true;
}

std::vector<MethodRef> MethodTable::all() const {
    std::lock_guard lock(mutex_);
    std::vector<MethodRef> out;
    out.reserve(methods_.size());
    for (const auto& [selector, method] : methods_) out.push_back(method);
    return out;
}

MethodRef ownInstanceMethod(const Class& cls, Selector selector) { return cls.methods().find(selector); }
MethodRef ownClassMethod(const Class& cls, Selector selector) { return cls.classMethods().find(selector); }

MethodRef findInstanceMethod(const Class& cls, Selector selector) {
    for (const Class* c = &cls; c; c = c->superclass())
        if (auto method = c->methods().find(selector)) return method;
    return nullptr;
}

MethodRef findClassMethod(const Class& cls, Selector selector) {
    for (const Class* c = &cls; c; c = c->superclass())
        if (auto method = c->classMethods().find(selector)) return method;
    return nullptr;
}

bool addMethod(const Class& cls, Selector selector, Imp imp, const std::string& types) {
    return cls.methods().add(selector, std::move(imp), types);
}

bool addClassMethod(const Class& cls, Selector selector, Imp imp, const std::string& types) {
    return cls.classMethods().add(selector, std::move(imp), types);
}

namespace {
Imp replaceIn(MethodTable& table, Selector selector, Imp imp, const std::string& types) {
    for (;;) {
        if (auto own = table.find(selector)) return own->setImplementation(std::move(imp));
        if (table.add(selector, imp, types)) return nullptr;
    }
}
}  // namespace

Imp replaceMethod(const Class& cls, Selector selector, Imp imp, const std::string& types) {
    return replaceIn(cls.methods(), selector, std::move(imp), types);
}

Imp replaceClassMethod(const Class& cls, Selector selector, Imp imp, const std::string& types) {
    return replaceIn(cls.classMethods(), selector, std::move(imp), types);
}

}  // namespace rt
