#pragma once
// Lines for the developer's console (standard error), with a sink tests can replace.

#include <functional>
#include <string>

namespace zid {

void consoleLog(const std::string& line);
/// Replaces where console lines go (nullptr: standard error again).
void setConsoleLogSink(std::function<void(const std::string&)> sink);

}  // namespace zid
