#include "Extensions/BlockObserver.h"

namespace zid {

rt::Ref<QXKVOHandler> addKVOHandler(const rt::Ref<rt::Object>& target, QXKVOHandler::Handler handler,
                                    std::string keypath) {
    return QXKVOHandler::handlerWithTarget(target, std::move(keypath), std::move(handler));
}

}  // namespace zid
