#include <gtest/gtest.h>

#include <QXFoundation/Lists/ArrayList.h>
#include <QXFoundation/Lists/FilteredList.h>
#include <QXFoundation/Lists/SortedList.h>
#include <rt/Exception.h>

#include "ListTestSupport.h"

namespace {

using namespace zid;
using zidtest::ListRecorder;
using Calls = std::vector<std::string>;

// A value that sorts by its number and keeps a tag to tell equal ones apart.
class Card : public rt::Object {
    RT_CLASS(Card, rt::Object)
public:
    Card(int rank, std::string tag) : rank(rank), tag(std::move(tag)) {}
    int rank;
    std::string tag;
    std::string description() const override { return tag; }
};

rt::Value card(int rank, std::string tag) { return rt::make<Card>(rank, std::move(tag)); }
int rankOf(const rt::Value& v) { return v.as<Card>()->rank; }
int byRank(const rt::Value& a, const rt::Value& b) { return rankOf(a) < rankOf(b) ? -1 : (rankOf(a) > rankOf(b) ? 1 : 0); }

std::string tags(const IList& list) {
    std::string out;
    for (const auto& item : list.allObjects()) out += item.as<Card>()->tag;
    return out;
}

struct SortedListTest : ::testing::Test {
    rt::Ref<MutableArrayList> source =
        MutableArrayList::listWithArray({card(3, "c"), card(1, "a"), card(2, "b"), card(1, "A")});
    rt::Ref<SortedList> sorted = SortedList::listWithSource(source, byRank);
    rt::Ref<ListRecorder> recorder = rt::make<ListRecorder>();
    void SetUp() override { addListener(*sorted, recorder); }
};

TEST_F(SortedListTest, SortsWithEqualItemsInOrderOfArrival) {
    EXPECT_EQ(tags(*sorted), "aAbc");
    EXPECT_EQ(sorted->sourceIndexFromDestinationIndex(1), 3u);
    EXPECT_EQ(sorted->destinationIndexFromSourceIndex(0), 3);
    source->insertObject(card(1, "z"), 0);  // ties go after the items already there
    EXPECT_EQ(tags(*sorted), "aAzbc");
    EXPECT_EQ(recorder->calls, (Calls{"will", "insert z at 2", "did"}));
    EXPECT_THROW(sorted->objectAtIndex(5), rt::Exception);
    auto empty = SortedList::listWithSource(MutableArrayList::emptyList(), byRank);
    EXPECT_EQ(empty->count(), 0u);
}

TEST_F(SortedListTest, ARankChangeIsReportedAsAMoveAndAChange) {
    source->objectAtIndex(1).as<Card>()->rank = 5;  // a goes last
    source->objectDidChangeAtIndex(1);
    EXPECT_EQ(tags(*sorted), "Abca");
    EXPECT_EQ(recorder->calls, (Calls{"will", "move a from 0 to 3", "change a at 0", "did"}));
    recorder->clear();
    source->objectDidChangeAtIndex(0);  // c: same rank
    EXPECT_EQ(recorder->calls, (Calls{"will", "change c at 2", "did"}));
    // a changed item is placed again after the items it ties with
    recorder->clear();
    source->objectDidChangeAtIndex(3);  // A ties with nothing before b: stays
    EXPECT_EQ(recorder->calls, (Calls{"will", "change A at 0", "did"}));
    recorder->clear();
    source->objectAtIndex(0).as<Card>()->rank = 2;  // c now ties with b, after it
    source->objectAtIndex(2).as<Card>()->rank = 2;
    source->beginUpdates();
    source->objectDidChangeAtIndex(2);  // b: ties with c, which stands after it
    source->endUpdates();
    EXPECT_EQ(tags(*sorted), "Acba");
    EXPECT_EQ(recorder->calls, (Calls{"will", "move b from 1 to 2", "change b at 1", "did"}));
}

TEST_F(SortedListTest, SourceMovesLeaveTheOrderAlone) {
    // A source move may stand for a change whose position shifted, so the moved item
    // is reported changed where it stays; nothing moves.
    source->moveObjectAtIndex(0, 3);
    EXPECT_EQ(recorder->calls, (Calls{"will", "change c at 3", "did"}));
    EXPECT_EQ(tags(*sorted), "aAbc");
}

TEST_F(SortedListTest, SourceMovesKeepEqualItemsWhereTheyStand) {
    // a and A tie: moving either one in the source must not swap them
    source->moveObjectAtIndex(3, 0);  // A c a b
    EXPECT_EQ(tags(*sorted), "aAbc");
    source->moveObjectAtIndex(2, 3);  // A c b a
    EXPECT_EQ(tags(*sorted), "aAbc");
    for (const auto& batch : recorder->batches) EXPECT_TRUE(batch.moves.empty() && batch.deletions.empty() && batch.inserts.empty());
    // a moved item whose rank changed meanwhile is placed again
    recorder->clear();
    auto before = sorted->allObjects();
    source->objectAtIndex(3).as<Card>()->rank = 9;  // a
    source->beginUpdates();
    source->objectDidChangeAtIndex(3);
    source->removeObjectAtIndex(0);  // A: a's change now reaches listeners as a move
    source->endUpdates();
    EXPECT_EQ(tags(*sorted), "bca");
    ASSERT_EQ(recorder->batches.size(), 1u);
    EXPECT_TRUE(zidtest::sameItems(zidtest::replayBatch(before, recorder->batches[0]), sorted->allObjects()));
}

TEST_F(SortedListTest, CountAndEmptinessAreAnnouncedAroundEachBatch) {
    auto tokens = zidtest::recordCountAndEmptiness(sorted, *recorder);
    source->addObject(card(0, "z"));
    EXPECT_EQ(recorder->calls, (Calls{"will isEmpty", "will count", "will", "insert z at 0", "did", "did count", "did isEmpty"}));
}

TEST_F(SortedListTest, BatchesOfSeveralCallsStayExact) {
    // two deletions reported in ascending order, with an insert between them
    auto before = sorted->allObjects();
    source->beginUpdates();
    source->removeObjectAtIndex(0);  // c
    source->insertObject(card(0, "n"), 1);
    source->removeObjectAtIndex(0);  // a
    source->endUpdates();
    EXPECT_EQ(tags(*sorted), "nAb");
    ASSERT_EQ(recorder->batches.size(), 1u);
    EXPECT_TRUE(zidtest::sameItems(zidtest::replayBatch(before, recorder->batches[0]), sorted->allObjects()));
    EXPECT_EQ(sorted->indexOfObject(source->objectAtIndex(0)), 0);  // n
    EXPECT_EQ(sorted->indexOfObject(card(9, "x")), NotFound);
}

TEST_F(SortedListTest, ANewComparatorOrSourceSortsAgainInOneBatch) {
    auto before = sorted->allObjects();
    sorted->setComparator([](const rt::Value& a, const rt::Value& b) { return -byRank(a, b); });
    EXPECT_EQ(tags(*sorted), "cbaA");
    ASSERT_EQ(recorder->batches.size(), 1u);
    EXPECT_TRUE(zidtest::sameItems(zidtest::replayBatch(before, recorder->batches[0]), sorted->allObjects()));

    recorder->clear();
    sorted->setSourceList(MutableArrayList::listWithArray({card(1, "p")}));
    EXPECT_EQ(tags(*sorted), "p");
    EXPECT_EQ(recorder->calls,
              (Calls{"will", "delete c from 0", "delete b from 1", "delete a from 2", "delete A from 3", "insert p at 0", "did"}));
    recorder->clear();
    source->addObject(card(7, "q"));  // the old source is no longer followed
    EXPECT_TRUE(recorder->calls.empty());
}

TEST(SortedListFollowingTest, AViewMadeInsideASourceBatchStartsFromTheContentsWhenItCloses) {
    auto source = MutableArrayList::listWithArray({card(3, "c"), card(1, "a"), card(2, "b")});
    source->beginUpdates();
    source->removeObjectAtIndex(0);  // c
    auto sorted = SortedList::listWithSource(source, byRank);
    auto filtered = FilteredList::listWithSource(source, [](const rt::Value& v) { return rankOf(v) != 2; });
    EXPECT_TRUE(source->isChangingContent());
    EXPECT_EQ(tags(*sorted), "ab");  // the contents of the moment
    auto sortedRecorder = rt::make<ListRecorder>(), filteredRecorder = rt::make<ListRecorder>();
    addListener(*sorted, sortedRecorder);
    addListener(*filtered, filteredRecorder);
    auto sortedBefore = sorted->allObjects(), filteredBefore = filtered->allObjects();
    source->insertObject(card(0, "z"), 0);  // z a b
    source->addObject(card(5, "y"));         // z a b y
    source->objectAtIndex(1).as<Card>()->rank = 4;
    source->objectDidChangeAtIndex(1);  // a now sorts after b
    source->endUpdates();
    EXPECT_EQ(tags(*sorted), "zbay");
    EXPECT_EQ(tags(*filtered), "zay");
    for (auto [list, recorder, before] : {std::tuple{static_cast<IList*>(sorted.get()), sortedRecorder.get(), &sortedBefore},
                                          std::tuple{static_cast<IList*>(filtered.get()), filteredRecorder.get(), &filteredBefore}}) {
        ASSERT_EQ(recorder->batches.size(), 1u);
        EXPECT_EQ(recorder->openBatches, 0);
        EXPECT_TRUE(zidtest::sameItems(zidtest::replayBatch(*before, recorder->batches[0]), list->allObjects()));
    }
    // and from then on the batches are followed as usual
    sortedRecorder->clear();
    source->insertObject(card(2, "x"), 0);
    EXPECT_EQ(tags(*sorted), "zbxay");
    EXPECT_EQ(sortedRecorder->calls, (Calls{"will", "insert x at 2", "did"}));
}

}  // namespace

namespace {

// The work of a one-item batch does not grow with the list: the sorted list compares
// only along one search path, the filtered list asks the filter about that item only.
TEST(DerivedListCostTest, AOneItemBatchTouchesOnlyOneSearchPath) {
    constexpr int kItems = 100000;
    rt::Value::Array numbers;
    for (int i = 0; i < kItems; ++i) numbers.push_back(rt::Value((i * 7919) % kItems));
    auto source = zid::MutableArrayList::listWithArray(numbers);
    int comparisons = 0, filterCalls = 0;
    auto sorted = zid::SortedList::listWithSource(source, [&](const rt::Value& a, const rt::Value& b) {
        ++comparisons;
        return a.intValue() < b.intValue() ? -1 : (a.intValue() > b.intValue() ? 1 : 0);
    });
    auto filtered = zid::FilteredList::listWithSource(source, [&](const rt::Value& v) {
        ++filterCalls;
        return v.intValue() % 2 == 0;
    });
    comparisons = filterCalls = 0;
    source->insertObject(rt::Value(kItems / 2), kItems / 3);
    EXPECT_LE(comparisons, 80);  // a linear search would make tens of thousands
    EXPECT_EQ(filterCalls, 1);
    EXPECT_EQ(sorted->objectAtIndex(kItems / 2 + 1).intValue(), kItems / 2);
    comparisons = filterCalls = 0;
    source->removeObjectAtIndex(17);
    source->moveObjectAtIndex(3, kItems - 5);
    EXPECT_LE(comparisons, 4);  // the moved item is checked against its neighbours
    EXPECT_EQ(filterCalls, 1);
    EXPECT_EQ(sorted->count(), static_cast<std::uint64_t>(kItems));
    EXPECT_EQ(filtered->count(), static_cast<std::uint64_t>(kItems / 2 + 1));
}

}  // namespace
