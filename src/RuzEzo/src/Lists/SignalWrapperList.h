#pragma once
// A list holding at most one item: the latest value of a signal (none for nil). Each
// new value replaces the content in one batch. The list follows the signal until the
// signal closes or the list is freed.

#include <type_traits>

#include <QXFoundation/Lists/ArrayList.h>
#include <RuzEzo/Signal/FKSignal.h>

namespace zid {

class SignalWrapperList : public ArrayList {
    RT_CLASS(SignalWrapperList, ArrayList)
public:
    explicit SignalWrapperList(FKSignalRef signal = nullptr);
    static rt::Ref<SignalWrapperList> listWithSignal(FKSignalRef signal);

    void updateWithValue(const rt::Value& value);

protected:
    void didInitialize() override;

private:
    FKSignalRef signal_;  // until the trigger is set up
};

/// A list following the signal's value.
template <class T>
    requires std::is_base_of_v<FKSignal, T>
rt::Ref<SignalWrapperList> toList(const rt::Ref<T>& signal) {
    return SignalWrapperList::listWithSignal(signal);
}

}  // namespace zid
