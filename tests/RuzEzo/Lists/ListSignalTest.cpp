#include <gtest/gtest.h>

#include <random>

#include <QXFoundation/Lists/ArrayList.h>
#include <RuzEzo/Lists/ListSignal.h>
#include "Lists/SignalWrapperList.h"
#include <RuzEzo/Signal/Keypath/FKKeypathSignal.h>

#include "../../QXFoundation/Lists/ListTestSupport.h"
#include "../support/SignalTestModel.h"

namespace {

using namespace zid;
using zidtest::Model;

rt::Ref<Model> model(const std::string& title) {
    auto m = rt::make<Model>();
    m->setTitle(title);
    return m;
}

struct ListSignalTest : ::testing::Test {
    rt::Ref<Model> a = model("a"), b = model("b"), c = model("c");
    rt::Ref<MutableArrayList> list = MutableArrayList::listWithArray({a, b, c});
    rt::Ref<ListSignal> signal = ListSignal::signalWithList(list, "title");
    std::vector<rt::Value> values;
    std::shared_ptr<IDisposable> subscription;
    void SetUp() override {
        subscription = signal->addValueHandler([this](const rt::Value& v) { values.push_back(v); });
    }
    rt::Value titles(std::initializer_list<rt::Value> t) { return rt::Value(rt::Value::Array(t)); }
};

TEST_F(ListSignalTest, ValueFollowsInsertsDeletionsMovesAndItemChanges) {
    EXPECT_EQ(signal->lastValue(), titles({"a", "b", "c"}));
    list->insertObject(model("x"), 1);
    EXPECT_EQ(signal->lastValue(), titles({"a", "x", "b", "c"}));
    list->moveObjectAtIndex(0, 3);
    EXPECT_EQ(signal->lastValue(), titles({"x", "b", "c", "a"}));
    list->removeObjectAtIndex(1);
    EXPECT_EQ(signal->lastValue(), titles({"x", "c", "a"}));
    values.clear();
    c->setTitle("C");
    EXPECT_EQ(values, (std::vector<rt::Value>{titles({"x", "C", "a"})}));
    auto nilTitle = rt::make<Model>();
    list->addObject(nilTitle);  // an empty title reads as an empty string
    EXPECT_EQ(signal->lastValue().array().size(), 4u);
}

TEST_F(ListSignalTest, ABatchOfDeletionsAtZeroRemovesTheRightSignals) {
    auto more = MutableArrayList::listWithArray({a, b, c, model("d")});
    auto s = ListSignal::signalWithList(more, "title");
    more->beginUpdates();
    more->removeObjectAtIndex(0);
    more->removeObjectAtIndex(0);
    more->removeObjectAtIndex(0);
    more->endUpdates();
    EXPECT_EQ(s->lastValue(), titles({"d"}));
    ASSERT_EQ(s->keypathSignals().size(), 1u);
    // the one left follows the item left
    more->objectAtIndex(0).as<Model>()->setTitle("D");
    EXPECT_EQ(s->lastValue(), titles({"D"}));
}

TEST_F(ListSignalTest, AMixedBatchWithMovesIsAppliedAsAWhole) {
    list->beginUpdates();
    list->moveObjectAtIndex(0, 2);       // b c a
    list->insertObject(model("y"), 0);  // y b c a
    list->removeObjectAtIndex(2);        // y b a
    list->moveObjectAtIndex(2, 0);       // a y b
    list->endUpdates();
    EXPECT_EQ(signal->lastValue(), titles({"a", "y", "b"}));
    a->setTitle("A");
    EXPECT_EQ(signal->lastValue(), titles({"A", "y", "b"}));
}

TEST_F(ListSignalTest, EqualArraysAreNotSentAgainAndChangeCallsKeepTheSignals) {
    values.clear();
    list->objectDidChangeAtIndex(1);
    list->replaceObjectAtIndex(1, model("b"));  // same title, new item
    EXPECT_TRUE(values.empty());
    auto empty = ListSignal::signalWithList(MutableArrayList::emptyList(), "title");
    EXPECT_EQ(empty->lastValue(), rt::Value(rt::Value::Array{}));
}

TEST_F(ListSignalTest, NilValuesShowAsTheNullPlaceholder) {
    auto s = ListSignal::signalWithList(list, "value");
    EXPECT_EQ(s->lastValue(), titles({rt::Value::null(), rt::Value::null(), rt::Value::null()}));
    b->setValue("v");
    EXPECT_EQ(s->lastValue(), titles({rt::Value::null(), "v", rt::Value::null()}));
    b->setValue(rt::Value());
    EXPECT_TRUE(s->lastValue().array()[1].isNull());
}

TEST(ListSignalPropertyTest, RandomBatchesKeepOneSignalPerItemInListOrder) {
    std::mt19937 rng(99);
    std::vector<rt::Ref<Model>> pool;
    for (int i = 0; i < 5; ++i) pool.push_back(model("m" + std::to_string(i)));
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    for (int round = 0; round < 800; ++round) {
        auto list = MutableArrayList::emptyList();
        for (int i = 0, n = static_cast<int>(pick(7)); i < n; ++i) list->addObject(pool[pick(pool.size())]);
        auto signal = ListSignal::signalWithList(list, "title");
        list->beginUpdates();
        for (int s = 0, steps = 1 + static_cast<int>(pick(6)); s < steps; ++s) {
            auto n = list->count();
            switch (n == 0 ? 0 : pick(5)) {
                case 0: list->insertObject(pool[pick(pool.size())], pick(n + 1)); break;
                case 1: list->removeObjectAtIndex(pick(n)); break;
                case 2: list->moveObjectAtIndex(pick(n), pick(n)); break;
                case 3: list->replaceObjectAtIndex(pick(n), pool[pick(pool.size())]); break;
                default: list->objectDidChangeAtIndex(pick(n)); break;
            }
        }
        list->endUpdates();
        ASSERT_EQ(signal->keypathSignals().size(), list->count()) << "round " << round;
        rt::Value::Array expected;
        for (std::uint64_t i = 0; i < list->count(); ++i) {
            auto item = list->objectAtIndex(i).as<Model>();
            expected.push_back(rt::Value(item->title()));
            auto keypathSignal = std::dynamic_pointer_cast<FKKeypathSignal>(signal->keypathSignals()[i]);
            ASSERT_TRUE(keypathSignal);
            EXPECT_EQ(keypathSignal->target(), item.get()) << "round " << round << " position " << i;
        }
        EXPECT_EQ(signal->lastValue(), rt::Value(expected)) << "round " << round;
        if (HasFailure()) return;
    }
}

TEST(SignalWrapperListTest, HoldsTheSignalsLatestValue) {
    auto signal = rt::make<FKSignal>();
    signal->setValue("a");
    auto list = toList(signal);
    EXPECT_EQ(rt::Value(list->allObjects()), rt::Value(rt::Value::Array{"a"}));
    signal->setValue("b");
    EXPECT_EQ(rt::Value(list->allObjects()), rt::Value(rt::Value::Array{"b"}));
    signal->setValue(rt::Value());
    EXPECT_TRUE(list->isEmpty());
    signal->setValue("c");
    // a value equal to the last one is not sent again: the list is not rebuilt
    auto recorder = rt::make<zidtest::ListRecorder>();
    addListener(*list, recorder);
    signal->setValue("c");
    EXPECT_TRUE(recorder->calls.empty());
    signal->setValue("e");
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"will", "delete c from 0", "insert e at 0", "did"}));
    rt::Weak<SignalWrapperList> weak = list;
    list.reset();
    EXPECT_TRUE(weak.expired());
    signal->setValue("d");  // reaches nobody
}

}  // namespace
