#pragma once
// Data handed to GStreamer or GLib on one thread (a probe's, a callback's, a signal
// handler's) and used or freed on another. GStreamer orders the two with its own locks
// and atomic counts, which ThreadSanitizer cannot see in libraries built without it; these
// say where the data changes hands, so that what it reports in the engine's own code is a
// race of the engine's own. They cost nothing in other builds.

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace media::gstimpl {

/// Everything this thread did to `data` so far comes before what takes it over.
inline void handedOver(const void* data) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<void*>(data));
#else
    (void)data;
#endif
}

/// What was done to `data` before it was handed over comes before what this thread does.
inline void takenOver(const void* data) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(const_cast<void*>(data));
#else
    (void)data;
#endif
}

/// For the length of a callback that uses `data` throughout: taken over at its start,
/// handed on at its end for whoever uses or frees it next.
class Handling {
public:
    explicit Handling(const void* data) : data_(data) { takenOver(data_); }
    ~Handling() { handedOver(data_); }
    Handling(const Handling&) = delete;
    Handling& operator=(const Handling&) = delete;

private:
    const void* data_;
};

/// `data`, made here and handed over.
template <class T>
T* handOver(T* data) {
    handedOver(data);
    return data;
}

}  // namespace media::gstimpl
