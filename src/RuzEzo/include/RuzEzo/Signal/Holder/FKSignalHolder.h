#pragma once
// A keyed store of weakly held signals: an object's keypath signals and its custom
// signals. Items are never removed; a freed signal leaves its item empty.

#include <vector>

#include <RuzEzo/Signal/FKSignal.h>
#include <RuzEzo/Signal/Holder/FKSignalHolderItem.h>

namespace zid {

class FKSignalHolder : public rt::Object {
    RT_CLASS(FKSignalHolder, rt::Object)
public:
    FKSignalHolder() = default;

    /// Stores the signal weakly under the key. A nil key is a caller error
    /// (rt::Exception::InvalidArgument).
    void setSignal(const FKSignalRef& signal, const rt::Value& key);
    /// The live signal under the key, or null.
    FKSignalRef signalForKey(const rt::Value& key) const;
    /// The live signals, in the order their keys were first set.
    std::vector<FKSignalRef> signals() const;
    /// Closes every live signal.
    void closeSignals();

    const std::vector<std::pair<rt::Value, rt::Ref<FKSignalHolderItem>>>& signalItems() const { return signalItems_; }

protected:
    void willDestroy() override;

private:
    std::vector<std::pair<rt::Value, rt::Ref<FKSignalHolderItem>>> signalItems_;
};

}  // namespace zid
