#include "QXStderrLogHandler.h"

#include <cstdio>

namespace zid {

void QXStderrLogHandler::handleLogRecord(const rt::Ref<QXLogRecord>& record) {
    if (!record || !acceptsLogRecord(*record)) return;
    auto text = formatter()->formatLog(*record);
    std::fprintf(stderr, "%s\n", text.c_str());
}

void QXStderrLogHandler::flush() { std::fflush(stderr); }

void QXStderrLogHandler::close() {}

}  // namespace zid
