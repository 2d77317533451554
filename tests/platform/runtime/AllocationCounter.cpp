#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local bool counting = false;
thread_local long count = 0;
}  // namespace

namespace alloccount {
void start() {
    count = 0;
    counting = true;
}
long stop() {
    counting = false;
    return count;
}
}  // namespace alloccount

void* operator new(std::size_t size) {
    if (counting) ++count;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (counting) ++count;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
