#pragma once
// What the media server is told about the host application and the machine: the
// configuration's bundle identifier and referrer, and the socket's user agent. The host
// application supplies them (setCurrent); until then the executable's name stands in.

#include <optional>
#include <string>

namespace zid {

struct QXVexaApplicationInfo {
    /// The host's executable name; the process's own name by default.
    std::string executableName;
    /// The host's bundle identifier; nothing by default.
    std::optional<std::string> bundleIdentifier;
    /// The host's short version text, else its build version; empty by default.
    std::string version;
    /// The main screen's scale.
    double screenScale = 1.0;

    static QXVexaApplicationInfo current();
    static void setCurrent(QXVexaApplicationInfo info);
};

}  // namespace zid
