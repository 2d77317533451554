#include "States/QXKVOHandler.h"

namespace zid {

QXKVOHandler::QXKVOHandler(const rt::Ref<rt::Object>& target, std::string keypath, Handler handler)
    : keypath_(std::move(keypath)), target_(target), handler_(std::move(handler)) {
    // The observation lives inside this handler and ends in its pre-destruction step,
    // so the raw pointer is never used after the handler is gone.
    observation_ = rt::observe(target, keypath_, rt::KVONew | rt::KVOOld | rt::KVOInitial,
                               [this](const rt::KVOChange& change) { observeValue(change); });
}

rt::Ref<QXKVOHandler> QXKVOHandler::handlerWithTarget(const rt::Ref<rt::Object>& target, std::string keypath,
                                                      Handler handler) {
    return rt::make<QXKVOHandler>(target, std::move(keypath), std::move(handler));
}

void QXKVOHandler::observeValue(const rt::KVOChange& change) {
    rt::Value value = change.newValue.isNull() ? rt::Value() : change.newValue;
    if (change.keyPath == keypath_ && handler_) handler_(value);
}

void QXKVOHandler::dispose() {
    if (auto observation = std::move(observation_)) observation->remove();
    target_.reset();
}

void QXKVOHandler::willDestroy() {
    dispose();
    rt::Object::willDestroy();
}

}  // namespace zid
