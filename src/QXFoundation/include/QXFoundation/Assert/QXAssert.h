#pragma once
// Assertions that report through Diagnostics and let execution carry on.
//
//   QXMainThreadAssert();   on any thread but the main one, records
//                           "<function>:<line>: MainThreadAssert: <call stack>"
//   QXAssert(cond, "Invalid subtitle instance: %@", subtitle);
//                           when cond is false, records
//                           "<function>:<line>: QXAssert failure: <message>"
//   QXDiagnosticsTrace("Connection established");
//                           records "<function>:<line>: <message>"

#include <string>

#include <QXFoundation/Diagnostics/Diagnostics.h>
#include <QXFoundation/Threading/Dispatch.h>
#include <fnd/RunLoop.h>

namespace zid {

/// The calling thread's call stack, one frame per line, innermost first.
std::string callStackSymbols();

}  // namespace zid

#define QXMainThreadAssert()                                                                                \
    do {                                                                                                    \
        if (!::fnd::RunLoop::isMainThread())                                                                \
            ::zid::Diagnostics::recordLog("%s:%d: MainThreadAssert: %@", __PRETTY_FUNCTION__, __LINE__,     \
                                          ::zid::callStackSymbols());                                       \
    } while (0)

#define QXAssert(condition, format, ...)                                                                    \
    do {                                                                                                    \
        if (!(condition)) {                                                                                 \
            ::zid::Diagnostics::recordLog(std::string("%s:%d: QXAssert failure: ") + (format),              \
                                          __PRETTY_FUNCTION__, __LINE__ __VA_OPT__(, ) __VA_ARGS__);        \
            (void)::zid::isTesting();                                                                       \
        }                                                                                                   \
    } while (0)

#define QXDiagnosticsTrace(format, ...)                                                                     \
    ::zid::Diagnostics::recordLog(std::string("%s:%d: ") + (format), __PRETTY_FUNCTION__,                   \
                                  __LINE__ __VA_OPT__(, ) __VA_ARGS__)
