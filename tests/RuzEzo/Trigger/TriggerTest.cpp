// Triggers: the slot idiom and the one-call form, and the four ways a trigger ends.

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Signal/FKSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include "../support/ValuedSignal.h"

using namespace zid;
using zidtest::valued;

namespace {

class Owner : public rt::Object {
    RT_CLASS(Owner, rt::Object)
};

}  // namespace

TEST(TriggerIdiom, SlotHandsTheBlockToTheParkedTriggerAndClears) {
    auto signal = valued(1);
    auto dispose = rt::make<FKSignal>();
    auto thread = fnd::Thread::current();
    std::vector<rt::Value> seen;
    {
        auto trigger = OnSignalHelper::triggerWithSignal(signal, dispose);
        setCurrentHelper(*thread, trigger);
        EXPECT_EQ(currentHelper(*thread), trigger);
    }
    setCurrentHelperBlock(*thread, [&](const rt::Value& v) { seen.push_back(v); });
    EXPECT_EQ(currentHelper(*thread), nullptr);
    EXPECT_EQ(seen, (std::vector<rt::Value>{1})) << "the held value runs the block during the call";
    signal->setValue(2);
    EXPECT_EQ(seen, (std::vector<rt::Value>{1, 2})) << "armed without any owner variable";
    signal->close();  // ends the trigger, and with it the cycle that kept it armed
}

TEST(TriggerIdiom, BlockWithoutParkedTriggerIsDropped) {
    bool ran = false;
    setCurrentHelperBlock(*fnd::Thread::current(), [&](const rt::Value&) { ran = true; });
    EXPECT_FALSE(ran);
}

TEST(TriggerIdiom, NestedTriggerInsideTheReplayIsSafe) {
    auto outer = valued("outer");
    auto inner = valued("inner");
    std::vector<std::string> seen;
    onSignal(outer, nullptr, [&](const rt::Value& v) {
        seen.push_back(v.string());
        onSignal(inner, nullptr, [&](const rt::Value& w) { seen.push_back(w.string()); });
    });
    EXPECT_EQ(currentHelper(*fnd::Thread::current()), nullptr);
    EXPECT_EQ(seen, (std::vector<std::string>{"outer", "inner"}));
    outer->close();
    inner->close();
}

TEST(TriggerEnds, WhenTheFollowedSignalCloses) {
    auto signal = rt::make<FKSignal>();
    auto dispose = rt::make<FKSignal>();
    int calls = 0;
    rt::Weak<OnSignalHelper> weak = onSignal(signal, dispose, [&](const rt::Value&) { ++calls; });
    EXPECT_FALSE(weak.expired());
    signal->close();
    EXPECT_EQ(calls, 0) << "the close is not a value";
    EXPECT_TRUE(weak.expired()) << "the ended trigger is freed";
    EXPECT_TRUE(signal->valueHandlers().empty());
    EXPECT_TRUE(dispose->valueHandlers().empty());
    EXPECT_TRUE(dispose->closeHandlers().empty());
    signal->setValue(1);
    EXPECT_EQ(calls, 0);
}

TEST(TriggerEnds, WhenTheDisposeSignalSendsAnyValueEvenNil) {
    auto signal = rt::make<FKSignal>();
    auto dispose = rt::make<FKSignal>();
    int calls = 0;
    onSignal(signal, dispose, [&](const rt::Value&) { ++calls; });
    signal->setValue(1);
    dispose->setValue(rt::Value());
    signal->setValue(2);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(signal->valueHandlers().empty());
}

TEST(TriggerEnds, WhenTheDisposeSignalCloses) {
    auto signal = rt::make<FKSignal>();
    auto dispose = rt::make<FKSignal>();
    int calls = 0;
    onSignal(signal, dispose, [&](const rt::Value&) { ++calls; });
    dispose->close();
    signal->setValue(1);
    EXPECT_EQ(calls, 0);
}

TEST(TriggerEnds, WhenAHolderDisposesIt) {
    auto signal = rt::make<FKSignal>();
    int calls = 0;
    auto trigger = onSignal(signal, nullptr, [&](const rt::Value&) { ++calls; });
    trigger->dispose();
    trigger->dispose();
    signal->setValue(1);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(trigger->signal(), nullptr);
    EXPECT_EQ(trigger->disposeSignal(), nullptr);
}

TEST(TriggerEnds, WhenTheOwnerIsFreed) {
    auto signal = rt::make<FKSignal>();
    auto owner = rt::make<Owner>();
    int calls = 0;
    onSignal(signal, deallocSignal(*owner), [&](const rt::Value&) { ++calls; });
    signal->setValue(1);
    owner.reset();
    signal->setValue(2);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(signal->valueHandlers().empty());
    EXPECT_TRUE(signal->closeHandlers().empty());
}

TEST(TriggerEdges, ClosedSignalReplaysOnceAndStaysArmedUntilDisposed) {
    auto signal = valued("last");
    signal->close();
    auto dispose = rt::make<FKSignal>();
    int calls = 0;
    rt::Weak<OnSignalHelper> weak = onSignal(signal, dispose, [&](const rt::Value&) { ++calls; });
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(weak.expired());
    dispose->setValue(1);
    EXPECT_TRUE(weak.expired());
}

TEST(TriggerEdges, DisposeSignalWithValueEndsAfterTheBlockSawTheCurrentValue) {
    auto signal = valued(5);
    auto dispose = valued("already");
    std::vector<rt::Value> seen;
    rt::Weak<OnSignalHelper> weak = onSignal(signal, dispose, [&](const rt::Value& v) { seen.push_back(v); });
    EXPECT_EQ(seen, (std::vector<rt::Value>{5}));
    EXPECT_TRUE(weak.expired());
    EXPECT_TRUE(signal->valueHandlers().empty());
    EXPECT_TRUE(dispose->valueHandlers().empty()) << "no ending reaction is left behind on the dispose signal";
    EXPECT_TRUE(dispose->closeHandlers().empty());
}

TEST(TriggerEdges, RunsAfterEarlierSubscribersOfTheSignal) {
    auto signal = rt::make<FKSignal>();
    std::vector<std::string> order;
    auto early = signal->addValueHandler([&](const rt::Value&) { order.push_back("early"); });
    onSignal(signal, nullptr, [&](const rt::Value&) { order.push_back("trigger"); });
    signal->setValue(1);
    EXPECT_EQ(order, (std::vector<std::string>{"early", "trigger"}));
    signal->close();
}

TEST(TriggerEdges, DeallocSignalAsBothSignalsRunsTheBlockOnceBeforeEnding) {
    auto owner = rt::make<Owner>();
    auto dealloc = deallocSignal(*owner);
    int calls = 0;
    rt::Weak<OnSignalHelper> weak = onSignal(dealloc, dealloc, [&](const rt::Value& v) {
        EXPECT_TRUE(v.isNil());
        ++calls;
    });
    owner.reset();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(weak.expired());
}

TEST(TriggerIdiom, SlotsBelongToTheirThread) {
    auto signal = rt::make<FKSignal>();
    auto parked = OnSignalHelper::triggerWithSignal(signal, nullptr);
    setCurrentHelper(*fnd::Thread::current(), parked);
    rt::Ref<OnSignalHelper> seenThere;
    std::thread([&] { seenThere = currentHelper(*fnd::Thread::current()); }).join();
    EXPECT_EQ(seenThere, nullptr);
    EXPECT_EQ(currentHelper(*fnd::Thread::current()), parked);
    setCurrentHelper(*fnd::Thread::current(), nullptr);
}
