#include <QXFoundation/Assert/QXAssert.h>

#include <execinfo.h>

#include <cstdlib>

namespace zid {

std::string callStackSymbols() {
    void* frames[64];
    int count = ::backtrace(frames, 64);
    char** symbols = ::backtrace_symbols(frames, count);
    std::string text;
    // Frame 0 is this function: the stack starts at its caller.
    for (int i = 1; i < count; ++i) {
        if (i > 1) text += '\n';
        text += symbols ? symbols[i] : "?";
    }
    std::free(symbols);
    return text;
}

}  // namespace zid
