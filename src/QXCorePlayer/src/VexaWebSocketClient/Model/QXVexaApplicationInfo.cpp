#include "VexaWebSocketClient/Model/QXVexaApplicationInfo.h"

#include <cerrno>

#include <rt/Locked.h>

namespace zid {

namespace {

/// What the host set, read from any thread; never destroyed, so a reader during exit
/// still finds it.
rt::Locked<std::optional<QXVexaApplicationInfo>>& stored() {
    static auto* info = new rt::Locked<std::optional<QXVexaApplicationInfo>>;
    return *info;
}

}  // namespace

QXVexaApplicationInfo QXVexaApplicationInfo::current() {
    if (auto info = stored().get()) return *info;
    QXVexaApplicationInfo info;
    info.executableName = program_invocation_short_name;
    return info;
}

void QXVexaApplicationInfo::setCurrent(QXVexaApplicationInfo info) { stored().set(std::move(info)); }

}  // namespace zid
