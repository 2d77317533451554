#pragma once
// What the generated sweep (thread_sweep.py) needs: arguments made from parameter types,
// objects made from their classes or followed from a playing facade, a picture of an
// object through its getters, and the registry that calls each method (and each static
// method) from a thread of the host's, each in a child process of its own (a call that
// is not refused may do anything, a crash included, and the next method still gets a
// fresh process).

#include <rt/Exception.h>
#include <rt/KVO.h>
#include <rt/MainThread.h>
#include <rt/Object.h>
#include <ui/Geometry.h>

#include <atomic>
#include <concepts>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace zid {
class QXQuorvexPlayer;
}

namespace sweep {

/// Set when a callback the sweep handed to a call runs.
inline std::atomic<bool> callbackCalled{false};

template <class T> struct IsShared : std::false_type {};
template <class T> struct IsShared<std::shared_ptr<T>> : std::true_type {
    using element = T;
};
template <class T> struct IsFunction : std::false_type {};
template <class R, class... A> struct IsFunction<std::function<R(A...)>> : std::true_type {};
template <class T> struct IsOptional : std::false_type {};
template <class T> struct IsOptional<std::optional<T>> : std::true_type {
    using element = T;
};

/// A public constructor or static factory of T taking what the sweep can make, the N-th
/// of T's; specialised by the generated unit for classes that need one.
template <class T, int N> struct Maker {};
template <class T, int N> concept HasMaker = requires { Maker<T, N>::template make<>(); };

/// An object of class T made the way a host makes one: from a frame (views), plainly, or
/// through one of its constructors or factories.
template <class T> constexpr bool objectMakeable() {
    if constexpr (std::is_abstract_v<T>) return false;
    else
        return std::is_constructible_v<T, ui::Rect> || std::is_default_constructible_v<T> || HasMaker<T, 0> ||
               HasMaker<T, 1> || HasMaker<T, 2> || HasMaker<T, 3>;
}
template <class T> rt::Ref<T> makeObject() {
    if constexpr (std::is_constructible_v<T, ui::Rect>) return rt::make<T>(ui::Rect(0, 0, 320, 240));
    else if constexpr (std::is_default_constructible_v<T>) return rt::make<T>();
    else if constexpr (HasMaker<T, 0>) return Maker<T, 0>::template make<>();
    else if constexpr (HasMaker<T, 1>) return Maker<T, 1>::template make<>();
    else if constexpr (HasMaker<T, 2>) return Maker<T, 2>::template make<>();
    else return Maker<T, 3>::template make<>();
}

template <class U> constexpr bool valueMakeable();
template <class T, class Dependent = void>
    requires(valueMakeable<std::remove_cvref_t<T>>())
decltype(auto) arg();

template <class U, class = void> struct IsComplete : std::false_type {};
template <class U> struct IsComplete<U, std::void_t<decltype(sizeof(U))>> : std::true_type {};

template <class U> constexpr bool valueMakeable() {
    // A class the headers only declare (a parameter of an interface's method) cannot be made.
    if constexpr (!std::is_void_v<U> && !IsComplete<U>::value) return false;
    else if constexpr (std::is_arithmetic_v<U> || std::is_enum_v<U> || std::is_pointer_v<U> ||
                  std::is_same_v<U, std::nullptr_t>)
        return true;
    else if constexpr (IsShared<U>::value || IsFunction<U>::value || IsOptional<U>::value) return true;
    else if constexpr (std::is_base_of_v<rt::Object, U>) return objectMakeable<U>();
    else return std::is_default_constructible_v<U> && std::is_move_constructible_v<U>;
}

template <class U> U value() {
    if constexpr (std::is_same_v<U, bool>) return true;
    else if constexpr (std::is_arithmetic_v<U>) return U(7);
    else if constexpr (std::is_enum_v<U>) return static_cast<U>(1);
    else if constexpr (std::is_same_v<U, const char*>) return "sweep";
    else if constexpr (std::is_pointer_v<U> || std::is_same_v<U, std::nullptr_t>) return nullptr;
    else if constexpr (std::is_same_v<U, std::string> || std::is_same_v<U, std::string_view>) return U("sweep");
    else if constexpr (IsShared<U>::value) {
        using E = typename IsShared<U>::element;
        if constexpr (std::is_base_of_v<rt::Object, E> && objectMakeable<E>()) return makeObject<E>();
        else if constexpr (!std::is_base_of_v<rt::Object, E> && !std::is_abstract_v<E> &&
                           std::is_default_constructible_v<E>)
            return std::make_shared<E>();
        else return nullptr;
    } else if constexpr (IsFunction<U>::value) {
        return [](auto&&...) -> typename U::result_type {
            callbackCalled = true;
            if constexpr (!std::is_void_v<typename U::result_type>) {
                if constexpr (valueMakeable<typename U::result_type>()) return value<typename U::result_type>();
                else std::abort();
            }
        };
    } else if constexpr (IsOptional<U>::value) {
        using E = typename IsOptional<U>::element;
        if constexpr (valueMakeable<E>() && std::is_move_constructible_v<E>) return U(value<E>());
        else return std::nullopt;
    } else return U{};
}

/// The argument of a parameter of type T: a value, or an object kept for the process.
/// Dependent names it after the object the call is made on, so that a parameter type the
/// sweep cannot make leaves the call out instead of failing the unit.
template <class T, class Dependent>
    requires(valueMakeable<std::remove_cvref_t<T>>())
decltype(auto) arg() {
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_lvalue_reference_v<T> && std::is_base_of_v<rt::Object, U>) {
        static rt::Ref<U> kept = makeObject<U>();
        return static_cast<T>(*kept);
    } else if constexpr (std::is_lvalue_reference_v<T>) {
        static U* kept = new U(value<U>());
        return static_cast<T>(*kept);
    } else {
        return value<U>();
    }
}

/// The object a getter answered, as the object itself: an rt::Ref, a pointer, a
/// reference, or the first of a vector of them.
template <class T> rt::Ref<T> followed(const std::shared_ptr<T>& object) { return object; }
template <class T>
    requires std::is_base_of_v<rt::Object, T>
rt::Ref<T> followed(T* object) {
    return object ? std::dynamic_pointer_cast<T>(object->shared_from_this()) : nullptr;
}
template <class T>
    requires std::is_base_of_v<rt::Object, T>
rt::Ref<T> followed(T& object) {
    return followed(&object);
}
template <class T, class A> auto followed(const std::vector<T, A>& objects) -> decltype(followed(objects.front())) {
    if (objects.empty()) return nullptr;
    return followed(objects.front());
}

/// A facade playing a stream, made in the child on first use (main.cpp).
zid::QXQuorvexPlayer& playingFacade();

/// What an object's getters answer, to tell whether a call changed it.
class Snapshot {
public:
    template <class F, class O> void take(const char* name, F read, O& object) {
        if constexpr (requires { read(object); }) {
            using R = std::decay_t<decltype(read(object))>;
            if constexpr (std::copy_constructible<R> && std::equality_comparable<R>) {
                try {
                    same_.emplace_back(name, [read, &object, before = R(read(object))] { return R(read(object)) == before; });
                } catch (...) {
                }
            }
        }
    }
    /// Leaves out getters whose answer changes by itself (a new object at each call).
    void settle() { std::erase_if(same_, [](auto& entry) { return !safely(entry.second); }); }
    /// The getters whose answers changed.
    std::vector<std::string> changed() const {
        std::vector<std::string> names;
        for (auto& [name, same] : same_)
            if (!safely(same)) names.push_back(name);
        return names;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (auto& entry : same_) result.push_back(entry.first);
        return result;
    }

private:
    static bool safely(const std::function<bool()>& same) {
        try {
            return same();
        } catch (...) {
            return false;
        }
    }
    std::vector<std::pair<std::string, std::function<bool()>>> same_;
};

#define SWEEP_GETTER_IN(s, o, g) s.take(#g, [](auto& x) -> decltype(std::as_const(x).g()) { return std::as_const(x).g(); }, o)

template <class... T> struct Types {};

/// How one call went.
struct Outcome {
    std::string label;
    bool mainThreadOnly = false;
    bool refused = false;
    std::string detail;  // what went wrong, or why the method was left out
    bool leftOut = false;
    bool onPlaying = false;  // called on an object a playing facade handed out
    bool playingHadNone = false;  // a playing facade's getters answered none: a fresh one
};

class Registry {
public:
    /// A method to call, on the object `playing` follows from a playing facade (nullptr:
    /// none), or when it answers none on an object of the first class of Family that can
    /// be made and takes the call.
    template <class Family, class S, class P, class F> void method(std::string label, S snapshot, P playing, F call) {
        entries_.push_back({std::move(label), [snapshot, playing, call](Outcome& out) {
                                if constexpr (!std::is_same_v<P, std::nullptr_t>) {
                                    if (runOnPlaying(out, snapshot, playing, call)) return;
                                }
                                run(out, Family{}, snapshot, call);
                            }});
    }
    /// A static method to call; `call` takes a dummy its arguments are named after.
    template <class F> void staticMethod(std::string label, F call) {
        entries_.push_back({std::move(label), [call](Outcome& out) {
                                if constexpr (std::is_invocable_v<const F&, int&>) {
                                    int dummy = 0;
                                    runStatic(out, [&] { call(dummy); });
                                } else {
                                    out.leftOut = true;
                                    out.detail = "its arguments cannot be made";
                                }
                            }});
    }
    void leftOut(std::string label, std::string reason) {
        entries_.push_back({std::move(label), [reason](Outcome& out) {
                                out.leftOut = true;
                                out.detail = reason;
                            }});
    }

    /// Calls every method, each in a child process; answers each outcome.
    std::vector<Outcome> runAll() const;

private:
    struct Entry {
        std::string label;
        std::function<void(Outcome&)> run;
    };

    template <class S, class F> static void run(Outcome& out, Types<>, S&, F&) {
        out.leftOut = true;
        if (out.detail.empty()) out.detail = "no object of its class or a class derived from it can be made, or its arguments cannot";
    }
    template <class T, class... Rest, class S, class F> static void run(Outcome& out, Types<T, Rest...>, S& snapshot, F& call) {
        // The first class that can be made and takes the call; the classes after it are
        // not compiled for this method.
        if constexpr (objectMakeable<T>() && std::is_invocable_v<F&, T&>) {
            rt::Ref<T> object;
            try {
                object = makeObject<T>();
            } catch (const rt::Exception& e) {
                out.leftOut = true;
                out.detail = "making one raised " + e.name() + ": " + e.reason();
                return;
            }
            runOn(out, *object, [&] { return snapshot(*object); }, [&] { call(*object); });
        } else {
            run(out, Types<Rest...>{}, snapshot, call);
        }
    }
    template <class S, class P, class F> static bool runOnPlaying(Outcome& out, S& snapshot, P& playing, F& call) {
        using T = typename std::invoke_result_t<P&, zid::QXQuorvexPlayer&>::element_type;
        if constexpr (std::is_invocable_v<F&, T&>) {
            rt::Ref<T> object;
            try {
                object = playing(playingFacade());
            } catch (const rt::Exception& e) {
                out.detail = "following it from a playing facade raised " + e.name() + ": " + e.reason();
                return false;
            }
            if (!object) {
                out.playingHadNone = true;
                return false;
            }
            out.onPlaying = true;
            runOn(out, *object, [&] { return snapshot(*object); }, [&] { call(*object); });
            return true;
        } else {
            return false;
        }
    }
    static void runOn(Outcome& out, rt::Object& object, const std::function<Snapshot()>& snapshot,
                      const std::function<void()>& call);
    static void runStatic(Outcome& out, const std::function<void()>& call);
    /// Runs call on a thread of the host's; answers the name of what it raised.
    static std::string onHostThread(const std::function<void()>& call);

    std::vector<Entry> entries_;
};

/// Filled by the generated unit.
void addEveryMethod(Registry& registry);
/// What a host does once before it uses the framework's objects (in each child).
void hostSetUp();

}  // namespace sweep
