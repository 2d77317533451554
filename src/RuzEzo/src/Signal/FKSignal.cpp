#include <RuzEzo/Signal/FKSignal.h>

#include <algorithm>

#include <QXFoundation/Disposable/BlockDisposable.h>
#include <rt/Format.h>

namespace zid {

namespace {

// Copy-on-write edits of a handler list: a dispatch in progress keeps the list it took.
template <class List, class Item> void append(std::shared_ptr<const List>& list, const Item& item) {
    auto edited = std::make_shared<List>(list ? *list : List{});
    edited->push_back(item);
    list = std::move(edited);
}

// Removes every occurrence of the block object; the list is left alone when it has none.
template <class List, class Item> void removeAll(std::shared_ptr<const List>& list, const Item& item) {
    if (!item || !list || std::find(list->begin(), list->end(), item) == list->end()) return;
    auto edited = std::make_shared<List>(*list);
    std::erase(*edited, item);
    list = std::move(edited);
}

}  // namespace

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
    if (valueHandler) append(valueHandlers_, valueHandler);
    if (closeHandler) append(closeHandlers_, closeHandler);
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
    removeAll(valueHandlers_, valueHandler);
    removeAll(closeHandlers_, closeHandler);
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
