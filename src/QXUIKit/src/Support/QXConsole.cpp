#include "QXUIKit/Support/QXConsole.h"

#include <cstdio>
#include <mutex>

namespace zid {

namespace {
std::mutex& sinkMutex() {
    static auto* m = new std::mutex;
    return *m;
}
std::function<void(const std::string&)>& sink() {
    static auto* s = new std::function<void(const std::string&)>;
    return *s;
}
}  // namespace

void consoleLog(const std::string& line) {
    std::function<void(const std::string&)> s;
    {
        std::lock_guard lock(sinkMutex());
        s = sink();
    }
    if (s) s(line);
    else std::fprintf(stderr, "%s\n", line.c_str());
}

void setConsoleLogSink(std::function<void(const std::string&)> s) {
    std::lock_guard lock(sinkMutex());
    sink() = std::move(s);
}

}  // namespace zid
