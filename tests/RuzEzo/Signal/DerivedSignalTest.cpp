// Map, filter, skip, multi, when and switch signals.

#include <gtest/gtest.h>

#include <vector>

#include <RuzEzo/Signal/FKSignal.h>
#include "Signal/Filter/FKFilterSignal.h"
#include "Signal/Map/FKMapSignal.h"
#include <RuzEzo/Signal/Multi/FKMultiSignal.h>
#include "Signal/Skip/FKSkippableProxySignal.h"
#include "Signal/Switch/FKSwitchSignal.h"
#include "Signal/When/FKWhenSignal.h"
#include "../support/ValuedSignal.h"

using namespace zid;
using zidtest::valued;

namespace {

void collect(const FKSignalRef& signal, std::vector<std::shared_ptr<IDisposable>>& keep, std::vector<rt::Value>& into) {
    keep.push_back(signal->addValueHandler([&into](const rt::Value& v) { into.push_back(v); }));
}

}  // namespace

TEST(MapSignal, MapsTheReplayedValueAndDropsEqualResults) {
    auto source = valued(2);
    int calls = 0;
    auto parity = FKMapSignal::signalWithSignal(source, [&](const rt::Value& v) {
        ++calls;
        return rt::Value(v.intValue() % 2);
    });
    EXPECT_EQ(calls, 1) << "the block was in place when the source replayed";
    EXPECT_EQ(parity->lastValue(), rt::Value(0));
    std::vector<rt::Value> seen;
    std::vector<std::shared_ptr<IDisposable>> keep;
    collect(parity, keep, seen);
    source->setValue(4);  // maps to 0 again: dropped
    source->setValue(5);
    EXPECT_EQ(seen, (std::vector<rt::Value>{0, 1}));
    EXPECT_NE(parity->description().find("sourceSignal:"), std::string::npos);
}

TEST(MapSignal, WithoutBlockPassesNothing) {
    auto map = FKMapSignal::signalWithSignal(valued(1), nullptr);
    EXPECT_FALSE(map->valueSet());
}

TEST(FilterSignal, RejectedCurrentValueLeavesNoValue) {
    auto source = valued(-1);
    auto positive = FKFilterSignal::signalWithSignal(source, [](const rt::Value& v) { return v.intValue() > 0; });
    EXPECT_FALSE(positive->valueSet());
    std::vector<rt::Value> seen;
    std::vector<std::shared_ptr<IDisposable>> keep;
    collect(positive, keep, seen);
    EXPECT_TRUE(seen.empty());
    source->setValue(3);
    source->setValue(-2);
    EXPECT_EQ(seen, (std::vector<rt::Value>{3}));
}

TEST(SkipSignal, ReplayedValueCountsAsTheFirst) {
    auto source = valued("current");
    auto skipped = FKSkippableProxySignal::signalWithSignal(source, 1);
    EXPECT_FALSE(skipped->valueSet());
    source->setValue("next");
    EXPECT_EQ(skipped->lastValue(), rt::Value("next"));

    auto fresh = rt::make<FKSignal>();
    auto skipTwo = FKSkippableProxySignal::signalWithSignal(fresh, 2);
    fresh->setValue(1);
    fresh->setValue(2);
    EXPECT_FALSE(skipTwo->valueSet());
    EXPECT_EQ(skipTwo->skipCount(), 0u);
    fresh->setValue(3);
    EXPECT_EQ(skipTwo->lastValue(), rt::Value(3));
}

TEST(MultiSignal, HasAValueFromCreationWithNullsForMissingValues) {
    auto a = rt::make<FKSignal>(), b = rt::make<FKSignal>();
    auto multi = FKMultiSignal::signalWithSignals({a, b});
    EXPECT_TRUE(multi->valueSet());
    EXPECT_EQ(multi->lastValue(), (rt::Value{rt::Value::null(), rt::Value::null()}));
    a->setValue(1);
    EXPECT_EQ(multi->lastValue(), (rt::Value{1, rt::Value::null()}));

    auto none = FKMultiSignal::signalWithSignals({});
    EXPECT_TRUE(none->valueSet());
    EXPECT_TRUE(none->lastValue().isArray());
    EXPECT_TRUE(none->lastValue().array().empty());
}

TEST(MultiSignal, UnchangedArrayIsNotDispatchedAgain) {
    auto a = valued(1), b = valued(2);
    auto multi = FKMultiSignal::signalWithSignals({a, b});
    std::vector<rt::Value> seen;
    std::vector<std::shared_ptr<IDisposable>> keep;
    collect(multi, keep, seen);
    ASSERT_EQ(seen.size(), 1u);
    a->setValue(1.0);  // equal: the source drops it
    b->setValue(3);
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen.back(), (rt::Value{1, 3}));
}

TEST(MultiSignal, ClosesWhenAnySourceClosesAndIgnoresLateValues) {
    auto a = valued(1), b = valued(2);
    auto multi = FKMultiSignal::signalWithSignals({a, b});
    int closes = 0;
    std::vector<rt::Value> seen;
    auto sub = multi->addValueHandler([&](const rt::Value& v) { seen.push_back(v); }, [&] { ++closes; });
    b->close();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(multi->signals().empty());
    a->setValue(5);
    EXPECT_EQ(seen.size(), 1u) << "a value after the close is not turned into an empty array";
    EXPECT_EQ(multi->lastValue(), (rt::Value{1, 2}));
}

TEST(MultiSignal, FreeingEndsItsSubscriptions) {
    auto a = rt::make<FKSignal>();
    auto multi = FKMultiSignal::signalWithSignals({a});
    EXPECT_EQ(a->valueHandlers().size(), 1u);
    multi.reset();
    EXPECT_TRUE(a->valueHandlers().empty());
}

// Closing one source makes the multi signal let go of the others; those it alone
// held are freed there and close on their way out, calling back into it.
TEST(MultiSignal, SourcesOnlyItHeldAreLetGoCleanlyWhenOneCloses) {
    auto first = rt::make<FKSignal>();
    rt::Weak<FKSignal> second, third;
    auto multi = [&] {
        auto b = valued(2), c = valued(3);
        second = b;
        third = c;
        return FKMultiSignal::signalWithSignals({first, b, c});
    }();
    int closes = 0;
    auto sub = multi->addValueHandler(nullptr, [&] { ++closes; });
    first->close();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(multi->signals().empty());
    EXPECT_TRUE(second.expired());
    EXPECT_TRUE(third.expired());
    EXPECT_EQ(multi->lastValue(), (rt::Value{rt::Value::null(), 2, 3}));
    multi.reset();
    EXPECT_TRUE(first->valueHandlers().empty());
    EXPECT_TRUE(first->closeHandlers().empty());
}

TEST(WhenSignal, FollowsTheChosenSignalOnly) {
    auto condition = rt::make<FKSignal>();
    auto yes = valued("yes"), no = valued("no");
    auto when = FKWhenSignal::signalWithConditionalSignal(condition, yes, no);
    EXPECT_EQ(when->lastValue(), rt::Value("no")) << "a condition without value reads as NO";
    std::vector<rt::Value> seen;
    std::vector<std::shared_ptr<IDisposable>> keep;
    collect(when, keep, seen);
    condition->setValue(1);
    EXPECT_EQ(when->lastValue(), rt::Value("yes"));
    no->setValue("no 2");  // not chosen: nothing new
    EXPECT_EQ(seen.size(), 2u);
    condition->setValue("t");
    condition->setValue("0");
    EXPECT_EQ(when->lastValue(), rt::Value("no 2"));
}

TEST(WhenSignal, ConditionTruthForEveryKindOfValue) {
    EXPECT_FALSE(FKWhenSignal::conditionValue(rt::Value()));
    EXPECT_FALSE(FKWhenSignal::conditionValue(rt::Value::null()));
    EXPECT_FALSE(FKWhenSignal::conditionValue(0));
    EXPECT_TRUE(FKWhenSignal::conditionValue(0.5));
    EXPECT_TRUE(FKWhenSignal::conditionValue("YES"));
    EXPECT_TRUE(FKWhenSignal::conditionValue("  -007"));
    EXPECT_FALSE(FKWhenSignal::conditionValue("0"));
    EXPECT_FALSE(FKWhenSignal::conditionValue("no"));
    EXPECT_FALSE(FKWhenSignal::conditionValue(""));
    EXPECT_TRUE(FKWhenSignal::conditionValue(rt::Date{0}));
    EXPECT_TRUE(FKWhenSignal::conditionValue(rt::Value{1, 2}));
    auto when = FKWhenSignal::signalWithConditionalSignal(valued(rt::Date{5}), valued("t"), valued("f"));
    EXPECT_EQ(when->lastValue(), rt::Value("t"));
}

// A replaced signal that only the when signal held is freed by the replacement and
// closes then: that close is no longer the when signal's business.
TEST(WhenSignal, ReplacingASignalOnlyItHeldKeepsItOpen) {
    int closes = 0;  // before the signals: their close, as they go at the end, still counts here
    auto condition = valued(1);
    auto when = FKWhenSignal::signalWithConditionalSignal(condition, valued("old"), valued("no"));
    auto sub = when->addValueHandler(nullptr, [&] { ++closes; });
    when->setTrueSignal(valued("new"));
    when->setFalseSignal(valued("other"));
    when->setConditionalSignal(valued(0));
    EXPECT_EQ(closes, 0);
    EXPECT_FALSE(when->isClosed());
    ASSERT_TRUE(when->trueSignal());
    EXPECT_EQ(when->lastValue(), rt::Value("other"));
    when->setConditionalSignal(valued(1));
    EXPECT_EQ(when->lastValue(), rt::Value("new"));
    EXPECT_EQ(condition->valueHandlers().size(), 0u) << "the first condition is no longer followed";
}

TEST(WhenSignal, ClosesAndLetsGoWhenAnyOfItsSignalsCloses) {
    auto condition = valued(1);
    auto yes = valued("yes"), no = valued("no");
    auto when = FKWhenSignal::signalWithConditionalSignal(condition, yes, no);
    int closes = 0;
    auto sub = when->addValueHandler(nullptr, [&] { ++closes; });
    yes->close();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(when->conditionalSignal(), nullptr);
    EXPECT_EQ(when->trueSignal(), nullptr);
    EXPECT_EQ(when->falseSignal(), nullptr);
    EXPECT_TRUE(condition->valueHandlers().empty());
    EXPECT_TRUE(no->valueHandlers().empty());
    condition->setValue(0);
    EXPECT_EQ(when->lastValue(), rt::Value("yes"));
}

TEST(WhenSignal, IfElseOperator) {
    auto a = valued("a"), b = valued("b"), c = valued(true);
    auto chosen = a->if_(c, b);
    EXPECT_EQ(chosen->lastValue(), rt::Value("a"));
    c->setValue(false);
    EXPECT_EQ(chosen->lastValue(), rt::Value("b"));
}

TEST(SwitchSignal, MatchesKeysByEqualityInOrder) {
    auto condition = rt::make<FKSignal>();
    rt::Dictionary cases{{rt::Value(1), rt::Value(valued("one"))}, {rt::Value("x"), rt::Value(valued("ex"))}};
    auto sw = condition->switch_(cases);
    EXPECT_TRUE(sw->valueSet());
    EXPECT_TRUE(sw->lastValue().isNil());
    condition->setValue(1.0);
    EXPECT_EQ(sw->lastValue(), rt::Value("one"));
    condition->setValue("x");
    EXPECT_EQ(sw->lastValue(), rt::Value("ex"));
    condition->setValue("nothing");
    EXPECT_TRUE(sw->lastValue().isNil());
}

TEST(SwitchSignal, FollowsItsCasesAndKeepsFollowingAfterClose) {
    auto condition = valued("a");
    auto caseA = valued(1), caseB = valued(2);
    auto sw = FKSwitchSignal::signalWithCondition(condition, {{rt::Value("a"), rt::Value(caseA)}, {rt::Value("b"), rt::Value(caseB)}});
    caseA->setValue(10);
    EXPECT_EQ(sw->lastValue(), rt::Value(10));
    int closes = 0;
    auto sub = sw->addValueHandler(nullptr, [&] { ++closes; });
    caseB->close();
    EXPECT_EQ(closes, 1);
    condition->setValue("b");
    EXPECT_EQ(sw->lastValue(), rt::Value(2)) << "a closed switch still recomputes";
}

TEST(DerivedSignals, RepetitiveFollowsTheSources) {
    class Events : public FKSignal {
    public:
        bool repetitive() const override { return true; }
    };
    auto events = rt::make<Events>();
    auto plain = rt::make<FKSignal>();
    EXPECT_TRUE(FKMultiSignal::signalWithSignals({plain, events})->repetitive());
    EXPECT_FALSE(FKMultiSignal::signalWithSignals({plain})->repetitive());
    EXPECT_TRUE(FKWhenSignal::signalWithConditionalSignal(events, plain, plain)->repetitive());
    EXPECT_FALSE(FKSwitchSignal::signalWithCondition(events, {{rt::Value(1), rt::Value(plain)}})->repetitive())
        << "the switch asks only its cases";
    EXPECT_TRUE(events->map([](const rt::Value& v) { return v; })->repetitive());
}
