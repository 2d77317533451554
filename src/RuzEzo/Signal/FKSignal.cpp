#include <RuzEzo/Signal/FKSignal.h>

#include <algorithm>

#include <QXFoundation/Disposable/BlockDisposable.h>
#include <rt/Format.h>

namespace zid {

FKSignal::FKSignal() = default;
FKSignal::~FKSignal() = default;

void FKSignal::setValue(rt::Value value) {
    if (valueSet_ && !repetitive()) {
        if (value.isIdentical(lastValue_) || lastValue_.isEqual(value)) return;
    }
    valueSet_ = true;
    lastValue_ = value;
    callOnValueHandlers(value);
}

void FKSignal::callOnValueHandlers(const rt::Value& value) {
    // The list of this moment; handlers added or removed meanwhile do not change it.
    std::shared_ptr<const ValueList> list = valueHandlers_;
    if (!list) return;
    for (const ValueHandler& handler : *list) (*handler)(value);
}

void FKSignal::callOnCloseHandlers() {
    std::shared_ptr<const CloseList> list = closeHandlers_;
    if (!list) return;
    for (const CloseHandler& handler : *list) (*handler)();
}

std::shared_ptr<IDisposable> FKSignal::addValueHandler(ValueHandler valueHandler, CloseHandler closeHandler) {
    rt::Weak<FKSignal> weakSelf = selfSignal();
    auto subscription = BlockDisposable::disposableWithDisposeBlock([weakSelf, valueHandler, closeHandler] {
        if (auto signal = weakSelf.lock()) signal->removeHandlers(valueHandler, closeHandler);
    });
    if (valueHandler) {
        auto list = std::make_shared<ValueList>(valueHandlers_ ? *valueHandlers_ : ValueList{});
        list->push_back(valueHandler);
        valueHandlers_ = std::move(list);
    }
    if (closeHandler) {
        auto list = std::make_shared<CloseList>(closeHandlers_ ? *closeHandlers_ : CloseList{});
        list->push_back(closeHandler);
        closeHandlers_ = std::move(list);
    }
    if (valueHandler && valueSet_) {
        rt::Value replay = lastValue_;
        (*valueHandler)(replay);
    }
    return subscription;
}

std::shared_ptr<IDisposable> FKSignal::addValueHandler(ValueFunction valueHandler, CloseFunction closeHandler) {
    ValueHandler v = valueHandler ? rt::make<ValueBlock>(std::move(valueHandler)) : nullptr;
    CloseHandler c = closeHandler ? rt::make<CloseBlock>(std::move(closeHandler)) : nullptr;
    return addValueHandler(std::move(v), std::move(c));
}

void FKSignal::removeHandlers(const ValueHandler& valueHandler, const CloseHandler& closeHandler) {
    if (valueHandler && valueHandlers_ &&
        std::find(valueHandlers_->begin(), valueHandlers_->end(), valueHandler) != valueHandlers_->end()) {
        auto list = std::make_shared<ValueList>(*valueHandlers_);
        std::erase(*list, valueHandler);
        valueHandlers_ = std::move(list);
    }
    if (closeHandler && closeHandlers_ &&
        std::find(closeHandlers_->begin(), closeHandlers_->end(), closeHandler) != closeHandlers_->end()) {
        auto list = std::make_shared<CloseList>(*closeHandlers_);
        std::erase(*list, closeHandler);
        closeHandlers_ = std::move(list);
    }
}

void FKSignal::close() {
    if (closed_) return;
    closed_ = true;
    callOnCloseHandlers();
}

void FKSignal::willDestroy() {
    close();
    rt::Object::willDestroy();
}

std::vector<FKSignal::ValueHandler> FKSignal::valueHandlers() const {
    return valueHandlers_ ? *valueHandlers_ : ValueList{};
}

void FKSignal::setValueHandlers(std::vector<ValueHandler> handlers) {
    valueHandlers_ = std::make_shared<const ValueList>(std::move(handlers));
}

std::vector<FKSignal::CloseHandler> FKSignal::closeHandlers() const {
    return closeHandlers_ ? *closeHandlers_ : CloseList{};
}

void FKSignal::setCloseHandlers(std::vector<CloseHandler> handlers) {
    closeHandlers_ = std::make_shared<const CloseList>(std::move(handlers));
}

std::string FKSignal::description() const { return rt::Object::description() + rt::format("[%@]", lastValue_); }

bool FKSignal::numberOrNil(const rt::Value& value) { return value.isNil() || value.isNumber(); }

bool numberOrNil(const rt::Value& value) { return FKSignal::numberOrNil(value); }

}  // namespace zid
