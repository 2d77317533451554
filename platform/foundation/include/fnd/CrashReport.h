#pragma once

namespace fnd {

/// Makes a crash of this process print the crashing thread's stack to standard error
/// (one line a frame, each naming its library), then a last line
/// "<who>: fatal signal N (the crashing thread's stack is above)", before the process
/// ends by the signal as it would have. For helper programs and test binaries, whose
/// crashes inside a library on a thread of its own would otherwise say nothing of where.
/// Does nothing in a sanitizer build, whose runtime reports crashes itself.
void installCrashReport(const char* who);

}  // namespace fnd
