#pragma once
// A signal whose values are its source's values passed through a block.

#include <functional>

#include "Signal/Proxy/FKProxySignal.h"

namespace zid {

class FKMapSignal : public FKProxySignal {
    RT_CLASS(FKMapSignal, FKProxySignal)
public:
    using MapBlock = std::function<rt::Value(const rt::Value&)>;

    explicit FKMapSignal(MapBlock map = {}) : map_(std::move(map)) {}
    static rt::Ref<FKMapSignal> signalWithSignal(const FKSignalRef& source, MapBlock map);

    const MapBlock& map() const { return map_; }
    void valueReceived(const rt::Value& value) override;
    std::string description() const override;

private:
    MapBlock map_;
};

}  // namespace zid
