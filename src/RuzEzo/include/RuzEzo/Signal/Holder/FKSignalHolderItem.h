#pragma once
// One slot of a signal holder: a signal held weakly.

#include <RuzEzo/Signal/FKSignal.h>

namespace zid {

class FKSignalHolderItem : public rt::Object {
    RT_CLASS(FKSignalHolderItem, rt::Object)
public:
    explicit FKSignalHolderItem(const FKSignalRef& signal = nullptr) : signal_(signal) {}

    /// The stored signal, or null once it has been freed.
    FKSignalRef signal() const { return signal_.lock(); }
    void setSignal(const FKSignalRef& signal) { signal_ = signal; }
    std::string description() const override;

private:
    rt::Weak<FKSignal> signal_;
};

}  // namespace zid
