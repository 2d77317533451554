#include <QXCorePlayer/Core/Core/CPMediaSourceLock.h>
#include <rt/Format.h>

namespace zid {

std::string CPMediaSourceLock::description() const {
    return rt::format("%@ lockType = %ld", rt::Value(rt::Object::description()), lockType_);
}

}  // namespace zid
