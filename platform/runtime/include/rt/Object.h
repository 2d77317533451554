#pragma once
// The root of every framework and stand-in class.
//
// Objects live on the heap, are created only through rt::make<T>() and are held by
// rt::Ref (shared) or rt::Weak (zeroing weak). make() installs a deleter that runs
// the pre-destruction step while the object is still whole: by then every weak
// reference already reads empty, but virtual calls still reach the most derived
// class. Dealloc signals, the end of observations and close handlers run there.

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include <rt/Class.h>

namespace rt {

class Object;
class Value;

template <class T> using Ref = std::shared_ptr<T>;
template <class T> using Weak = std::weak_ptr<T>;
template <class T, class... Args> Ref<T> make(Args&&... args);

namespace detail {
struct ObjectExtras;
struct Association;
struct ObjectDeleter {
    void operator()(Object* object) const noexcept;
};
/// The reference rt::make hands out: owns the new object with ObjectDeleter and runs its
/// didInitialize. One function for every class, so that a header defining a class
/// instantiates no reference-count block of its own for it.
std::shared_ptr<Object> adopt(Object* made);
}  // namespace detail

/// Declares the class description of a class derived from rt::Object.
/// Use it first thing in the class body: RT_CLASS(QXLogger, rt::Object). What follows
/// it is public, like the rest of a struct body; open a `private:` section for fields.
/// The description is registered under the class's name ("QXLogger", what archives and
/// descriptions show) and its qualified name ("zid::QXLogger"); a second class of the
/// same qualified name is refused with an exception when it is first used.
/// A class that declares `static void describe(rt::ClassBuilder<Cls>&)` itself (not
/// inherited) has it called once, when the description is first made; such a class
/// includes <rt/KVC.h> (see rt/Key.h for how properties are declared).
#define RT_CLASS(Cls, Super)                                                          \
public:                                                                               \
    using super = Super;                                                              \
    static const ::rt::Class& staticClass() {                                         \
        static const ::rt::Class& described = ::rt::detail::describeClass<Cls>(      \
            #Cls, ::rt::qualifiedClassName(typeid(Cls)), &Super::staticClass(),       \
            [](auto& builder) -> decltype(::rt::detail::Deferred<Cls, decltype(builder)>::type::describe(builder)) { \
                ::rt::detail::Deferred<Cls, decltype(builder)>::type::describe(builder); \
            });                                                                       \
        return described;                                                             \
    }                                                                                 \
    const ::rt::Class& declaredClass() const override { return staticClass(); }       \
                                                                                      \
public:

class Object : public std::enable_shared_from_this<Object> {
public:
    Object();
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object();

    static const Class& staticClass();
    /// The class this object was declared as (the C++ class).
    virtual const Class& declaredClass() const { return staticClass(); }
    /// The class the object currently answers to; a run-time made subclass may have
    /// been set with setObjectClass().
    const Class& objectClass() const;
    /// Switches the object to another class description (run-time made subclasses,
    /// trampolines). The new class must descend from the declared one.
    void setObjectClass(const Class& cls);

    std::string className() const { return objectClass().name(); }
    bool isKindOf(const Class& cls) const { return objectClass().isSubclassOf(cls); }
    bool isMemberOf(const Class& cls) const { return &objectClass() == &cls; }
    bool conformsTo(std::string_view protocolName) const { return objectClass().conformsTo(protocolName); }

    /// Equality and hashing: identity by default. Overrides must keep the two consistent.
    virtual bool isEqual(const Object& other) const { return this == &other; }
    virtual std::size_t hash() const { return std::hash<const void*>()(this); }
    virtual std::string description() const;

    /// A strong reference to this object; empty during the pre-destruction step.
    Ref<Object> self() { return weak_from_this().lock(); }
    Ref<const Object> self() const { return weak_from_this().lock(); }
    template <class T> Ref<T> selfAs() { return std::dynamic_pointer_cast<T>(self()); }

    // ---- associations -----------------------------------------------------------
    // Any object can carry extra values under string keys (compared by text). The
    // empty optional key (a missing key) is a key of its own.

    /// Strong association; a nil value removes the entry (releasing the old value).
    void setAssociatedObject(const Value& value, std::string_view key);
    void setAssociatedObject(const Value& value, std::nullptr_t /*missing key*/);
    /// Unretained association: the value is not kept alive and reads as nil once it
    /// is gone (it never dangles).
    void setWeakAssociatedObject(const Ref<Object>& value, std::string_view key);
    Value associatedObject(std::string_view key) const;
    Value associatedObject(std::nullptr_t /*missing key*/) const;

    // ---- key-value coding (implemented in KVC.cpp; see rt/KVO.h) -------------------
    Value valueForKey(std::string_view key) const;
    Value valueForKeyPath(std::string_view keyPath) const;
    void setValueForKey(const Value& value, std::string_view key);
    void setValueForKeyPath(const Value& value, std::string_view keyPath);
    /// Hooks for keys the class does not register. The defaults raise
    /// Exception::UndefinedKey; lists answer index keys here.
    virtual Value valueForUndefinedKey(std::string_view key) const;
    virtual void setValueForUndefinedKey(const Value& value, std::string_view key);

    // ---- key-value observing (implemented in KVO.cpp; see rt/KVO.h) ---------------
    void willChangeValueForKey(std::string_view key);
    void didChangeValueForKey(std::string_view key);

    /// The lock that guarded typed keys (rt::GuardedKey) read and write their fields
    /// under. Held only for the copy of a value, never while anything is called.
    std::mutex& propertyLock() const;

    // ---- pre-destruction step ---------------------------------------------------
    /// Registers work to run in the pre-destruction step, in registration order,
    /// before the class's own willDestroy(). Returns an id for removal.
    std::size_t addPreDestructionHandler(std::function<void(Object&)> handler);
    void removePreDestructionHandler(std::size_t id);
    /// True while (and after) the pre-destruction step runs.
    bool isBeingDestroyed() const { return destroying_.load(std::memory_order_acquire); }

    // ---- storage slots for the runtime's own extensions (observation tables) -----
    /// An extension slot keyed by a static tag. Used by key-value observing so that an
    /// object without observers costs one pointer check and no allocation.
    struct Slot {
        virtual ~Slot() = default;
        /// Called in the pre-destruction step, after the handlers and willDestroy().
        virtual void objectWillDestroy(Object&) {}
    };
    Slot* slot(const void* tag) const;
    /// Key-value observing keeps its table in a slot of its own, so that a setter can
    /// tell "nobody observes" with one atomic load.
    Slot* observationSlot() const { return observation_.load(std::memory_order_acquire); }
    Slot* ensureObservationSlot(const std::function<std::unique_ptr<Slot>()>& make);
    /// Installs the slot made by make() unless one is there; answers the slot in place.
    Slot* ensureSlot(const void* tag, const std::function<std::unique_ptr<Slot>()>& make);

protected:
    /// Runs right after rt::make created the object, when self() already works: the
    /// place for set-up that registers this object elsewhere (as a listener, an
    /// observer). Overrides call the base first.
    virtual void didInitialize() {}

    /// The class's own destruction hook: runs after the pre-destruction handlers, while
    /// the object is whole. Overrides call the base last.
    virtual void willDestroy() {}

private:
    friend struct detail::ObjectDeleter;
    friend std::shared_ptr<Object> detail::adopt(Object* made);
    template <class T, class... Args> friend Ref<T> make(Args&&... args);
    void runPreDestruction() noexcept;
    void storeAssociation(std::string_view key, detail::Association association, bool remove);
    detail::ObjectExtras& extras() const;
    detail::ObjectExtras* extrasIfAny() const { return extras_.load(std::memory_order_acquire); }

    mutable std::atomic<detail::ObjectExtras*> extras_{nullptr};
    std::atomic<Slot*> observation_{nullptr};
    std::atomic<bool> destroying_{false};
};

template <class Cls> class ClassBuilder;

namespace detail {
/// T, named through a second type so that a lookup into it waits for that type.
template <class T, class> struct Deferred {
    using type = T;
};

template <class T> std::shared_ptr<Object> makeObject() { return make<T>(); }
/// A plain function, so that every class's factory is the same kind of std::function.
template <class T> Class::Factory factoryFor() {
    if constexpr (std::is_default_constructible_v<T> && !std::is_abstract_v<T>) {
        return &makeObject<T>;
    } else {
        return nullptr;
    }
}

/// Registers the description of Cls and runs its own describe hook, if any. The hook
/// is tried with a builder of Cls itself, so a describe inherited from a base (which
/// takes the base's builder) does not match and is not run a second time.
template <class Cls, class Hook>
const Class& describeClass(const char* name, std::string qualifiedName, const Class* superclass, Hook hook) {
    const Class& cls = Class::describe(name, std::move(qualifiedName), superclass, factoryFor<Cls>());
    if constexpr (std::is_invocable_v<Hook&, ClassBuilder<Cls>&>) {
        ClassBuilder<Cls> builder(cls);
        hook(builder);
    }
    return cls;
}
}  // namespace detail

namespace detail {
/// Objects rt::make is constructing on this thread and whose root part is not built
/// yet: rt::Object's constructor takes one, or refuses to run.
inline thread_local int objectsBeingMade = 0;
struct MakingObject {
    int saved = objectsBeingMade;
    MakingObject() { ++objectsBeingMade; }
    ~MakingObject() { objectsBeingMade = saved; }
    MakingObject(const MakingObject&) = delete;
    MakingObject& operator=(const MakingObject&) = delete;
};
}  // namespace detail

/// Creates an object of class T. The only way objects come to life: an object made on
/// the stack, as a member, with new or with std::make_shared would have no working
/// self() and no pre-destruction step, so rt::Object's constructor raises
/// InternalInconsistencyException outside rt::make. Constructors stay public and
/// ordinary; nothing else is asked of a subclass.
template <class T, class... Args> Ref<T> make(Args&&... args) {
    static_assert(std::is_base_of_v<Object, T>, "rt::make makes rt::Object subclasses");
    (void)T::staticClass();  // registers the class description on first use
    T* raw;
    {
        detail::MakingObject making;
        raw = new T(std::forward<Args>(args)...);
    }
    return Ref<T>(detail::adopt(raw), raw);
}

/// Dynamic cast between references.
template <class T, class U> Ref<T> cast(const Ref<U>& ref) { return std::dynamic_pointer_cast<T>(ref); }

}  // namespace rt
