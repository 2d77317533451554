#include <rt/Key.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace rt::detail {

void storedOffMainThread(const Object& object, std::string_view key) {
    if (MainThread::isMainThreadOnly(object)) {
        // Named as the setter a host called: "maxSources" is set by setMaxSources.
        std::string setter = object.className() + "::set" + std::string(key);
        auto first = setter.size() - key.size();
        if (!key.empty()) setter[first] = static_cast<char>(std::toupper(static_cast<unsigned char>(setter[first])));
        MainThread::refuse(setter);
    }
    // Every build: a silent store would be a data race with the main thread's readers.
    std::fprintf(stderr, "The key \"%.*s\" of %s is a main-thread key but was set on another thread; declare it an "
                 "rt::AtomicKey or rt::GuardedKey, or set it on the main thread.\n",
                 static_cast<int>(key.size()), key.data(), object.className().c_str());
    std::abort();
}

}  // namespace rt::detail
