// What every list following a source shares: calls of other lists are ignored, and a
// source that breaks the change contract leaves its views showing its contents.

#include <gtest/gtest.h>

#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Lists/ArrayList.h>
#include <QXFoundation/Lists/FilteredList.h>
#include <QXFoundation/Lists/MappedList.h>
#include <QXFoundation/Lists/SortedList.h>

#include "ListTestSupport.h"

namespace {

using namespace zid;
using zidtest::ListRecorder;

// A list whose reports are written by the test, right or wrong.
class HandList : public IList {
    RT_CLASS(HandList, IList)
public:
    explicit HandList(rt::Value::Array items) : items(std::move(items)) {}
    std::uint64_t count() const override { return items.size(); }
    rt::Value objectAtIndex(std::uint64_t index) const override { return items.at(index); }
    bool containsObject(const rt::Value& object) const override { return indexOfObject(object) != NotFound; }
    std::int64_t indexOfObject(const rt::Value& object) const override {
        for (std::size_t i = 0; i < items.size(); ++i)
            if (items[i].isEqual(object)) return static_cast<std::int64_t>(i);
        return NotFound;
    }
    template <class F> void report(F&& calls) {
        notifyListeners<IListListener>(*this, [&](IListListener& l) { l.listWillChangeContent(*this); });
        notifyListeners<IListListener>(*this, [&](IListListener& l) { calls(l); });
        notifyListeners<IListListener>(*this, [&](IListListener& l) { l.listDidChangeContent(*this); });
    }
    rt::Value::Array items;
};

int ascending(const rt::Value& a, const rt::Value& b) { return a.intValue() < b.intValue() ? -1 : (a.intValue() > b.intValue() ? 1 : 0); }

TEST(DerivedListTest, ASourceBreakingTheContractLeavesItsViewsShowingItsContents) {
    auto source = rt::make<HandList>(rt::Value::Array{3, 1, 2});
    auto filtered = FilteredList::listWithSource(source, [](const rt::Value& v) { return v.intValue() != 2; });
    auto sorted = SortedList::listWithSource(source, ascending);
    // a deletion past the end, an insert where the count does not allow it
    source->items = {5, 3};
    source->report([&](IListListener& l) {
        l.listDidDeleteItem(*source, 1, 7);
        l.listDidInsertItem(*source, 5, 0);
    });
    EXPECT_EQ(filtered->allObjects(), (rt::Value::Array{5, 3}));
    EXPECT_EQ(sorted->allObjects(), (rt::Value::Array{3, 5}));
    // two deletions of one position
    source->items = {3};
    source->report([&](IListListener& l) {
        l.listDidDeleteItem(*source, 5, 0);
        l.listDidDeleteItem(*source, 5, 0);
    });
    EXPECT_EQ(filtered->allObjects(), (rt::Value::Array{3}));
    EXPECT_EQ(sorted->allObjects(), (rt::Value::Array{3}));
    // and a right report is followed again
    source->items = {3, 0};
    source->report([&](IListListener& l) { l.listDidInsertItem(*source, 0, 1); });
    EXPECT_EQ(sorted->allObjects(), (rt::Value::Array{0, 3}));
    EXPECT_EQ(filtered->allObjects(), (rt::Value::Array{3, 0}));
}

// The same batches checked on a short list (a mark per position) and, shifted to the end
// of a long one, on sorted indexes: both ways agree on what fits the contract.
TEST(DerivedListTest, ABatchFitsTheContractOnShortAndLongSources) {
    using Batch = DerivedList::SourceBatch;
    struct Case {
        Batch batch;
        bool fits;
    };
    auto shifted = [](Batch b, std::uint64_t by) {
        for (auto& c : b.deletions) c.index += by;
        for (auto& c : b.inserts) c.index += by;
        for (auto& c : b.changes) c.index += by;
        for (auto& m : b.moves) m.from += by, m.to += by;
        return b;
    };
    std::vector<Case> cases{
        {Batch{{{1, {}}}, {{0, {}}}, {{2, {}}}, {{0, 2, {}}}}, true},   // delete 1, insert 0, change 2, move 0 to 2
        {Batch{{{1, {}}, {1, {}}}, {}, {}, {}}, false},                 // one position deleted twice
        {Batch{{{1, {}}}, {}, {}, {{1, 0, {}}}}, false},                // a deleted position moved
        {Batch{{}, {{1, {}}}, {}, {{0, 1, {}}}}, false},                // a new position filled twice
        {Batch{{{1, {}}}, {{0, {}}}, {{1, {}}}, {}}, false},            // a deleted position changed
        {Batch{{}, {}, {{3, {}}}, {{3, 0, {}}}}, true},                 // a moved position changed
        {Batch{{}, {{5, {}}}, {}, {}}, false},                          // an insert past the end
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        auto inserted = c.batch.inserts.size(), deleted = c.batch.deletions.size();
        EXPECT_EQ(c.batch.fits(4, 4 + inserted - deleted), c.fits) << "short, case " << i;
        const std::uint64_t longCount = 1000000;
        EXPECT_EQ(shifted(c.batch, longCount - 4).fits(longCount, longCount + inserted - deleted), c.fits) << "long, case " << i;
    }
    EXPECT_FALSE(Batch{}.fits(3, 4));  // the counts disagree with the calls
}

TEST(DerivedListTest, CallsOfOtherListsAndCallsOutsideABatchAreIgnored) {
    auto source = MutableArrayList::listWithArray({2, 1});
    auto other = MutableArrayList::listWithArray({9});
    auto sorted = SortedList::listWithSource(source, ascending);
    auto filtered = FilteredList::listWithSource(source, [](const rt::Value&) { return true; });
    auto recorder = rt::make<ListRecorder>();
    addListener(*sorted, recorder);
    // the views listen to their source only, but someone may hand them other calls
    sorted->listWillChangeContent(*other);
    sorted->listDidInsertItem(*other, 9, 0);
    sorted->listDidChangeContent(*other);
    sorted->listDidInsertItem(*source, 7, 0);  // no batch open: dropped
    filtered->listDidDeleteItem(*source, 2, 0);
    EXPECT_TRUE(recorder->calls.empty());
    EXPECT_EQ(sorted->allObjects(), (rt::Value::Array{1, 2}));
    EXPECT_EQ(filtered->allObjects(), (rt::Value::Array{2, 1}));
    EXPECT_FALSE(sorted->isChangingContent());
    source->beginUpdates();
    source->addObject(0);
    EXPECT_TRUE(sorted->isChangingContent());  // its batch opens with the source's
    source->endUpdates();
    EXPECT_EQ(sorted->allObjects(), (rt::Value::Array{0, 1, 2}));
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"will", "insert 0 at 0", "did"}));
}

}  // namespace
