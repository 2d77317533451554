#include "EngineHeap.h"

#include <malloc.h>

namespace media::process {

// Why glibc's heap with two arenas:
// - An item brings about 18 threads (streaming, download, decoding, teardown). A heap that
//   gives each thread a cache of its own (the thread-caching allocators, jemalloc's
//   thread caches) costs every extra item about 2.5 MB more than here, in what those
//   caches keep; glibc's per-thread cache holds a few small blocks.
// - glibc gives threads that contend for the heap arenas of their own, up to eight per
//   core, and an arena never gives back the address space it once used (what
//   RLIMIT_DATA bounds): the count is bounded.
// - One arena puts every thread's allocations behind one lock, which cost each item's
//   first picture about 0.1 of the in-process engine's; two keep it below that engine's.
//
// What the second arena costs is address space that creeps. Threads take the arenas in
// turn, so which arena holds an item's buffers is chance, and each grows to the most its
// share of the items playing together ever held: in steps of about 12 MiB, as late as a
// process's 60th item. The second arena never gives that address space back, only its
// pages; the main arena gives back its top when trimmed. Given up front instead (each
// arena grown once to about 60 MiB as the program starts), data memory stayed level, but
// the pages touched to grow them cost every engine process's start about 2,000 page
// faults, four times its CPU on a busy machine: the first picture of a new host's item
// waits for that start.
//
// What the items freed is given back once the process has been idle kIdleTrimDelay
// (returnFreedMemory): it then holds about 22 MB of anonymous memory instead of 85-100
// (70 MB resident in all instead of 130-180). Not sooner: the next items fault the pages
// given back in again, about 4,500 faults an item.

void setUpEngineHeap() { ::mallopt(M_ARENA_MAX, kHeapArenas); }

void returnFreedMemory() { ::malloc_trim(0); }

}  // namespace media::process
