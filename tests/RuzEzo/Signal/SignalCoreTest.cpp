// The value cell: repeat suppression, replay, re-entrant dispatch, subscriptions,
// closing, proxies and constant signals.

#include <gtest/gtest.h>

#include <vector>

#include <RuzEzo/Signal/Const/FKConstSignal.h>
#include <RuzEzo/Signal/FKSignal.h>
#include "Signal/Proxy/FKProxySignal.h"

using namespace zid;

namespace {

// What a signal delivered. The handlers share its record rather than point at the
// recorder: a signal made before the recorder outlives it and calls its close handler
// as it goes, after the recorder's scope has ended.
struct Recorder {
    struct Record {
        std::vector<rt::Value> values;
        int closes = 0;
    };
    std::shared_ptr<Record> record = std::make_shared<Record>();
    std::vector<rt::Value>& values = record->values;
    int& closes = record->closes;
    std::shared_ptr<IDisposable> attach(const FKSignalRef& signal) {
        return signal->addValueHandler([r = record](const rt::Value& v) { r->values.push_back(v); },
                                       [r = record] { ++r->closes; });
    }
};

class RepetitiveSignal : public FKSignal {
    RT_CLASS(RepetitiveSignal, FKSignal)
public:
    bool repetitive() const override { return true; }
};

class Box : public rt::Object {
    RT_CLASS(Box, rt::Object)
public:
    int contents = 0;
};

}  // namespace

TEST(SignalRepeatRule, NilIsAValueOnceAndThenARepeat) {
    auto signal = rt::make<FKSignal>();
    Recorder r;
    r.attach(signal);
    EXPECT_TRUE(r.values.empty()) << "a signal without value replays nothing";
    signal->setValue(rt::Value());
    signal->setValue(rt::Value());
    ASSERT_EQ(r.values.size(), 1u);
    EXPECT_TRUE(r.values[0].isNil());
    EXPECT_TRUE(signal->valueSet());
}

TEST(SignalRepeatRule, EqualNumbersOfDifferentKindsAreRepeats) {
    auto signal = rt::make<FKSignal>();
    Recorder r;
    r.attach(signal);
    signal->setValue(rt::Number::ofInt(1));
    signal->setValue(rt::Number::ofDouble(1.0));
    signal->setValue(rt::Number::ofBool(true));
    signal->setValue(rt::Number::ofULongLong(1));
    EXPECT_EQ(r.values.size(), 1u);
    signal->setValue(rt::Number::ofFloat(1.5f));
    EXPECT_EQ(r.values.size(), 2u);

    auto repetitive = rt::make<RepetitiveSignal>();
    Recorder all;
    all.attach(repetitive);
    repetitive->setValue(rt::Number::ofInt(1));
    repetitive->setValue(rt::Number::ofDouble(1.0));
    EXPECT_EQ(all.values.size(), 2u);
}

TEST(SignalRepeatRule, TheSameMutatedObjectIsARepeat) {
    auto signal = rt::make<FKSignal>();
    auto box = rt::make<Box>();
    Recorder r;
    r.attach(signal);
    signal->setValue(box);
    box->contents = 5;
    signal->setValue(box);
    EXPECT_EQ(r.values.size(), 1u);
    signal->setValue(rt::make<Box>());  // another object, not equal by identity
    EXPECT_EQ(r.values.size(), 2u);
}

TEST(SignalRepeatRule, EqualContainersAndStringsAreRepeats) {
    auto signal = rt::make<FKSignal>();
    Recorder r;
    r.attach(signal);
    signal->setValue(rt::Value("a"));
    signal->setValue(rt::Value(std::string("a")));
    signal->setValue(rt::Value{1, "x"});
    signal->setValue(rt::Value{1.0, "x"});
    EXPECT_EQ(r.values.size(), 2u);
}

TEST(SignalReplay, NewHandlerGetsLastValueEvenWhenClosed) {
    auto signal = rt::make<FKSignal>();
    signal->setValue(7);
    signal->close();
    Recorder r;
    r.attach(signal);
    ASSERT_EQ(r.values.size(), 1u);
    EXPECT_EQ(r.values[0], rt::Value(7));
    EXPECT_EQ(r.closes, 0) << "a close handler added after the close never runs";
    signal->setValue(8);  // a closed signal still stores and dispatches
    EXPECT_EQ(r.values.size(), 2u);
    EXPECT_EQ(signal->lastValue(), rt::Value(8));
}

TEST(SignalReplay, ReplayRunsInsideTheAddCall) {
    auto signal = rt::make<FKSignal>();
    signal->setValue("now");
    bool seen = false;
    signal->addValueHandler([&](const rt::Value& v) { seen = v == rt::Value("now"); });
    EXPECT_TRUE(seen);
}

TEST(SignalDispatch, HandlerSettingAValueRunsANestedDispatchFirst) {
    auto signal = rt::make<FKSignal>();
    std::vector<std::string> h1, h2;
    signal->addValueHandler([&](const rt::Value& v) {
        h1.push_back(v.string());
        if (v.string() == "first") signal->setValue("second");
    });
    signal->addValueHandler([&](const rt::Value& v) { h2.push_back(v.string()); });
    signal->setValue("first");
    EXPECT_EQ(h1, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(h2, (std::vector<std::string>{"second", "first"}));
    EXPECT_EQ(signal->lastValue().string(), "second");
}

TEST(SignalDispatch, ListIsTakenAtTheStartOfEachPass) {
    auto signal = rt::make<FKSignal>();
    std::vector<std::string> calls;
    std::shared_ptr<IDisposable> second;
    signal->addValueHandler([&](const rt::Value& v) {
        calls.push_back("h1:" + v.description());
        if (v == rt::Value(1)) {
            second->dispose();  // removed during the pass: still called by it
            signal->addValueHandler([&](const rt::Value& w) { calls.push_back("late:" + w.description()); });
        }
    });
    second = signal->addValueHandler([&](const rt::Value& v) { calls.push_back("h2:" + v.description()); });
    signal->setValue(1);
    EXPECT_EQ(calls, (std::vector<std::string>{"h1:1", "late:1", "h2:1"}));
    calls.clear();
    signal->setValue(2);
    EXPECT_EQ(calls, (std::vector<std::string>{"h1:2", "late:2"}));
}

TEST(SignalDispatch, SignalFreedByItsOwnHandlerFinishesThePass) {
    // The pass holds its list, not the signal: a handler that edits the handlers and
    // then drops the last reference to the signal (closing it) leaves the rest of the
    // pass intact.
    auto signal = rt::make<FKSignal>();
    FKSignal* raw = signal.get();
    rt::Weak<FKSignal> weak = signal;
    std::vector<std::string> calls;
    std::shared_ptr<IDisposable> second;
    signal->addValueHandler(
        [&](const rt::Value& v) {
            calls.push_back("h1:" + v.description());
            second->dispose();
            signal->addValueHandler([&](const rt::Value& w) { calls.push_back("late:" + w.description()); });
            signal.reset();
        },
        [&] { calls.push_back("closed"); });
    second = signal->addValueHandler([&](const rt::Value& v) { calls.push_back("h2:" + v.description()); });
    raw->setValue(3);
    EXPECT_EQ(weak.lock(), nullptr);
    EXPECT_EQ(calls, (std::vector<std::string>{"h1:3", "late:3", "closed", "h2:3"}));
}

TEST(SignalSubscription, DisposeRemovesBothHandlersOnceAndIsRepeatable) {
    auto signal = rt::make<FKSignal>();
    Recorder r;
    auto subscription = r.attach(signal);
    EXPECT_EQ(signal->valueHandlers().size(), 1u);
    EXPECT_EQ(signal->closeHandlers().size(), 1u);
    subscription->dispose();
    subscription->dispose();
    EXPECT_TRUE(signal->valueHandlers().empty());
    EXPECT_TRUE(signal->closeHandlers().empty());
    signal->setValue(1);
    signal->close();
    EXPECT_TRUE(r.values.empty());
    EXPECT_EQ(r.closes, 0);
}

TEST(SignalSubscription, SameBlockTwiceIsStoredTwiceAndRemovedTogether) {
    auto signal = rt::make<FKSignal>();
    int calls = 0;
    auto block = rt::make<FKSignal::ValueBlock>([&](const rt::Value&) { ++calls; });
    auto first = signal->addValueHandler(block, nullptr);
    auto second = signal->addValueHandler(block, nullptr);
    signal->setValue(1);
    EXPECT_EQ(calls, 2);
    second->dispose();
    EXPECT_TRUE(signal->valueHandlers().empty());
    first->dispose();  // finds nothing
    signal->setValue(2);
    EXPECT_EQ(calls, 2);
}

TEST(SignalSubscription, DroppingTheSubscriptionKeepsTheHandlersAndOutlivingTheSignalIsHarmless) {
    auto signal = rt::make<FKSignal>();
    int calls = 0;
    std::shared_ptr<IDisposable> kept;
    {
        auto dropped = signal->addValueHandler([&](const rt::Value&) { ++calls; });
        kept = signal->addValueHandler([&](const rt::Value&) { ++calls; });
    }
    signal->setValue(1);
    EXPECT_EQ(calls, 2);
    signal.reset();
    kept->dispose();  // the signal is gone: nothing to do
}

TEST(SignalClose, ClosesOnceAndFreeingClosesOnce) {
    auto signal = rt::make<FKSignal>();
    Recorder r;
    r.attach(signal);
    signal->close();
    signal->close();
    EXPECT_EQ(r.closes, 1);
    EXPECT_TRUE(signal->isClosed());

    auto other = rt::make<FKSignal>();
    Recorder s;
    s.attach(other);
    other.reset();
    EXPECT_EQ(s.closes, 1) << "destruction closes a signal that was never closed";
}

TEST(ProxySignal, TakesTheSourceValueBeforeItsFactoryReturns) {
    auto source = rt::make<FKSignal>();
    source->setValue(3);
    auto proxy = FKProxySignal::signalWithSignal(source);
    EXPECT_TRUE(proxy->valueSet());
    EXPECT_EQ(proxy->lastValue(), rt::Value(3));

    auto empty = FKProxySignal::signalWithSignal(rt::make<FKSignal>());
    EXPECT_FALSE(empty->valueSet());
}

TEST(ProxySignal, ClosesWithItsSourceAndDropsIt) {
    auto source = rt::make<FKSignal>();
    auto proxy = FKProxySignal::signalWithSignal(source);
    Recorder r;
    r.attach(proxy);
    source->setValue(1);
    source->close();
    EXPECT_EQ(r.closes, 1);
    EXPECT_TRUE(proxy->isClosed());
    EXPECT_EQ(proxy->sourceSignal(), nullptr);
    EXPECT_EQ(proxy->signalHandler(), nullptr);
    EXPECT_TRUE(source->valueHandlers().empty()) << "the proxy's subscription ended";
    source->setValue(2);
    EXPECT_EQ(r.values.size(), 1u);
}

TEST(ProxySignal, FreeingTheLastHolderUnsubscribesAndCloses) {
    auto source = rt::make<FKSignal>();
    auto proxy = FKProxySignal::signalWithSignal(source);
    Recorder r;
    r.attach(proxy);
    EXPECT_EQ(source->valueHandlers().size(), 1u);
    rt::Weak<FKProxySignal> weak = proxy;
    proxy.reset();
    EXPECT_TRUE(weak.expired()) << "the source holds its derived signal only weakly";
    EXPECT_TRUE(source->valueHandlers().empty());
    EXPECT_TRUE(source->closeHandlers().empty());
    EXPECT_EQ(r.closes, 1);
}

TEST(ProxySignal, RepointingFollowsOnlyTheNewSource) {
    auto a = rt::make<FKSignal>(), b = rt::make<FKSignal>();
    auto proxy = FKProxySignal::signalWithSignal(a);
    proxy->setSourceSignal(b);
    EXPECT_TRUE(a->valueHandlers().empty());
    a->setValue(1);
    EXPECT_FALSE(proxy->valueSet());
    b->setValue(2);
    EXPECT_EQ(proxy->lastValue(), rt::Value(2));
}

TEST(ConstSignal, HoldsItsValueEvenNil) {
    auto nilSignal = FKConstSignal::signalWithValue(rt::Value());
    EXPECT_TRUE(nilSignal->valueSet());
    Recorder r;
    r.attach(nilSignal);
    ASSERT_EQ(r.values.size(), 1u);
    EXPECT_TRUE(r.values[0].isNil());

    auto constant = toConstSignal("x");
    Recorder s;
    s.attach(constant);
    constant->fire();
    EXPECT_EQ(s.values, (std::vector<rt::Value>{"x", "x"})) << "fire hands the value out again";
}
