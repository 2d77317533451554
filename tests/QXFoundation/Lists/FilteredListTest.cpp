#include <gtest/gtest.h>

#include <QXFoundation/Lists/ArrayList.h>
#include <QXFoundation/Lists/FilteredList.h>
#include <rt/Exception.h>
#include <rt/KVO.h>

#include "ListTestSupport.h"

namespace {

using namespace zid;
using zidtest::ListRecorder;
using Calls = std::vector<std::string>;

// A number that can change in place (identity kept).
class Num : public rt::Object {
    RT_CLASS(Num, rt::Object)
public:
    explicit Num(int value) : value(value) {}
    int value;
    std::string description() const override { return std::to_string(value); }
};

rt::Value num(int value) { return rt::make<Num>(value); }
int valueOf(const rt::Value& item) { return item.as<Num>()->value; }
bool even(const rt::Value& item) { return valueOf(item) % 2 == 0; }

rt::Value::Array nums(std::initializer_list<int> values) {
    rt::Value::Array out;
    for (int value : values) out.push_back(num(value));
    return out;
}

std::vector<int> values(const IList& list) {
    std::vector<int> out;
    for (const auto& item : list.allObjects()) out.push_back(valueOf(item));
    return out;
}

struct FilteredListTest : ::testing::Test {
    rt::Ref<MutableArrayList> source = MutableArrayList::listWithArray(nums({1, 2, 3, 4, 5, 6}));
    rt::Ref<FilteredList> filtered = FilteredList::listWithSource(source, even);
    rt::Ref<ListRecorder> recorder = rt::make<ListRecorder>();
    void SetUp() override { addListener(*filtered, recorder); }
    Calls reported() const { return recorder->calls; }
};

TEST_F(FilteredListTest, ShowsPassingItemsInSourceOrderAndMapsIndexes) {
    EXPECT_EQ(values(*filtered), (std::vector<int>{2, 4, 6}));
    EXPECT_EQ(filtered->filteredIndexFromSourceIndex(3), 1u);
    EXPECT_EQ(filtered->filteredIndexFromSourceIndex(2), 1u);  // where it would go
    EXPECT_EQ(filtered->sourceIndexFromFilteredIndex(2), 5u);
    EXPECT_THROW(filtered->objectAtIndex(3), rt::Exception);
    EXPECT_EQ(FilteredList::listWithSource(source, [](const rt::Value&) { return false; })->count(), 0u);
    EXPECT_EQ(FilteredList::listWithSource(source, [](const rt::Value&) { return true; })->count(), 6u);
}

TEST_F(FilteredListTest, SourceChangesOfRejectedItemsReportNothingButShiftPositions) {
    source->insertObject(num(7), 0);
    source->removeObjectAtIndex(1);  // the 1
    EXPECT_EQ(reported(), (Calls{"will", "did", "will", "did"}));
    source->insertObject(num(8), 0);
    EXPECT_EQ(values(*filtered), (std::vector<int>{8, 2, 4, 6}));
    EXPECT_EQ(filtered->sourceIndexFromFilteredIndex(1), 2u);
}

TEST_F(FilteredListTest, MovesAndChangesOfItemsAreTranslated) {
    auto all = FilteredList::listWithSource(source, [](const rt::Value&) { return true; });
    auto allRecorder = rt::make<ListRecorder>();
    addListener(*all, allRecorder);
    source->moveObjectAtIndex(0, 2);
    EXPECT_EQ(allRecorder->calls, (Calls{"will", "move 1 from 0 to 2", "did"}));

    recorder->clear();
    source->objectAtIndex(1).as<Num>()->value = 10;  // 2 3 1 4 5 6: the 3 now passes
    source->objectDidChangeAtIndex(1);
    EXPECT_EQ(reported(), (Calls{"will", "insert 10 at 1", "did"}));
    recorder->clear();
    source->objectAtIndex(1).as<Num>()->value = 12;  // still passes
    source->objectDidChangeAtIndex(1);
    EXPECT_EQ(reported(), (Calls{"will", "change 12 at 1", "did"}));
    recorder->clear();
    source->objectAtIndex(1).as<Num>()->value = 13;  // now fails
    source->objectDidChangeAtIndex(1);
    EXPECT_EQ(reported(), (Calls{"will", "delete 13 from 1", "did"}));
    EXPECT_EQ(values(*filtered), (std::vector<int>{2, 4, 6}));
}

TEST_F(FilteredListTest, OneSourceBatchBecomesOneExactBatch) {
    // b starts to pass and a stops passing, both marked changed in one batch
    auto abc = MutableArrayList::listWithArray(nums({0, 1, 2}));
    auto view = FilteredList::listWithSource(abc, even);
    auto rec = rt::make<ListRecorder>();
    addListener(*view, rec);
    abc->beginUpdates();
    abc->objectAtIndex(1).as<Num>()->value = 4;
    abc->objectDidChangeAtIndex(1);
    abc->objectAtIndex(0).as<Num>()->value = 3;
    abc->objectDidChangeAtIndex(0);
    abc->endUpdates();
    EXPECT_EQ(rec->calls, (Calls{"will", "delete 3 from 0", "insert 4 at 0", "did"}));
    EXPECT_EQ(values(*view), (std::vector<int>{4, 2}));

    source->beginUpdates();
    source->removeObjectAtIndex(1);  // the 2
    source->insertObject(num(8), 0);
    source->endUpdates();
    EXPECT_EQ(reported(), (Calls{"will", "delete 2 from 0", "insert 8 at 0", "did"}));
    EXPECT_EQ(values(*filtered), (std::vector<int>{8, 4, 6}));
}

TEST_F(FilteredListTest, ReplacedFilterTakesEffectOnReevaluation) {
    filtered->setFilter([](const rt::Value& item) { return valueOf(item) % 3 == 0; });
    EXPECT_TRUE(reported().empty());
    EXPECT_EQ(values(*filtered), (std::vector<int>{2, 4, 6}));
    filtered->reevaluateContent();
    EXPECT_EQ(reported(), (Calls{"will", "delete 2 from 0", "delete 4 from 1", "insert 3 at 0", "did"}));
    EXPECT_EQ(values(*filtered), (std::vector<int>{3, 6}));
}

TEST_F(FilteredListTest, LookupsAnswerOnlyForShownItems) {
    auto three = source->objectAtIndex(2);
    EXPECT_FALSE(filtered->containsObject(three));
    EXPECT_EQ(filtered->indexOfObject(three), NotFound);  // held by the source, rejected here
    EXPECT_EQ(filtered->indexOfObject(num(4)), NotFound);  // another object
    EXPECT_EQ(filtered->indexOfObject(source->objectAtIndex(3)), 1);
    EXPECT_TRUE(filtered->containsObject(source->objectAtIndex(5)));
}

TEST_F(FilteredListTest, AShorterNewSourceIsEvaluatedAfreshInOneBatch) {
    auto shorter = MutableArrayList::listWithArray(nums({10, 11}));
    filtered->setSourceList(shorter);
    EXPECT_EQ(values(*filtered), (std::vector<int>{10}));
    EXPECT_EQ(reported(), (Calls{"will", "delete 2 from 0", "delete 4 from 1", "delete 6 from 2", "insert 10 at 0", "did"}));
    recorder->clear();
    source->addObject(num(20));  // the old source is no longer followed
    EXPECT_TRUE(reported().empty());
    shorter->addObject(num(12));
    EXPECT_EQ(reported(), (Calls{"will", "insert 12 at 1", "did"}));
}

TEST_F(FilteredListTest, CountAndEmptinessAreAnnouncedAroundEachBatch) {
    auto tokens = zidtest::recordCountAndEmptiness(filtered, *recorder);
    source->addObject(num(8));
    EXPECT_EQ(reported(), (Calls{"will isEmpty", "will count", "will", "insert 8 at 3", "did", "did count", "did isEmpty"}));
    // a re-evaluation closes with emptiness first
    recorder->clear();
    filtered->setFilter([](const rt::Value& item) { return valueOf(item) > 7; });
    filtered->reevaluateContent();
    EXPECT_EQ(reported(), (Calls{"will isEmpty", "will count", "will", "delete 2 from 0", "delete 4 from 1",
                                 "delete 6 from 2", "did", "did isEmpty", "did count"}));
    recorder->clear();
    filtered->setSourceList(MutableArrayList::emptyList());
    EXPECT_EQ(reported(), (Calls{"will isEmpty", "will count", "will", "delete 8 from 0", "did", "did isEmpty", "did count"}));
    EXPECT_TRUE(filtered->isEmpty());
}

}  // namespace
