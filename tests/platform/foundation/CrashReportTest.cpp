#include <gtest/gtest.h>

#include <csignal>

#include <fnd/CrashReport.h>

namespace {

[[noreturn]] void crashIn(const char* who, int signal) {
    fnd::installCrashReport(who);
    std::raise(signal);
    std::abort();
}

TEST(CrashReport, ACrashPrintsTheStackAndEndsWithTheSignalLineThenDiesOfThatSignal) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's runtime reports crashes in this build";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The stack names this binary's own frames, and the last line says who and which signal.
    EXPECT_EXIT(crashIn("probe", SIGSEGV), testing::KilledBySignal(SIGSEGV),
                "fnd_tests[^\n]*\n(.|\n)*probe: fatal signal 11 \\(the crashing thread's stack is above\\)\n$");
    // A label longer than the handler keeps is cut, never overrun.
    std::string longName(200, 'x');
    EXPECT_EXIT(crashIn(longName.c_str(), SIGBUS), testing::KilledBySignal(SIGBUS),
                "\n" + std::string(63, 'x') + ": fatal signal 7 ");
}

}  // namespace
