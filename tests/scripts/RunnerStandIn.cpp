// A stand-in for a test binary that drives the media engine, for the test runner's own
// tests (scripts/engine-test.sh, scripts/ctest-stage.sh). Its tests are real GoogleTest
// tests, so its list, filter and shards are the framework's own; they do nothing but note
// that they ran, and one of them meets a fault the first time it runs, printing what the
// process that met it would print.
//
//   ZID_STAND_IN_LOG    a file each test appends "<pid> <test>" to as it starts
//   ZID_STAND_IN_FAULT  "<test>=<fault>": that test meets <fault> once (a file beside the
//                       log marks that it did), and passes when it runs again
//
// Faults: libsoup-crash (libsoup crashes on the demuxer's download thread in this
// process), engine-libsoup-crash (the same in the engine program, which this process
// outlives), asan-libsoup-crash (the same as a sanitizer reports it), our-crash (our code
// crashes on that thread, called by libsoup and the demuxer, as a flood's crash would),
// crash-elsewhere (our code crashes on a thread of its own while another stack of the
// output names libsoup and the demuxer), abort (the demuxer's assertion), unexposed (the
// demuxer fetched a short stream to its end before exposing its pads), unexposed-empty
// (the same words from a demuxer whose segments were empty, beside one whose were not).
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string self() {
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string("zid_runner_stand_in");
}

const char* const kLibc = "/lib/x86_64-linux-gnu/libc.so.6";
const char* const kGlib = "/lib/x86_64-linux-gnu/libglib-2.0.so.0";
const char* const kGio = "/lib/x86_64-linux-gnu/libgio-2.0.so.0";
const char* const kSoup = "/lib/x86_64-linux-gnu/libsoup-3.0.so.0";
const char* const kDemuxer = "/usr/lib/x86_64-linux-gnu/gstreamer-1.0/libgstadaptivedemux2.so";

/// The demuxer's download thread from libsoup down, as the crash handler prints frames.
std::vector<std::string> downloadThread(const std::string& innermost) {
    std::vector<std::string> frames{innermost};
    for (const std::string& frame :
         {std::string(kSoup) + "(+0x61c0e)", std::string(kGio) + "(+0x8e2a1)",
          std::string(kSoup) + "(soup_session_cancel_message+0x5e)", std::string(kDemuxer) + "(+0x2a1b0)",
          std::string(kGlib) + "(g_main_context_dispatch+0x26c)", std::string(kGlib) + "(g_main_loop_run+0x6f)",
          std::string(kDemuxer) + "(+0x1f7c4)", std::string(kGlib) + "(+0x89a2d)", std::string(kLibc) + "(+0x89044)",
          std::string(kLibc) + "(+0x10961c)"})
        frames.push_back(frame);
    return frames;
}

/// A crash report as the crash handler prints it: its own frame, the C library's signal
/// return, the crashing thread's frames, then the line naming who and the signal.
void crashReport(const std::string& who, const std::vector<std::string>& frames) {
    std::fprintf(stderr, "%s(+0x9a11)[0x55d0c0a09a11]\n%s(+0x3c050)[0x7f6b7b05b050]\n", self().c_str(), kLibc);
    for (const auto& frame : frames) std::fprintf(stderr, "%s[0x7f6b7b1a2b3c]\n", frame.c_str());
    std::fprintf(stderr, "%s: fatal signal 11 (the crashing thread's stack is above)\n", who.c_str());
    std::fflush(stderr);
}

[[noreturn]] void dieOf(int signal) {
    std::fflush(stdout);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::abort();
}

/// The demuxer's log lines, as GStreamer prints them uncoloured.
void demuxerSays(const char* thread, const char* level, const std::string& what) {
    std::fprintf(stderr, "0:00:00.252940984 %d %s %-6s        adaptivedemux2 gstadaptivedemux-stream.c:2523:f:<x> %s\n",
                 static_cast<int>(::getpid()), thread, level, what.c_str());
}

void meet(const std::string& fault) {
    const std::string soupCrash = std::string(kSoup) + "(+0x5a1b2)";
    if (fault == "libsoup-crash") {
        crashReport("test binary", downloadThread(soupCrash));
        dieOf(SIGSEGV);
    } else if (fault == "engine-libsoup-crash") {
        crashReport("zid_media_engine", downloadThread(soupCrash));
        ADD_FAILURE() << "The media engine process (pid 4242) was ended by signal 11 (Segmentation fault)";
    } else if (fault == "asan-libsoup-crash") {
        std::fprintf(stderr,
                     "==4242==ERROR: AddressSanitizer: SEGV on unknown address 0x000000000010 (pc 0x7f6b T5)\n"
                     "==4242==The signal is caused by a READ memory access.\n"
                     "    #0 0x7f6b7b1a2b3c  (%s+0x5a1b2) (BuildId: 1a2b)\n"
                     "    #1 0x7f6b7b1a2b3c in soup_session_cancel_message (%s+0x1c3d0) (BuildId: 1a2b)\n"
                     "    #2 0x7f6b7b1a2b3c  (%s+0x2a1b0) (BuildId: 3c4d)\n"
                     "    #3 0x7f6b7b1a2b3c in g_main_loop_run (%s+0x5a6b8) (BuildId: 5e6f)\n\n"
                     "AddressSanitizer can not provide additional info.\n",
                     kSoup, kSoup, kDemuxer, kGlib);
        dieOf(SIGABRT);
    } else if (fault == "our-crash") {
        std::vector<std::string> frames = downloadThread(self() + "(+0x4f1a2)");
        frames.insert(frames.begin() + 1, std::string(kSoup) + "(+0x5a1b2)");
        crashReport("test binary", frames);
        dieOf(SIGSEGV);
    } else if (fault == "crash-elsewhere") {
        std::fprintf(stderr, "a stack printed earlier:\n");
        for (const auto& frame : downloadThread(soupCrash)) std::fprintf(stderr, "%s[0x7f6b7b1a2b3c]\n", frame.c_str());
        std::fprintf(stderr, "and on\n");
        crashReport("test binary", {self() + "(+0x4f1a2)", self() + "(+0x4f3c8)", std::string(kLibc) + "(+0x89044)"});
        dieOf(SIGSEGV);
    } else if (fault == "abort") {
        std::fprintf(stderr, "**\nERROR:../ext/adaptivedemux2/downloadrequest.c:233:download_request_set_uri: "
                             "assertion failed: (request->in_use == FALSE)\n");
        dieOf(SIGABRT);
    } else if (fault == "unexposed" || fault == "unexposed-empty") {
        // The neighbour's demuxer fetched bytes; this one's fetched bytes too, or none.
        const bool bytes = fault == "unexposed";
        demuxerSays("0x7fae30000b00", "INFO", "Starting streams' tasks");
        demuxerSays("0x7fae30000b00", "INFO", "last fragment bitrate was 59807469");
        demuxerSays("0x7fae3004f9e0", "INFO", "Starting streams' tasks");
        demuxerSays("0x7fae3004f9e0", "INFO", bytes ? "last fragment bitrate was 39874642" : "last fragment bitrate was 0");
        demuxerSays("0x7fae3004f9e0", "ERROR", "Can't push EOS on non-exposed pad");
        ADD_FAILURE() << "Couldn't download fragments";
    } else {
        ADD_FAILURE() << "no such fault: " << fault;
    }
}

void standIn() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(info->test_suite_name()) + "." + info->name();
    const std::string log = env("ZID_STAND_IN_LOG");
    if (!log.empty()) std::ofstream(log, std::ios::app) << ::getpid() << " " << name << "\n";
    const std::string fault = env("ZID_STAND_IN_FAULT");
    const auto equals = fault.find('=');
    if (equals == std::string::npos || fault.substr(0, equals) != name) return;
    const std::string mark = log + ".faulted";
    if (std::ifstream(mark).good()) return;  // met once already: it passes now
    std::ofstream(mark) << name << "\n";
    meet(fault.substr(equals + 1));
}

TEST(Stand, A) { standIn(); }
TEST(Stand, B) { standIn(); }
TEST(Stand, DISABLED_Off) { standIn(); }
TEST(Stand, C) { standIn(); }
TEST(Stand, D) { standIn(); }
TEST(Stand, E) { standIn(); }
TEST(Stand, F) { standIn(); }
TEST(Other, G) { standIn(); }
TEST(Other, H) { standIn(); }
TEST(Other, I) { standIn(); }

class Each : public ::testing::TestWithParam<int> {};
TEST_P(Each, J) { standIn(); }
INSTANTIATE_TEST_SUITE_P(Value, Each, ::testing::Values(1, 2, 3, 4));

TEST(Later, K) { standIn(); }
TEST(Later, L) { standIn(); }
TEST(Later, M) { standIn(); }

}  // namespace
