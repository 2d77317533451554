#pragma once
// The thread of the objects a host reaches. Views, the objects the player facade hands
// out and the facade itself are used on the main thread only; a call of theirs made on
// another thread is refused with an exception, never by ending the process, and does
// nothing. The rule is checked where those calls pass: the typed key setters and
// key-value coding by name (for classes declared main-thread-only with
// ClassBuilder::mainThreadOnly), the view's own mutators and the few calls of such
// classes that pass through neither. On the main thread a check is one compare with a
// cached thread id.
//
// What is raised comes from above: a layer that owns the words a host reads (the player
// facade) installs its refusal; without one, InternalInconsistencyException is raised.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include <pthread.h>

#if defined(__x86_64__) && defined(__GLIBC__) && defined(__has_builtin)
#if __has_builtin(__builtin_thread_pointer)
#define RT_THREAD_POINTER_IS_PTHREAD_SELF 1
#endif
#endif

/// The first statement of every public method of a main-thread-only class, getters and
/// inline ones included: a call from another thread is refused before it reads or
/// changes anything. Named after the object's class and the method ("Slider::setValue").
#define RT_MAIN_THREAD_ONLY() ::rt::MainThread::require(*this, __func__)
/// The same for a static method or a free function of a main-thread-only part, named by
/// call ("QXQuorvexPlayer::player").
#define RT_MAIN_THREAD_ONLY_CALL(call) ::rt::MainThread::require(call)
/// In the body of a class whose description says mainThreadOnly(), so that what reads
/// the headers (the thread sweep) knows it too; subclasses inherit it. The sweep also
/// takes every class a host reaches from the player facade's hand-outs, marked or not.
#define RT_MAIN_THREAD_ONLY_CLASS static constexpr bool mainThreadOnlyClass = true

namespace rt {

class Object;

class MainThread {
public:
    /// Whether the caller runs on the main thread.
    static bool isCurrent() {
        if (currentThread() == bound_.load(std::memory_order_relaxed)) [[likely]]
            return true;
        return isCurrentSlowly();
    }
    /// Makes the calling thread the main one (the run loop layer does, when it makes the
    /// main run loop). Until then the process's first thread is.
    static void bindToCurrentThread();

    /// Raises the thread error naming call (qualified: "Class::call") and the calling
    /// thread, unless on the main thread.
    static void require(std::string_view call) {
        if (!isCurrent()) [[unlikely]]
            refuse(call);
    }
    /// The same for a call of object, when its class is main-thread-only; call is named
    /// after the object's class ("Window::addSubview").
    static void require(const Object& object, std::string_view call) {
        if (!isCurrent()) [[unlikely]]
            refuseIfMainThreadOnly(object, call);
    }
    /// Whether object's class, or one of its superclasses, is main-thread-only.
    static bool isMainThreadOnly(const Object& object);

    /// Raises the installed refusal for call; InternalInconsistencyException without one.
    [[noreturn]] static void refuse(std::string_view call);
    /// What a refusal raises: it must throw. Installed once, from above.
    using Refusal = void (*)(std::string_view call);
    static void setRefusal(Refusal refusal);

    /// The calling thread as a person finds it in a debugger or the process's task list:
    /// `thread 4242 ("zid-host-worker")`.
    static std::string describeCurrentThread();

private:
    /// The calling thread's pthread_t as a number. On x86-64 with glibc that is the thread
    /// pointer itself, read in one instruction instead of a call into the C library.
    static std::uintptr_t currentThread() {
#ifdef RT_THREAD_POINTER_IS_PTHREAD_SELF
        return reinterpret_cast<std::uintptr_t>(__builtin_thread_pointer());
#else
        return static_cast<std::uintptr_t>(pthread_self());
#endif
    }
    static bool isCurrentSlowly();
    static void refuseIfMainThreadOnly(const Object& object, std::string_view call);
    /// The main thread's currentThread(); 0 until bound.
    static inline std::atomic<std::uintptr_t> bound_{0};
};

}  // namespace rt
