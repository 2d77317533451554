#pragma once
// Observing a key path of any object with a block.

#include <string>

#include "States/QXKVOHandler.h"

namespace zid {

/// A new handler observing keypath of target: handler runs at once with the current
/// value, then with each new value, until the returned handler is disposed or dropped.
rt::Ref<QXKVOHandler> addKVOHandler(const rt::Ref<rt::Object>& target, QXKVOHandler::Handler handler,
                                    std::string keypath);

}  // namespace zid
