// Test entry point: binds the main run loop to the test thread and isolates tests
// from each other's posted blocks, timers and clocks.

#include <execinfo.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include <fnd/RunLoop.h>

namespace {
class LoopIsolation : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override {
        auto loop = fnd::RunLoop::main();
        loop->discardPending();
        loop->setClock(nullptr);
    }
};

#if !defined(__SANITIZE_ADDRESS__)
/// A test binary that crashes says in which libraries, so the runner can tell a fault of
/// the media framework's own threads (scripts/engine-test.sh) from one of ours. Only
/// async-signal-safe calls; the signal is then raised again with its default action.
/// (Sanitizer builds print their own report.)
void reportCrash(int signal) {
    static const char kHeader[] = "test binary: fatal signal; the crashing thread's stack:\n";
    (void)!::write(STDERR_FILENO, kHeader, sizeof kHeader - 1);
    void* frames[64];
    int n = ::backtrace(frames, 64);
    ::backtrace_symbols_fd(frames, n, STDERR_FILENO);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
#endif
}  // namespace

int main(int argc, char** argv) {
    (void)fnd::RunLoop::main();  // the test thread is the host's main thread
#if !defined(__SANITIZE_ADDRESS__)
    {
        void* warm[1];
        ::backtrace(warm, 1);  // loads the unwinder now, not inside the handler
        std::signal(SIGSEGV, reportCrash);
        std::signal(SIGBUS, reportCrash);
    }
#endif
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new LoopIsolation);
    return RUN_ALL_TESTS();
}
