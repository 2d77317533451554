// Test entry point: binds the main run loop to the test thread and isolates tests
// from each other's posted blocks, timers and clocks.

#include <gtest/gtest.h>

#include <fnd/CrashReport.h>
#include <fnd/RunLoop.h>

namespace {
class LoopIsolation : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override {
        auto loop = fnd::RunLoop::main();
        loop->discardPending();
        loop->setClock(nullptr);
    }
};
}  // namespace

int main(int argc, char** argv) {
    (void)fnd::RunLoop::main();  // the test thread is the host's main thread
    // A crash says in which libraries, so the runner can tell a fault of the media
    // framework's own threads (scripts/engine-test.sh) from one of ours.
    fnd::installCrashReport("test binary");
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new LoopIsolation);
    return RUN_ALL_TESTS();
}
