#include <fnd/CrashReport.h>

#include <execinfo.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

namespace fnd {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitizerReports = true;
#else
constexpr bool kSanitizerReports = false;
#endif

/// The label, copied at installation: the handler may only read it.
char gWho[64] = "process";

void writeText(const char* text) { (void)!::write(STDERR_FILENO, text, std::strlen(text)); }

void onFatalSignal(int signal) {
    // Only async-signal-safe calls from here on (the unwinder was loaded at installation).
    void* frames[64];
    int count = ::backtrace(frames, 64);
    ::backtrace_symbols_fd(frames, count, STDERR_FILENO);
    char number[12];
    int at = sizeof number;
    number[--at] = '\0';
    unsigned value = static_cast<unsigned>(signal);
    do {
        number[--at] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value && at > 0);
    writeText(gWho);
    writeText(": fatal signal ");
    writeText(number + at);
    writeText(" (the crashing thread's stack is above)\n");
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

void installCrashReport(const char* who) {
    if (kSanitizerReports) return;
    std::strncpy(gWho, who, sizeof gWho - 1);
    void* warm[1];
    ::backtrace(warm, 1);  // loads the unwinder now, not inside the handler
    for (int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE}) std::signal(signal, onFatalSignal);
}

}  // namespace fnd
