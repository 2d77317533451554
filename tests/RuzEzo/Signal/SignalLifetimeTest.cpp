// Signals freed or re-pointed by their own handlers, and destruction of objects
// that carry signals.

#include <gtest/gtest.h>

#include <vector>

#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Binding/FKBindingInfo.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Signal/Multi/FKMultiSignal.h>
#include "Signal/Proxy/FKProxySignal.h"
#include "Signal/WeakHandlers.h"
#include <RuzEzo/Trigger/OnSignalHelper.h>

#include "../support/SignalTestModel.h"

using namespace zid;
using zidtest::Model;

namespace {
struct WeakOwner : rt::Object {
    RT_CLASS(WeakOwner, rt::Object)
    std::vector<rt::Value> values;
    int closes = 0;
    void onValue(const rt::Value& v) { values.push_back(v); }
    void onClose() { ++closes; }
};
}  // namespace

TEST(SignalLifetime, WeakHandlersReachTheOwnerWhileItLivesAndNeverKeepItAlive) {
    auto source = rt::make<FKSignal>();
    source->setValue(rt::Value(1));
    auto owner = rt::make<WeakOwner>();
    auto subscription = addWeakHandlers(source, owner, &WeakOwner::onValue, &WeakOwner::onClose);
    ASSERT_EQ(owner->values.size(), 1u);  // the replay of the current value
    source->setValue(rt::Value(2));
    EXPECT_EQ(owner->values.back(), rt::Value(2));
    rt::Weak<WeakOwner> gone = owner;
    owner.reset();
    EXPECT_TRUE(gone.expired()) << "the subscription must not hold its owner";
    source->setValue(rt::Value(3));  // reaches nobody, and does not crash
    source->close();

    auto second = rt::make<WeakOwner>();
    auto other = rt::make<FKSignal>();
    auto ended = addWeakHandlers(other, second, &WeakOwner::onValue, &WeakOwner::onClose);
    ended->dispose();
    other->setValue(rt::Value(4));
    EXPECT_TRUE(second->values.empty());
    auto kept = addWeakHandlers(other, second, &WeakOwner::onValue, &WeakOwner::onClose);
    other->close();
    EXPECT_EQ(second->closes, 1);
}

TEST(SignalLifetime, KeypathSignalFreedByItsOwnHandlerDuringAReport) {
    auto model = rt::make<Model>();
    auto signal = signalForKeypath(model, "count");
    std::vector<rt::Value> seen;
    auto sub = signal->addValueHandler([&](const rt::Value& v) {
        seen.push_back(v);
        if (v == rt::Value(1)) signal.reset();  // the last holder lets go mid-report
    });
    model->setCount(1);
    EXPECT_EQ(signal, nullptr);
    model->setCount(2);
    EXPECT_EQ(seen, (std::vector<rt::Value>{0, 1}));
    auto fresh = signalForKeypath(model, "count");
    EXPECT_EQ(fresh->lastValue(), rt::Value(2));
}

TEST(SignalLifetime, DeallocSignalOfASignalFiresBeforeTheSignalCloses) {
    std::vector<std::string> events;
    auto signal = rt::make<FKSignal>();
    auto a = deallocSignal(signal)->addValueHandler([&](const rt::Value&) { events.push_back("dealloc"); });
    auto b = signal->addValueHandler(nullptr, [&] { events.push_back("closed"); });
    signal.reset();
    EXPECT_EQ(events, (std::vector<std::string>{"dealloc", "closed"}));
}

TEST(SignalLifetime, ProxyRepointedDuringTheReplayFollowsOnlyTheNewSource) {
    auto first = rt::make<FKSignal>(), second = rt::make<FKSignal>();
    first->setValue(1);
    auto proxy = rt::make<FKProxySignal>();
    bool repointed = false;
    auto sub = proxy->addValueHandler([&](const rt::Value&) {
        if (!repointed) {
            repointed = true;
            proxy->setSourceSignal(second);
        }
    });
    proxy->setSourceSignal(first);
    EXPECT_EQ(proxy->sourceSignal(), second);
    EXPECT_TRUE(first->valueHandlers().empty());
    second->setValue(2);
    EXPECT_EQ(proxy->lastValue(), rt::Value(2));
    proxy.reset();
    EXPECT_TRUE(second->valueHandlers().empty());
}

TEST(SignalLifetime, ProxyRepointedToTheSameSourceDuringTheReplaySubscribesOnce) {
    auto source = rt::make<FKSignal>();
    source->setValue(1);
    auto proxy = rt::make<FKProxySignal>();
    int depth = 0;
    auto sub = proxy->addValueHandler([&](const rt::Value&) {
        if (depth++ == 0) proxy->setSourceSignal(source);
    });
    proxy->setSourceSignal(source);
    EXPECT_EQ(source->valueHandlers().size(), 1u);
    proxy->setSourceSignal(nullptr);
    EXPECT_TRUE(source->valueHandlers().empty());
}

TEST(SignalLifetime, TriggerWhoseBlockFreesTheOwner) {
    auto owner = rt::make<Model>();
    auto signal = rt::make<FKSignal>();
    int calls = 0;
    onSignal(signal, deallocSignal(owner), [&](const rt::Value&) {
        ++calls;
        owner.reset();
    });
    signal->setValue(1);
    signal->setValue(2);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(signal->valueHandlers().empty());
}

TEST(SignalLifetime, BindingToTheTargetsOwnKeypathSignalEndsWithTheTarget) {
    auto model = rt::make<Model>();
    FKSignalBinder::sharedInstance()[FKKeypathBindingInfo::infoWithTarget(model, "title")] =
        signalForKeypath(model, "count")->map([](const rt::Value& v) { return rt::Value(v.description()); });
    model->setCount(4);
    EXPECT_EQ(model->title(), "4");
    model.reset();
}

// The owner's key-path signals are held only by a combined signal, which only a
// trigger ending with the owner holds. Freeing the owner closes the key-path signals
// one after the other; the first close makes the combined signal drop the rest.
TEST(SignalLifetime, OwnerFreedWhileOnlyACombinedSignalHoldsItsKeypathSignals) {
    auto model = rt::make<Model>();
    auto child = rt::make<Model>();
    model->setChild(child);
    int updates = 0;
    int closes = 0;
    {
        auto combined = FKMultiSignal::signalWithSignals({signalForKeypath(model, "count"),
                                                          signalForKeypath(model, "title"),
                                                          signalForKeypath(model, "child.count"),
                                                          signalForKeypath(model, "value")});
        auto closeCount = combined->addValueHandler(nullptr, [&] { ++closes; });
        onSignal(combined, deallocSignal(model), [&](const rt::Value&) { ++updates; });
    }
    model->setCount(1);
    child->setCount(2);
    EXPECT_EQ(updates, 3);
    model.reset();
    EXPECT_EQ(closes, 1);
    child->setCount(3);  // no observation is left on the survivor
    EXPECT_EQ(updates, 3);
}

// The same, with one of the key-path signals also held by somebody else: it must
// outlive the owner as a closed signal, not be freed under its holder's feet.
TEST(SignalLifetime, KeypathSignalHeldElsewhereOutlivesTheOwnerAndItsCombinedSignal) {
    auto model = rt::make<Model>();
    auto kept = signalForKeypath(model, "count");
    onSignal(FKMultiSignal::signalWithSignals({kept, signalForKeypath(model, "title")}), deallocSignal(model),
             [](const rt::Value&) {});
    int closes = 0;
    auto sub = kept->addValueHandler(nullptr, [&] { ++closes; });
    model.reset();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(kept->isClosed());
    EXPECT_EQ(kept->target(), nullptr);
    std::vector<rt::Value> seen;
    auto late = kept->addValueHandler([&](const rt::Value& v) { seen.push_back(v); });
    kept->setValue(7);
    EXPECT_EQ(seen, (std::vector<rt::Value>{0, 7}));
}
