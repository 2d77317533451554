#pragma once
// Counts the heap allocations made on the calling thread between start and stop (the
// test binary replaces the global operator new for this).

namespace alloccount {
void start();
/// Stops counting; answers the allocations counted since start().
long stop();
}  // namespace alloccount
