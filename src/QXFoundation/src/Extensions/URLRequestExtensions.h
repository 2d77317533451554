#pragma once
// A request written as a command line for the curl tool, for debugging.

#include <string>

#include <fnd/URLRequest.h>

namespace zid {

/// curl -X <method> -H "<name>: <value>"... [-d "<body>"] "<url>". Inside the double
/// quotes the characters the shell treats specially there (" \ $ `) are escaped with a
/// backslash, so the line can be pasted into a shell as it is. A body that is not
/// UTF-8 text prints as "(null)".
std::string cURLString(const fnd::URLRequest& request);

}  // namespace zid
