#include <RuzEzo/Trigger/OnSignalHelper.h>

namespace zid {

namespace {
constexpr std::string_view kCurrentTrigger = "kCurrentTrigger";
}

OnSignalHelper::OnSignalHelper(FKSignalRef signal, FKSignalRef disposeSignal)
    : signal_(std::move(signal)),
      disposeSignal_(std::move(disposeSignal)),
      signalHandler_(rt::make<AutoDisposable>()),
      disposeSignalHandler_(rt::make<AutoDisposable>()) {}

rt::Ref<OnSignalHelper> OnSignalHelper::triggerWithSignal(FKSignalRef signal, FKSignalRef disposeSignal) {
    return rt::make<OnSignalHelper>(std::move(signal), std::move(disposeSignal));
}

void OnSignalHelper::setBlock(Block block) {
    auto self = selfAs<OnSignalHelper>();
    auto closer = rt::make<FKSignal::CloseBlock>([self] { self->dispose(); });
    auto disposeReaction = rt::make<FKSignal::ValueBlock>([self](const rt::Value&) { self->dispose(); });
    FKSignal::ValueHandler handler = block ? rt::make<FKSignal::ValueBlock>(std::move(block)) : nullptr;

    // Locals: the replay inside a subscription may end the trigger and clear the fields.
    if (FKSignalRef signal = signal_) {
        auto subscription = signal->addValueHandler(handler, closer);
        if (signalHandler_) signalHandler_->setDisposable(std::move(subscription));
        else subscription->dispose();  // ended during the replay
    }
    if (FKSignalRef disposeSignal = disposeSignal_) {
        auto subscription = disposeSignal->addValueHandler(disposeReaction, closer);
        if (disposeSignalHandler_) disposeSignalHandler_->setDisposable(std::move(subscription));
        else subscription->dispose();
    }
}

void OnSignalHelper::dispose() {
    auto keepAlive = self();
    if (auto handler = std::move(signalHandler_)) handler->dispose();
    if (auto handler = std::move(disposeSignalHandler_)) handler->dispose();
    signal_ = nullptr;
    disposeSignal_ = nullptr;
}

rt::Ref<OnSignalHelper> currentHelper(fnd::Thread& thread) {
    return thread.associatedObject(kCurrentTrigger).as<OnSignalHelper>();
}

void setCurrentHelper(fnd::Thread& thread, rt::Ref<OnSignalHelper> helper) {
    thread.setAssociatedObject(helper ? rt::Value(helper) : rt::Value(), kCurrentTrigger);
}

void setCurrentHelperBlock(fnd::Thread& thread, OnSignalHelper::Block block) {
    if (auto helper = currentHelper(thread)) helper->setBlock(std::move(block));
    setCurrentHelper(thread, nullptr);
}

rt::Ref<OnSignalHelper> onSignal(FKSignalRef signal, FKSignalRef disposeSignal, OnSignalHelper::Block block) {
    auto trigger = OnSignalHelper::triggerWithSignal(std::move(signal), std::move(disposeSignal));
    auto thread = fnd::Thread::current();
    setCurrentHelper(*thread, trigger);
    setCurrentHelperBlock(*thread, std::move(block));
    return trigger;
}

}  // namespace zid
