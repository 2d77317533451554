#include <RuzEzo/Signal/FKSignal.h>

#include <algorithm>

#include <QXFoundation/Disposable/BlockDisposable.h>
#include <rt/Format.h>

namespace zid {

// The count is a plain integer, not an atomic one: a signal belongs to one thread at a
// time, and an emit takes and drops a reference to its list every time.
template <class Handler> struct detail::FKHandlerList {
    std::size_t references = 1;
    std::vector<Handler> handlers;
};

namespace {

template <class Handler> using List = detail::FKHandlerList<Handler>;

template <class Handler> void release(List<Handler>* list) {
    if (list && --list->references == 0) delete list;
}

// Holds a list for one pass over it; a handler may edit the signal's lists, or end the
// signal itself, while the pass goes on over the list it took.
template <class Handler> class Pass {
public:
    explicit Pass(List<Handler>* list) : list_(list) {
        if (list_) ++list_->references;
    }
    ~Pass() { release(list_); }
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;
    List<Handler>* operator->() const { return list_; }
    explicit operator bool() const { return list_ != nullptr; }

private:
    List<Handler>* list_;
};

// The list to edit in place: the signal's own when no pass holds it, else a copy that
// replaces it (the passes keep theirs).
template <class Handler> List<Handler>& editable(List<Handler>*& list) {
    if (!list) {
        list = new List<Handler>;
    } else if (list->references > 1) {
        auto* copy = new List<Handler>{1, list->handlers};
        release(list);
        list = copy;
    }
    return *list;
}

template <class Handler> void append(List<Handler>*& list, const Handler& handler) { editable(list).handlers.push_back(handler); }

// Removes every occurrence of the block object; the list is left alone when it has none.
template <class Handler> void removeAll(List<Handler>*& list, const Handler& handler) {
    if (!handler || !list || std::find(list->handlers.begin(), list->handlers.end(), handler) == list->handlers.end()) return;
    std::erase(editable(list).handlers, handler);
}

template <class Handler> void replace(List<Handler>*& list, std::vector<Handler> handlers) {
    auto* replacement = new List<Handler>{1, std::move(handlers)};
    release(list);
    list = replacement;
}

}  // namespace

FKSignal::FKSignal() = default;

FKSignal::~FKSignal() {
    release(valueHandlers_);
    release(closeHandlers_);
}

void FKSignal::setValue(rt::Value value) {
    // Equal values include identical ones: isEqual answers YES for the same object or
    // the same shared storage before it compares contents.
    if (valueSet_ && !repetitive() && lastValue_.isEqual(value)) return;
    valueSet_ = true;
    lastValue_ = value;
    callOnValueHandlers(value);
}

void FKSignal::callOnValueHandlers(const rt::Value& value) {
    // The list of this moment; handlers added or removed meanwhile do not change it.
    Pass<ValueHandler> list(valueHandlers_);
    if (!list) return;
    for (const ValueHandler& handler : list->handlers) (*handler)(value);
}

void FKSignal::callOnCloseHandlers() {
    Pass<CloseHandler> list(closeHandlers_);
    if (!list) return;
    for (const CloseHandler& handler : list->handlers) (*handler)();
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
    return valueHandlers_ ? valueHandlers_->handlers : std::vector<ValueHandler>{};
}

void FKSignal::setValueHandlers(std::vector<ValueHandler> handlers) { replace(valueHandlers_, std::move(handlers)); }

std::vector<FKSignal::CloseHandler> FKSignal::closeHandlers() const {
    return closeHandlers_ ? closeHandlers_->handlers : std::vector<CloseHandler>{};
}

void FKSignal::setCloseHandlers(std::vector<CloseHandler> handlers) { replace(closeHandlers_, std::move(handlers)); }

std::string FKSignal::description() const { return rt::Object::description() + rt::format("[%@]", lastValue_); }

bool FKSignal::numberOrNil(const rt::Value& value) { return value.isNil() || value.isNumber(); }

bool numberOrNil(const rt::Value& value) { return FKSignal::numberOrNil(value); }

}  // namespace zid
