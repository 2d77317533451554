// zid_faulty_engine: a stand-in for the media engine program that breaks the rules on
// purpose, for the tests that show a host survives its engine process. It plays like the
// real one until the moment its misbehaviour is due, chosen by ZID_FAULTY_ENGINE in its
// environment: "shrink-slots", "silent-seeks", "hang-on-seek", "hang-on-close", "garbage", "slow-rate", "grow" (takes
// memory until it has no more, up to 1 GiB, before it serves), "abort-on-seek=<n>"
// (aborts on the n-th seek of its item, as GStreamer's demuxer can) or "stuck-flush=<n>"
// (the n-th flush of each pipeline never reaches its video sink: the seek that sent it
// never returns, as GStreamer 1.22's flushing seeks can deadlock) or "leak-per-item=<bytes>"
// (each item's pipeline takes that many bytes of heap, written to, and never frees them:
// the leak the soak's check must catch). The engine program a host
// installs has no such switch.

#include <sys/prctl.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "gst/GstPipelineThread.h"
#include "process/EngineHeap.h"
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

/// The n-th flush-start to reach each pipeline's video sink holds the thread that pushes
/// it for good: the thread that sent the seek.
void holdFlush(long n) {
    media::gstimpl::GstPipelineThread::setPipelineHook([n](GstElement* pipeline) {
        GstElement* sink = nullptr;
        g_object_get(pipeline, "video-sink", &sink, nullptr);
        if (!sink) return;
        if (GstPad* pad = gst_element_get_static_pad(sink, "sink")) {
            gst_pad_add_probe(
                pad, GST_PAD_PROBE_TYPE_EVENT_FLUSH,
                [](GstPad*, GstPadProbeInfo* info, gpointer data) {
                    auto* left = static_cast<std::atomic<long>*>(data);
                    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_FLUSH_START && --*left == 0) {
                        std::fprintf(stderr, "zid_faulty_engine: holding a flush for good, as the fault injection asks\n");
                        for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
                    }
                    return GST_PAD_PROBE_OK;
                },
                new std::atomic<long>(n), [](gpointer data) { delete static_cast<std::atomic<long>*>(data); });
            gst_object_unref(pad);
        }
        gst_object_unref(sink);
    });
}

/// Each pipeline made leaks `bytes` of heap, every page of it written to. (Kept in a list
/// that is never read: memory nothing refers to, the compiler may never allocate.)
void leakPerItem(std::size_t bytes) {
    static auto* leaked = new std::vector<void*>;
    media::gstimpl::GstPipelineThread::setPipelineHook([bytes](GstElement*) {
        if (void* block = std::malloc(bytes)) {
            std::memset(block, 1, bytes);
            leaked->push_back(block);
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    media::process::setUpEngineHeap();  // the engine program's heap, to measure it alike
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
    long stuckFlush = which.rfind("stuck-flush=", 0) == 0 ? std::atol(which.c_str() + 12) : 0;
    if (stuckFlush > 0) holdFlush(stuckFlush);
    long leak = which.rfind("leak-per-item=", 0) == 0 ? std::atol(which.c_str() + 14) : 0;
    if (leak > 0) leakPerItem(static_cast<std::size_t>(leak));
    if (socket < 0 ||
        (options.misbehaviour == Misbehaviour::None && options.abortOnSeek <= 0 && stuckFlush <= 0 && leak <= 0)) {
        std::fprintf(stderr, "zid_faulty_engine: needs --socket=<fd> and ZID_FAULTY_ENGINE naming a misbehaviour\n");
        return 2;
    }
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::signal(SIGPIPE, SIG_IGN);
    return media::process::serveEngine(socket, options);
}
