#include "VexaWebSocketClient/Model/QXVexaApplicationInfo.h"

#include <cerrno>
#include <mutex>

namespace zid {

namespace {

std::mutex& infoMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::optional<QXVexaApplicationInfo>& stored() {
    static auto* info = new std::optional<QXVexaApplicationInfo>;
    return *info;
}

}  // namespace

QXVexaApplicationInfo QXVexaApplicationInfo::current() {
    std::lock_guard lock(infoMutex());
    if (stored()) return *stored();
    QXVexaApplicationInfo info;
    info.executableName = program_invocation_short_name;
    return info;
}

void QXVexaApplicationInfo::setCurrent(QXVexaApplicationInfo info) {
    std::lock_guard lock(infoMutex());
    stored() = std::move(info);
}

}  // namespace zid
