#include "VexaWebSocketClient/Model/QXVexaLock.h"

namespace zid {

rt::Ref<QXVexaLock> QXVexaLock::lockWithName(std::optional<std::string> name) {
    return rt::make<QXVexaLock>(std::move(name));
}

rt::Value QXVexaLock::modelValue(const std::string& name) const {
    if (name == "lockName") return lockName_ ? rt::Value(*lockName_) : rt::Value();
    return QXVexaModel::modelValue(name);
}

rt::Value QXVexaAgeLock::modelValue(const std::string& name) const {
    if (name == "maximumBirthDate") return maximumBirthDate_ ? rt::Value(*maximumBirthDate_) : rt::Value();
    return QXVexaLock::modelValue(name);
}

rt::Value QXVexaHashLock::modelValue(const std::string& name) const {
    if (name == "authenticationURL") return authenticationURL_ ? rt::Value(*authenticationURL_) : rt::Value();
    return QXVexaLock::modelValue(name);
}

rt::Value QXVexaGeoLock::modelValue(const std::string& name) const {
    if (name == "hasLimit") return hasLimit_;
    return QXVexaLock::modelValue(name);
}

}  // namespace zid
