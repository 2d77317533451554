// zid_media_engine: the media engine's own process, started by a host's ProcessEngine
// with its socket as descriptor 3. Not meant to be run by hand.

#include <malloc.h>
#include <sys/prctl.h>
#include <signal.h>
#include <linux/close_range.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fnd/CrashReport.h>
#include <media/GstEngine.h>

#include "process/EngineServer.h"

namespace {

/// The engine's heap: glibc's, with this many arenas. The one place the engine program
/// chooses its allocator, and why:
/// - An item brings about 18 threads (streaming, download, decoding, teardown). A heap that
///   gives each thread a cache of its own (the thread-caching allocators, jemalloc's
///   thread caches) costs every extra item about 2.5 MB more than here, in what those
///   caches keep; glibc's per-thread cache holds a few small blocks.
/// - glibc gives threads that contend for the heap arenas of their own, up to eight per
///   core, and an arena never gives back the address space it once used (what
///   RLIMIT_DATA bounds): the count is bounded.
/// - One arena puts every thread's allocations behind one lock, which cost each item's
///   first picture about 0.1 of the in-process engine's; two keep it below that engine's.
///   What the second arena costs: a process's data memory grows about 25 MiB over its
///   first 100 items instead of levelling off after the first (a process retires after
///   64 items or past its memory mark).
constexpr int kHeapArenas = 2;

}  // namespace

int main(int argc, char** argv) {
    ::mallopt(M_ARENA_MAX, kHeapArenas);
    int socket = -1;
    media::process::ServerOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--socket=", 0) == 0) socket = std::atoi(arg.c_str() + 9);
        else if (arg == "--warm-up") options.warmUp = true;
        else if (arg == "--light") options.light = true;
        else {
            std::fprintf(stderr, "zid_media_engine: unknown argument \"%s\"\n", argv[i]);
            return 2;
        }
    }
    if (socket < 0) {
        std::fprintf(stderr, "zid_media_engine: started without --socket=<fd>; a host's media layer starts this program\n");
        return 2;
    }
    // Descriptors the host left open without close-on-exec (its sockets, files) are not
    // the engine's: held here, a connection the host closes would stay open.
    ::close_range(static_cast<unsigned>(socket) + 1, ~0u, 0);
    // The engine never outlives its host.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() == 1) return 1;
    ::signal(SIGPIPE, SIG_IGN);
    // A crash inside the media framework then leaves its stack in the host's standard
    // error, and its last line is the cause the host's item error carries.
    fnd::installCrashReport("zid_media_engine");
    int status = media::process::serveEngine(socket, options);
    // Pipelines stop on threads of their own: the process ends once they have (a stuck
    // one is left to the host, which kills a process that does not end in time).
    media::GstEngine::finishTeardowns(2);
    return status;
}
