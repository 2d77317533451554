// zid_media_engine: the media engine's own process, started by a host's ProcessEngine
// with its socket as descriptor 3. Not meant to be run by hand.

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

#include "process/EngineHeap.h"
#include "process/EngineServer.h"

int main(int argc, char** argv) {
    // The heap is set up in one place for both engine programs (EngineHeap.cpp, with why).
    media::process::setUpEngineHeap();
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
