#include "VexaWebSocketClient/Model/QXVexaLock.h"

namespace zid {

rt::Ref<QXVexaLock> QXVexaLock::lockWithName(std::optional<std::string> name) {
    return rt::make<QXVexaLock>(std::move(name));
}

}  // namespace zid
