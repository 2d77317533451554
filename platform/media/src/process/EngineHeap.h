#pragma once
// The engine process's heap: glibc's, with two arenas, given back the pages its items
// freed once the process has been left idle a while. Both engine programs (the one a host
// installs and the tests' stand-in) call these, so what the tests measure of the one is
// the heap of the other.

namespace media::process {

/// The number of heap arenas (EngineHeap.cpp says why two).
inline constexpr int kHeapArenas = 2;

/// Seconds a process has been without an item, its items' teardowns over, before it gives
/// back what they freed: items that follow one another sooner find their pages in place.
inline constexpr double kIdleTrimDelay = 2.0;

/// Bounds the arenas. Call first thing in main(), before any other thread allocates.
void setUpEngineHeap();

/// Gives back to the system the pages of the memory the heap holds freed, and the main
/// arena's top. Takes each arena's lock while it walks it: call it when no item plays.
void returnFreedMemory();

}  // namespace media::process
