#pragma once
// For tests only: the central log service's host for handlers made from now on, in place
// of kCentralLoggerServerURL (a loopback server). Not installed.

#include <optional>
#include <string>

namespace zid {

/// None goes back to kCentralLoggerServerURL.
void setCentralLoggerServerURLForTesting(std::optional<std::string> host);

}  // namespace zid
