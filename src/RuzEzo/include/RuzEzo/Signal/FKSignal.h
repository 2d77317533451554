#pragma once
// FKSignal: the observable value cell the whole reactive layer stands on.
//
// A signal stores the last value given to setValue() and hands it to its value
// handlers, dropping a value equal to the last one unless the signal is repetitive.
// A value handler added to a signal that has a value receives it at once (replay).
// close() runs the close handlers once; it does not stop later values. A subscription
// is an IDisposable that removes its handlers; dropping it does not unsubscribe.
//
// Dispatch takes the handler list as it is at that moment and calls it in order, with
// no queue and no re-entry guard: a handler that sets a new value runs a complete
// nested dispatch of it first, then the outer pass goes on with the older value.
//
// Signals take no lock: a signal belongs to one thread at a time.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QXFoundation/Disposable/IDisposable.h>
#include <rt/Block.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class FKSignal;
using FKSignalRef = rt::Ref<FKSignal>;

namespace detail {
/// A signal's list of handlers and the number of its holders (FKSignal.cpp).
template <class Handler> struct FKHandlerList;
}  // namespace detail

class FKSignal : public rt::Object {
    RT_CLASS(FKSignal, rt::Object)
public:
    using ValueBlock = rt::Block<void(const rt::Value&)>;
    using CloseBlock = rt::Block<void()>;
    using ValueHandler = rt::Ref<ValueBlock>;
    using CloseHandler = rt::Ref<CloseBlock>;
    using ValueFunction = std::function<void(const rt::Value&)>;
    using CloseFunction = std::function<void()>;

    FKSignal();
    ~FKSignal() override;

    /// Stores the value and hands it to the value handlers, unless the signal already
    /// has a value equal to it (same object, or isEqual) and is not repetitive.
    /// A closed signal still stores and dispatches.
    void setValue(rt::Value value);

    /// Subscribes. Either handler may be null. When the signal has a value, the value
    /// handler receives it before this returns (also on a closed signal). The answer
    /// removes every occurrence of both handler objects when disposed; it holds the
    /// signal weakly and may be disposed any number of times.
    std::shared_ptr<IDisposable> addValueHandler(ValueHandler valueHandler, CloseHandler closeHandler);
    /// The same with plain functions; each non-empty function becomes a new block.
    std::shared_ptr<IDisposable> addValueHandler(ValueFunction valueHandler, CloseFunction closeHandler = {});

    /// Runs the close handlers once. Subclasses stop their producers here, then call
    /// the base.
    virtual void close();

    /// Calls every value handler with the value, without storing it or testing for a
    /// repeat (events that must not become the last value).
    void callOnValueHandlers(const rt::Value& value);
    void callOnCloseHandlers();

    const rt::Value& lastValue() const { return lastValue_; }
    /// Stores without dispatching and without touching valueSet.
    void setLastValue(rt::Value value) { lastValue_ = std::move(value); }
    bool isClosed() const { return closed_; }
    void setClosed(bool closed) { closed_ = closed; }
    bool valueSet() const { return valueSet_; }
    void setValueSet(bool valueSet) { valueSet_ = valueSet; }
    /// Whether equal values in a row all go out. The base answers NO.
    virtual bool repetitive() const { return repetitive_; }

    std::vector<ValueHandler> valueHandlers() const;
    void setValueHandlers(std::vector<ValueHandler> handlers);
    std::vector<CloseHandler> closeHandlers() const;
    void setCloseHandlers(std::vector<CloseHandler> handlers);

    /// The default description followed by the last value in square brackets.
    std::string description() const override;

    // ---- operators: each answers a new derived signal; the receiver is unchanged ----
    // Arithmetic (double numbers; neg a float number).
    FKSignalRef neg();
    FKSignalRef add(const FKSignalRef& other);
    FKSignalRef sub(const FKSignalRef& other);
    FKSignalRef mul(const FKSignalRef& other);
    FKSignalRef div(const FKSignalRef& other);
    FKSignalRef max(const FKSignalRef& other);
    FKSignalRef min(const FKSignalRef& other);

    // Boolean logic (int numbers 1 or 0; equ and toBool BOOL numbers).
    /// The truth of a value for these operators: nil is NO, a number its own truth,
    /// every other value YES (any string included).
    static bool boolValueFor(const rt::Value& value);
    FKSignalRef not_();
    FKSignalRef or_(const FKSignalRef& other);
    FKSignalRef and_(const FKSignalRef& other);
    FKSignalRef xor_(const FKSignalRef& other);
    FKSignalRef equ(const FKSignalRef& other);
    FKSignalRef nequ(const FKSignalRef& other);
    FKSignalRef gt(const FKSignalRef& other);
    FKSignalRef lt(const FKSignalRef& other);
    FKSignalRef toBool();

    // Extended.
    FKSignalRef map(std::function<rt::Value(const rt::Value&)> block);
    FKSignalRef filter(std::function<bool(const rt::Value&)> block);
    FKSignalRef ignore(const rt::Value& value);
    FKSignalRef skip(unsigned long long count);
    FKSignalRef skipFirst();
    FKSignalRef toStr();
    FKSignalRef toInt();
    FKSignalRef toFloat();
    FKSignalRef toDouble();
    FKSignalRef toUcase();
    FKSignalRef toLcase();
    FKSignalRef toCapitalized();
    FKSignalRef text();
    FKSignalRef withPrefix(const FKSignalRef& prefix);
    FKSignalRef withSuffix(const FKSignalRef& suffix);

    // Math (double numbers of the standard function of the same name).
    FKSignalRef acos();
    FKSignalRef asin();
    FKSignalRef atan();
    FKSignalRef ceil();
    FKSignalRef cos();
    FKSignalRef exp();
    FKSignalRef fabs();
    FKSignalRef floor();
    FKSignalRef log();
    FKSignalRef log10();
    FKSignalRef log2();
    FKSignalRef nearbyint();
    FKSignalRef round();
    FKSignalRef sin();
    FKSignalRef sqrt();
    FKSignalRef tan();
    FKSignalRef trunc();
    /// YES for nil or a number.
    static bool numberOrNil(const rt::Value& value);

    // Control.
    /// The receiver while the condition holds, else the other signal.
    FKSignalRef if_(const FKSignalRef& condition, const FKSignalRef& elseSignal);
    /// The case signal whose key equals the receiver's value (keys in order).
    FKSignalRef switch_(const rt::Dictionary& cases);

protected:
    /// Destruction closes the signal (the subclass's close) while it is still whole.
    void willDestroy() override;
    /// A strong reference to this signal (empty while it is being destroyed).
    FKSignalRef selfSignal() { return std::static_pointer_cast<FKSignal>(weak_from_this().lock()); }

private:
    FKSignalRef mapWith(std::function<rt::Value(const rt::Value&)> block);
    FKSignalRef combineWith(const FKSignalRef& other, std::function<rt::Value(const rt::Value&, const rt::Value&)> block);
    void removeHandlers(const ValueHandler& valueHandler, const CloseHandler& closeHandler);

    rt::Value lastValue_;
    // Copy-on-write lists shared with the dispatches under way: a dispatch keeps the
    // list of its moment alive while handlers add or remove entries; an edit copies
    // only while a dispatch holds the list.
    detail::FKHandlerList<ValueHandler>* valueHandlers_ = nullptr;
    detail::FKHandlerList<CloseHandler>* closeHandlers_ = nullptr;
    bool valueSet_ = false;
    bool closed_ = false;
    bool repetitive_ = false;
};

/// The exported form of FKSignal::numberOrNil.
bool numberOrNil(const rt::Value& value);

}  // namespace zid
