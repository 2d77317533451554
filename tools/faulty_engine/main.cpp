// zid_faulty_engine: a stand-in for the media engine program that breaks the rules on
// purpose, for the tests that show a host survives its engine process. It plays like the
// real one until the moment its misbehaviour is due, chosen by ZID_FAULTY_ENGINE in its
// environment: "shrink-slots", "silent-seeks", "hang-on-seek", "hang-on-close", "garbage", "slow-rate", "grow" (takes
// memory until it has no more, up to 1 GiB, before it serves) or "abort-on-seek=<n>"
// (aborts on the n-th seek of its item, as GStreamer's demuxer can). The engine program a
// host installs has no such switch.

#include <sys/prctl.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "process/EngineServer.h"

namespace {

/// Takes memory until there is no more (a bounded process ends here) or it holds 1 GiB,
/// then serves as the real engine does.
int grow(int socket) {
    constexpr std::size_t kBlock = 16u << 20;
    std::size_t held = 0;
    while (held < (1u << 30)) {
        void* block = std::malloc(kBlock);
        if (!block) {
            std::fprintf(stderr, "zid_faulty_engine: out of memory after %zu MiB\n", held >> 20);
            std::abort();
        }
        std::memset(block, 1, kBlock);
        held += kBlock;
    }
    std::fprintf(stderr, "zid_faulty_engine: holds %zu MiB, unbounded\n", held >> 20);
    return media::process::serveEngine(socket, {});
}

}  // namespace

int main(int argc, char** argv) {
    using Misbehaviour = media::process::ServerOptions::Misbehaviour;
    media::process::ServerOptions options;
    int socket = -1;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--socket=", 9) == 0) socket = std::atoi(argv[i] + 9);
    const char* chosen = std::getenv("ZID_FAULTY_ENGINE");
    std::string which = chosen ? chosen : "";
    if (which == "shrink-slots") options.misbehaviour = Misbehaviour::ShrinkSlots;
    else if (which == "silent-seeks") options.misbehaviour = Misbehaviour::SilentSeeks;
    else if (which == "hang-on-seek") options.misbehaviour = Misbehaviour::HangOnSeek;
    else if (which == "hang-on-close") options.misbehaviour = Misbehaviour::HangOnClose;
    else if (which == "leak-on-close") options.misbehaviour = Misbehaviour::LeakOnClose;
    else if (which == "garbage") options.misbehaviour = Misbehaviour::Garbage;
    else if (which == "slow-rate") options.misbehaviour = Misbehaviour::SlowRate;
    else if (which == "grow") return grow(socket);
    else if (which.rfind("abort-on-seek=", 0) == 0) options.abortOnSeek = std::atol(which.c_str() + 14);
    if (socket < 0 || (options.misbehaviour == Misbehaviour::None && options.abortOnSeek <= 0)) {
        std::fprintf(stderr, "zid_faulty_engine: needs --socket=<fd> and ZID_FAULTY_ENGINE naming a misbehaviour\n");
        return 2;
    }
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::signal(SIGPIPE, SIG_IGN);
    return media::process::serveEngine(socket, options);
}
