#include <rt/Object.h>

#include <rt/MainThread.h>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include <rt/Exception.h>
#include <rt/Value.h>

namespace rt {

namespace detail {

struct Association {
    Value strong;
    Weak<Object> weak;
    bool isWeak = false;
};

// Everything an object may carry besides its own fields, allocated on first need so
// that a plain object costs one pointer.
struct ObjectExtras {
    std::mutex mutex;
    // std::less<> lets lookups use string_view without building a string.
    std::map<std::string, Association, std::less<>> associations;
    std::optional<Association> missingKeyAssociation;
    std::vector<std::pair<std::size_t, std::function<void(Object&)>>> preDestructionHandlers;
    std::size_t nextHandlerId = 1;
    std::vector<std::pair<const void*, std::unique_ptr<Object::Slot>>> slots;
    std::atomic<const Class*> classOverride{nullptr};
    std::mutex propertyMutex;
};

void ObjectDeleter::operator()(Object* object) const noexcept {
    object->runPreDestruction();
    delete object;
}

std::shared_ptr<Object> adopt(Object* made) {
    std::shared_ptr<Object> ref(made, ObjectDeleter{});
    ref->didInitialize();
    return ref;
}

}  // namespace detail

const Class& Object::staticClass() {
    static const Class& described = Class::describe("Object", "rt::Object", nullptr, detail::factoryFor<Object>());
    return described;
}

Object::Object() {
    if (detail::objectsBeingMade == 0)
        throw Exception(Exception::InternalInconsistency,
                        "An rt::Object was constructed outside rt::make (on the stack, as a member, with new or "
                        "std::make_shared); make it with rt::make<T>(...).");
    --detail::objectsBeingMade;
}

Object::~Object() {
    // Associations are released here, after the derived parts are gone, like any
    // other member the root owns.
    delete observation_.exchange(nullptr);
    delete extras_.exchange(nullptr);
}

Object::Slot* Object::ensureObservationSlot(const std::function<std::unique_ptr<Slot>()>& make) {
    Slot* current = observation_.load(std::memory_order_acquire);
    if (current) return current;
    auto& x = extras();
    std::lock_guard lock(x.mutex);
    current = observation_.load(std::memory_order_acquire);
    if (current) return current;
    current = make().release();
    observation_.store(current, std::memory_order_release);
    return current;
}

std::mutex& Object::propertyLock() const { return extras().propertyMutex; }

Value Object::valueForUndefinedKey(std::string_view key) const {
    throw Exception(Exception::UndefinedKey,
                    "[<" + className() + "> valueForUndefinedKey:]: this class is not key value coding-compliant for the key " +
                        std::string(key) + ".");
}

void Object::setValueForUndefinedKey(const Value&, std::string_view key) {
    throw Exception(Exception::UndefinedKey,
                    "[<" + className() + "> setValue:forUndefinedKey:]: this class is not key value coding-compliant for the key " +
                        std::string(key) + ".");
}

detail::ObjectExtras& Object::extras() const {
    detail::ObjectExtras* current = extras_.load(std::memory_order_acquire);
    if (current) return *current;
    auto* fresh = new detail::ObjectExtras();
    if (extras_.compare_exchange_strong(current, fresh, std::memory_order_acq_rel)) return *fresh;
    delete fresh;  // another thread won the race
    return *current;
}

const Class& Object::objectClass() const {
    if (auto* extras = extrasIfAny()) {
        if (const Class* cls = extras->classOverride.load(std::memory_order_acquire)) return *cls;
    }
    return declaredClass();
}

void Object::setObjectClass(const Class& cls) {
    MainThread::require(*this, "setObjectClass");
    extras().classOverride.store(&cls == &declaredClass() ? nullptr : &cls, std::memory_order_release);
}

std::string Object::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return "<" + className() + ": " + address + ">";
}

namespace {
Value readAssociation(const detail::Association& association) {
    if (!association.isWeak) return association.strong;
    if (auto alive = association.weak.lock()) return Value(alive);
    return Value();
}
}  // namespace

void Object::storeAssociation(std::string_view key, detail::Association association, bool remove) {
    Value previous;  // released outside the lock: its destruction may touch this object
    auto& x = extras();
    std::lock_guard lock(x.mutex);
    auto it = x.associations.find(key);
    if (it != x.associations.end()) previous = std::move(it->second.strong);
    if (remove) {
        if (it != x.associations.end()) x.associations.erase(it);
        return;
    }
    if (it == x.associations.end()) it = x.associations.emplace(std::string(key), detail::Association{}).first;
    it->second = std::move(association);
}

void Object::setAssociatedObject(const Value& value, std::string_view key) {
    storeAssociation(key, detail::Association{value, {}, false}, value.isNil());
}

void Object::setAssociatedObject(const Value& value, std::nullptr_t) {
    Value previous;
    auto& x = extras();
    std::lock_guard lock(x.mutex);
    if (x.missingKeyAssociation) previous = std::move(x.missingKeyAssociation->strong);
    if (value.isNil()) x.missingKeyAssociation.reset();
    else x.missingKeyAssociation = detail::Association{value, {}, false};
}

void Object::setWeakAssociatedObject(const Ref<Object>& value, std::string_view key) {
    storeAssociation(key, detail::Association{Value(), value, true}, !value);
}

Value Object::associatedObject(std::string_view key) const {
    auto* x = extrasIfAny();
    if (!x) return Value();
    std::lock_guard lock(x->mutex);
    auto it = x->associations.find(key);
    return it == x->associations.end() ? Value() : readAssociation(it->second);
}

Value Object::associatedObject(std::nullptr_t) const {
    auto* x = extrasIfAny();
    if (!x) return Value();
    std::lock_guard lock(x->mutex);
    return x->missingKeyAssociation ? readAssociation(*x->missingKeyAssociation) : Value();
}

std::size_t Object::addPreDestructionHandler(std::function<void(Object&)> handler) {
    auto& x = extras();
    std::lock_guard lock(x.mutex);
    std::size_t id = x.nextHandlerId++;
    x.preDestructionHandlers.emplace_back(id, std::move(handler));
    return id;
}

void Object::removePreDestructionHandler(std::size_t id) {
    auto* x = extrasIfAny();
    if (!x) return;
    std::function<void(Object&)> removed;
    std::lock_guard lock(x->mutex);
    for (auto it = x->preDestructionHandlers.begin(); it != x->preDestructionHandlers.end(); ++it) {
        if (it->first == id) {
            removed = std::move(it->second);
            x->preDestructionHandlers.erase(it);
            break;
        }
    }
}

Object::Slot* Object::slot(const void* tag) const {
    auto* x = extrasIfAny();
    if (!x) return nullptr;
    std::lock_guard lock(x->mutex);
    for (auto& [t, s] : x->slots)
        if (t == tag) return s.get();
    return nullptr;
}

Object::Slot* Object::ensureSlot(const void* tag, const std::function<std::unique_ptr<Slot>()>& make) {
    auto& x = extras();
    std::lock_guard lock(x.mutex);
    for (auto& [t, s] : x.slots)
        if (t == tag) return s.get();
    x.slots.emplace_back(tag, make());
    return x.slots.back().second.get();
}

void Object::runPreDestruction() noexcept {
    destroying_.store(true, std::memory_order_release);
    // Handlers may register further handlers (a dealloc signal made during the step);
    // take them one at a time so those run too.
    if (auto* x = extrasIfAny()) {
        for (;;) {
            std::function<void(Object&)> next;
            {
                std::lock_guard lock(x->mutex);
                if (x->preDestructionHandlers.empty()) break;
                next = std::move(x->preDestructionHandlers.front().second);
                x->preDestructionHandlers.erase(x->preDestructionHandlers.begin());
            }
            if (next) next(*this);
        }
    }
    willDestroy();
    if (auto* x = extrasIfAny()) {
        std::vector<Slot*> slots;
        {
            std::lock_guard lock(x->mutex);
            for (auto& [t, s] : x->slots) slots.push_back(s.get());
        }
        for (Slot* s : slots) s->objectWillDestroy(*this);
    }
    // Observations end last, so that the steps above could still announce changes.
    if (Slot* observation = observationSlot()) observation->objectWillDestroy(*this);
}

}  // namespace rt
