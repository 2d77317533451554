#pragma once
// Dynamic method tables: selector -> method (type encoding + implementation), one table
// for the instance methods and one for the class methods of each class description.
//
// Only classes that take part in dynamic messages fill them: proxies, trampolines,
// run-time made classes, classes whose methods are exchanged, and typed classes that
// expose a few methods to dynamic callers. Lookups search the class, then its
// superclasses. Methods are never removed; their implementations may be replaced or
// exchanged, and they keep their type encoding when that happens.
//
//   rt::addMethod(Cls::staticClass(), rt::sel("size"), &Cls::size);          // member function
//   rt::addMethod(cls, rt::sel("greet:"), rt::implementation<std::string(rt::Object&, std::string)>(
//       [](rt::Object&, std::string name) { return "hello " + name; }));
//   rt::addClassMethod(cls, rt::sel("make"), rt::implementation<int(const rt::Class&)>(...));

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include <rt/Block.h>
#include <rt/Class.h>
#include <rt/Invocation.h>
#include <rt/MethodSignature.h>
#include <rt/Selector.h>

namespace rt {

/// Who receives a message: an object (instance methods) or a class (class methods).
struct Receiver {
    Object* object = nullptr;
    const Class* cls = nullptr;
};

/// A method body. It reads its arguments from the invocation and leaves its result there.
/// One made from a block keeps the block; removeBlock() releases it, after which the
/// implementation does nothing (results stay zero).
class Implementation {
public:
    using Function = std::function<void(const Receiver&, Invocation&)>;
    explicit Implementation(Function fn, Ref<BlockBase> block = nullptr, std::string types = {})
        : fn_(std::move(fn)), block_(std::move(block)), types_(std::move(types)) {}

    void operator()(const Receiver& receiver, Invocation& invocation) const;
    Ref<BlockBase> block() const;
    void removeBlock();
    /// The encoding of the C++ function behind it (what a new method made from it gets).
    const std::string& types() const { return types_; }

private:
    mutable std::mutex mutex_;
    Function fn_;
    Ref<BlockBase> block_;
    std::string types_;
};
using Imp = std::shared_ptr<Implementation>;

class Method;
void exchangeImplementations(Method& a, Method& b);

class Method {
public:
    Method(Selector selector, MethodSignature signature, Imp imp)
        : selector_(selector), signature_(std::move(signature)), imp_(std::move(imp)) {}
    Selector selector() const { return selector_; }
    const std::string& typeEncoding() const { return signature_.types(); }
    const MethodSignature& signature() const { return signature_; }
    Imp implementation() const;
    /// Answers the previous implementation.
    Imp setImplementation(Imp imp);

private:
    friend void exchangeImplementations(Method& a, Method& b);
    Selector selector_;
    MethodSignature signature_;
    Imp imp_;
};
using MethodRef = std::shared_ptr<Method>;

/// The own methods of one class (instance or class side).
struct MethodTable {
    MethodRef find(Selector selector) const;
    /// Adds a method; false (and no change) when the table has one for the selector.
    bool add(Selector selector, Imp imp, const std::string& types);
    std::vector<MethodRef> all() const;

private:
    mutable std::mutex mutex_;
    std::unordered_map<Selector, MethodRef, SelectorHash> methods_;
};

// ---- class-level operations ---------------------------------------------------------
/// The instance method for the selector, the class's own or inherited; nullptr if none.
MethodRef findInstanceMethod(const Class& cls, Selector selector);
MethodRef findClassMethod(const Class& cls, Selector selector);
/// The class's own method only.
MethodRef ownInstanceMethod(const Class& cls, Selector selector);
MethodRef ownClassMethod(const Class& cls, Selector selector);
/// Adds to the class's own table; false when the class itself already has the selector
/// (an inherited method does not prevent the addition: it becomes an override).
bool addMethod(const Class& cls, Selector selector, Imp imp, const std::string& types);
bool addClassMethod(const Class& cls, Selector selector, Imp imp, const std::string& types);
/// Replaces the implementation of the class's own method, or adds the method with the
/// types when the class has none of its own. Answers the previous own implementation.
Imp replaceMethod(const Class& cls, Selector selector, Imp imp, const std::string& types);
Imp replaceClassMethod(const Class& cls, Selector selector, Imp imp, const std::string& types);
/// Exchanges the implementations of two methods; each keeps its type encoding.
void exchangeImplementations(Method& a, Method& b);

// ---- typed implementations ----------------------------------------------------------
namespace detail {

template <class T> struct FnTraits : FnTraits<decltype(&T::operator())> {};
template <class Result, class... A> struct FnTraits<Result(A...)> {
    using Sig = Result(A...);
};
template <class Result, class... A> struct FnTraits<Result (*)(A...)> : FnTraits<Result(A...)> {};
template <class C, class Result, class... A> struct FnTraits<Result (C::*)(A...) const> : FnTraits<Result(A...)> {};
template <class C, class Result, class... A> struct FnTraits<Result (C::*)(A...)> : FnTraits<Result(A...)> {};

template <class Self> decltype(auto) receiverAs(const Receiver& receiver, Invocation& invocation) {
    using S = std::remove_cvref_t<Self>;
    if constexpr (std::is_same_v<S, Class>) {
        if (!receiver.cls)
            throw Exception(Exception::InvalidArgument,
                            "A class method was sent to an object: " + invocation.selector().name());
        return static_cast<Self>(*receiver.cls);
    } else {
        auto* object = dynamic_cast<S*>(receiver.object);
        if (!object)
            throw Exception(Exception::InvalidArgument,
                            "The receiver of " + invocation.selector().name() + " is not a " +
                                encoding::typeName(typeid(S)));
        return static_cast<Self>(*object);
    }
}

template <class Result, class Self, class... Args, class F, std::size_t... I>
void callTyped(F& fn, const Receiver& receiver, Invocation& invocation, std::index_sequence<I...>) {
    decltype(auto) self = receiverAs<Self>(receiver, invocation);
    if constexpr (std::is_void_v<Result>) {
        fn(self, invocation.template getArgument<Args>(I + 2)...);
    } else {
        Result result = fn(self, invocation.template getArgument<Args>(I + 2)...);
        if (!invocation.methodSignature().returnsVoid()) invocation.setReturnValue(std::move(result));
    }
}

template <class Sig> struct Typed;
template <class Result, class Self, class... Args> struct Typed<Result(Self, Args...)> {
    static std::string types() { return methodTypes<Result, Args...>(); }
    template <class F> static Implementation::Function wrap(F fn) {
        return [fn = std::move(fn)](const Receiver& receiver, Invocation& invocation) mutable {
            callTyped<Result, Self, Args...>(fn, receiver, invocation, std::index_sequence_for<Args...>{});
        };
    }
};

}  // namespace detail

/// An implementation from a C++ callable whose first parameter is the receiver (T& of
/// an object class, or const rt::Class& for class methods):
/// implementation<int(Counter&, int)>([](Counter& c, int by) { return c.add(by); })
template <class Sig, class F> Imp implementation(F fn) {
    return std::make_shared<Implementation>(detail::Typed<Sig>::wrap(std::move(fn)), nullptr,
                                            detail::Typed<Sig>::types());
}

/// An implementation that calls a block (the block receives the receiver, then the
/// message's arguments) and keeps the block until removeBlock().
template <class Sig> Imp implementationWithBlock(const BlockRef<Sig>& block) {
    std::weak_ptr<Block<Sig>> weak = block;
    auto fn = detail::Typed<Sig>::wrap([weak](auto&&... args) {
        auto b = weak.lock();
        using Result = typename std::invoke_result_t<Block<Sig>, decltype(args)...>;
        if (!b) {
            if constexpr (std::is_void_v<Result>) return;
            else return Result{};
        }
        return (*b)(std::forward<decltype(args)>(args)...);
    });
    return std::make_shared<Implementation>(std::move(fn), block, detail::Typed<Sig>::types());
}

/// The block behind an implementation (nullptr when it has none or it was removed).
inline Ref<BlockBase> implementationGetBlock(const Imp& imp) { return imp ? imp->block() : nullptr; }
/// Releases the block behind an implementation.
inline void implementationRemoveBlock(const Imp& imp) {
    if (imp) imp->removeBlock();
}

/// Adds a member function of C as a method; its types derive from its C++ signature.
template <class C, class Result, class... A>
bool addMethod(const Class& cls, Selector selector, Result (C::*fn)(A...)) {
    auto imp =
        implementation<Result(C&, A...)>([fn](C& self, A... args) { return (self.*fn)(std::forward<A>(args)...); });
    return addMethod(cls, selector, imp, imp->types());
}
template <class C, class Result, class... A>
bool addMethod(const Class& cls, Selector selector, Result (C::*fn)(A...) const) {
    auto imp =
        implementation<Result(C&, A...)>([fn](C& self, A... args) { return (self.*fn)(std::forward<A>(args)...); });
    return addMethod(cls, selector, imp, imp->types());
}
inline bool addMethod(const Class& cls, Selector selector, const Imp& imp) {
    return addMethod(cls, selector, imp, imp->types());
}
inline bool addClassMethod(const Class& cls, Selector selector, const Imp& imp) {
    return addClassMethod(cls, selector, imp, imp->types());
}

}  // namespace rt
