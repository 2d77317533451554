#pragma once
// The base of signals that follow one source signal (map, filter, skip).
//
// The proxy holds its source strongly; the source's handlers reach the proxy only
// weakly, so a proxy lives as long as somebody outside holds it. Each value of the
// source goes through valueReceived(); when the source closes, the proxy drops it
// and closes too.

#include <atomic>
#include <memory>
#include <utility>

#include <RuzEzo/Signal/FKSignal.h>

namespace zid {

class FKProxySignal : public FKSignal {
    RT_CLASS(FKProxySignal, FKSignal)
public:
    FKProxySignal() = default;
    static rt::Ref<FKProxySignal> signalWithSignal(const FKSignalRef& source);

    const FKSignalRef& sourceSignal() const { return sourceSignal_; }
    /// Ends the subscription to the current source, then follows the new one (which
    /// replays its value through valueReceived() at once).
    void setSourceSignal(FKSignalRef source);

    /// Called for each value of the source; the base stores it with setValue().
    virtual void valueReceived(const rt::Value& value);

    /// The source's answer; NO without a source.
    bool repetitive() const override;

    std::shared_ptr<IDisposable> signalHandler() const { return signalHandler_.load(); }
    void setSignalHandler(std::shared_ptr<IDisposable> handler) { signalHandler_.store(std::move(handler)); }

protected:
    /// A new proxy of type P made from the arguments, following the source. What the
    /// arguments set (a block, a count) is in place before the source replays its value.
    template <class P, class... Args>
    static rt::Ref<P> following(const FKSignalRef& source, Args&&... args) {
        auto proxy = rt::make<P>(std::forward<Args>(args)...);
        proxy->setSourceSignal(source);
        return proxy;
    }

    void willDestroy() override;

private:
    /// The source closed: drop it and close too.
    void sourceClosed();

    FKSignalRef sourceSignal_;
    std::atomic<std::shared_ptr<IDisposable>> signalHandler_;
};

}  // namespace zid
