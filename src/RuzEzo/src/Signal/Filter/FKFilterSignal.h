#pragma once
// A signal passing on the values of its source that a block accepts.

#include <functional>

#include "Signal/Proxy/FKProxySignal.h"

namespace zid {

class FKFilterSignal : public FKProxySignal {
    RT_CLASS(FKFilterSignal, FKProxySignal)
public:
    using FilterBlock = std::function<bool(const rt::Value&)>;

    explicit FKFilterSignal(FilterBlock filter = {}) : filter_(std::move(filter)) {}
    static rt::Ref<FKFilterSignal> signalWithSignal(const FKSignalRef& source, FilterBlock filter);

    const FilterBlock& filter() const { return filter_; }
    void valueReceived(const rt::Value& value) override;

private:
    FilterBlock filter_;
};

}  // namespace zid
