#pragma once
// A trigger: runs a block for each value of a signal until a second signal (the
// dispose signal, usually the owner's dealloc signal) sends anything or closes, the
// followed signal closes, or somebody disposes the trigger.
//
// Armed, the trigger is held only by the handlers it put into the two signals, while
// it holds both signals: no owner variable is needed, and dispose() breaks the cycle.
//
// Sites build it with the per-thread slot idiom, in this order on one thread:
//     auto t = OnSignalHelper::triggerWithSignal(signal, deallocSignal(*owner));
//     setCurrentHelper(*fnd::Thread::current(), t);
//     setCurrentHelperBlock(*fnd::Thread::current(), [](const rt::Value& v) { ... });
// or with onSignal(signal, disposeSignal, block), which runs the same three steps.

#include <functional>

#include <QXFoundation/Disposable/AutoDisposable.h>
#include <QXFoundation/Disposable/BlockDisposable.h>
#include <RuzEzo/Signal/FKSignal.h>
#include <fnd/Thread.h>

namespace zid {

class OnSignalHelper : public BlockDisposable {
    RT_CLASS(OnSignalHelper, BlockDisposable)
public:
    using Block = std::function<void(const rt::Value&)>;

    OnSignalHelper(FKSignalRef signal, FKSignalRef disposeSignal);
    /// A new trigger; nothing is subscribed until setBlock().
    static rt::Ref<OnSignalHelper> triggerWithSignal(FKSignalRef signal, FKSignalRef disposeSignal);

    /// Subscribes the block to the signal (a held value runs it at once), then the
    /// ending reactions to the dispose signal (a held value ends the trigger at once).
    void setBlock(Block block);
    /// Ends both subscriptions and drops both signals. Harmless when repeated.
    void dispose() override;

    const FKSignalRef& signal() const { return signal_; }
    const FKSignalRef& disposeSignal() const { return disposeSignal_; }

private:
    FKSignalRef signal_;
    FKSignalRef disposeSignal_;
    rt::Ref<AutoDisposable> signalHandler_;
    rt::Ref<AutoDisposable> disposeSignalHandler_;
};

// ---- the per-thread slot ----------------------------------------------------------

/// The trigger parked on the thread, or null.
rt::Ref<OnSignalHelper> currentHelper(fnd::Thread& thread);
void setCurrentHelper(fnd::Thread& thread, rt::Ref<OnSignalHelper> helper);
/// Hands the block to the parked trigger and clears the slot; with an empty slot the
/// block is dropped.
void setCurrentHelperBlock(fnd::Thread& thread, OnSignalHelper::Block block);

/// The one-call form of the idiom on the calling thread. Answers the trigger, which a
/// caller may keep to dispose it early.
rt::Ref<OnSignalHelper> onSignal(FKSignalRef signal, FKSignalRef disposeSignal, OnSignalHelper::Block block);

}  // namespace zid
