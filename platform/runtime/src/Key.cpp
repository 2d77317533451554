#include <rt/Key.h>

#include <cstdio>
#include <cstdlib>

#include <sys/syscall.h>
#include <unistd.h>

namespace rt::detail {

void checkMainThread(const Object& object, std::string_view key) {
    // The process's first thread has the process id as its thread id.
    static thread_local const bool onMainThread = ::syscall(SYS_gettid) == ::getpid();
    if (onMainThread) return;
    std::fprintf(stderr, "The key \"%.*s\" of %s is a main-thread key but was set on another thread; declare it an "
                 "rt::AtomicKey or rt::GuardedKey, or set it on the main thread.\n",
                 static_cast<int>(key.size()), key.data(), object.className().c_str());
    std::abort();
}

}  // namespace rt::detail
