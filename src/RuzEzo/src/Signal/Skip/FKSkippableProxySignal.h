#pragma once
// A signal that drops the first N values of its source (a value the source already
// holds when the signal is made counts as the first).

#include "Signal/Proxy/FKProxySignal.h"

namespace zid {

class FKSkippableProxySignal : public FKProxySignal {
    RT_CLASS(FKSkippableProxySignal, FKProxySignal)
public:
    explicit FKSkippableProxySignal(unsigned long long skipCount = 0) : skipCount_(skipCount) {}
    static rt::Ref<FKSkippableProxySignal> signalWithSignal(const FKSignalRef& source, unsigned long long skip);

    /// The number of values still to drop.
    unsigned long long skipCount() const { return skipCount_; }
    void valueReceived(const rt::Value& value) override;

private:
    unsigned long long skipCount_;
};

}  // namespace zid
