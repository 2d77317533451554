#include <rt/MainThread.h>

#include <rt/Class.h>
#include <rt/Exception.h>
#include <rt/Object.h>

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace rt {

namespace {
std::atomic<MainThread::Refusal> installedRefusal{nullptr};
}  // namespace

void MainThread::bindToCurrentThread() { bound_.store(currentThread(), std::memory_order_relaxed); }

bool MainThread::isCurrentSlowly() {
    if (bound_.load(std::memory_order_relaxed) != 0) return false;
    // Not bound yet: the process's first thread (whose thread id is the process id) is
    // the main one, bound once found so that its later checks take the one compare.
    static thread_local const bool first = ::syscall(SYS_gettid) == ::getpid();
    if (!first) return false;
    std::uintptr_t none = 0;
    bound_.compare_exchange_strong(none, currentThread(), std::memory_order_relaxed);
    return bound_.load(std::memory_order_relaxed) == currentThread();
}

bool MainThread::isMainThreadOnly(const Object& object) {
    for (const Class* c = &object.objectClass(); c; c = c->superclass())
        if (c->isMainThreadOnly()) return true;
    return false;
}

void MainThread::refuseIfMainThreadOnly(const Object& object, std::string_view call) {
    if (!isMainThreadOnly(object)) return;
    refuse(object.className() + "::" + std::string(call));
}

void MainThread::refuse(std::string_view call) {
    if (Refusal refusal = installedRefusal.load(std::memory_order_acquire)) refusal(call);
    throw Exception(Exception::InternalInconsistency,
                    std::string(call) + " was called on " + describeCurrentThread() + ", not on the main thread.");
}

void MainThread::setRefusal(Refusal refusal) { installedRefusal.store(refusal, std::memory_order_release); }

std::string MainThread::describeCurrentThread() {
    char name[32] = "";
    pthread_getname_np(pthread_self(), name, sizeof name);
    return "thread " + std::to_string(static_cast<long>(::syscall(SYS_gettid))) + " (\"" + name + "\")";
}

}  // namespace rt
