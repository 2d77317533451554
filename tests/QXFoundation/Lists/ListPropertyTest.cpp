// Random batches of mutations: every reported batch obeys the list change contract and,
// replayed on the contents before it, gives the contents after it.

#include <gtest/gtest.h>

#include <random>

#include <QXFoundation/Lists/ArrayList.h>
#include <QXFoundation/Lists/FilteredList.h>
#include <QXFoundation/Lists/MappedList.h>
#include "Lists/MergedList.h"
#include <QXFoundation/Lists/SortedList.h>
#include <QXFoundation/Listening/IListenable.h>

#include "ListTestSupport.h"

namespace listpropertytest {

using namespace zid;
using zidtest::ListRecorder;

class Item : public rt::Object {
    RT_CLASS(Item, rt::Object)
public:
    explicit Item(int id) : id(id), value(id % 4) {}
    int id;
    int value;  // what filters and comparators read; changes keep the item's identity
    std::string description() const override { return "item" + std::to_string(id) + "=" + std::to_string(value); }
};

// Applies one random mutation; the pool has few items so duplicates are common.
std::string mutate(MutableArrayList& list, std::mt19937& rng, const std::vector<rt::Value>& pool) {
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    std::size_t n = list.count();
    switch (n == 0 ? pick(2) : pick(8)) {
        case 0: {
            auto item = pool[pick(pool.size())];
            list.addObject(item);
            return "add " + item.description();
        }
        case 1: {
            auto item = pool[pick(pool.size())];
            auto at = pick(n + 1);
            list.insertObject(item, at);
            return "insert " + item.description() + " at " + std::to_string(at);
        }
        case 2: {
            auto at = pick(n);
            list.removeObjectAtIndex(at);
            return "remove at " + std::to_string(at);
        }
        case 3: {
            auto from = pick(n), to = pick(n);
            list.moveObjectAtIndex(from, to);
            return "move " + std::to_string(from) + " to " + std::to_string(to);
        }
        case 4: {
            auto at = pick(n);
            auto item = pool[pick(pool.size())];
            list.replaceObjectAtIndex(at, item);
            return "replace at " + std::to_string(at) + " with " + item.description();
        }
        case 5: {
            auto at = pick(n);
            list.objectDidChangeAtIndex(at);
            return "change at " + std::to_string(at);
        }
        case 6: {
            // The item changes in place and announces it: the list reports it changed
            // at every position that holds it.
            auto item = pool[pick(pool.size())];
            auto object = item.as<Item>();
            object->value = static_cast<int>(pick(4));
            didChange(*object);
            return "set " + item.description();
        }
        default: {
            auto item = pool[pick(pool.size())];
            list.removeObject(item);
            return "remove " + item.description();
        }
    }
}

TEST(ListPropertyTest, RandomBatchesReplayExactlyOnTheArrayList) {
    std::mt19937 rng(20261207);
    std::vector<rt::Value> pool;
    for (int i = 0; i < 6; ++i) pool.push_back(rt::make<Item>(i));
    for (int round = 0; round < 3000; ++round) {
        auto list = rt::make<MutableArrayList>();
        int initial = std::uniform_int_distribution<int>(0, 8)(rng);
        for (int i = 0; i < initial; ++i) list->addObject(pool[rng() % pool.size()]);
        auto recorder = rt::make<ListRecorder>();
        addListener(*list, recorder);
        rt::Value::Array before = list->allObjects();
        int steps = std::uniform_int_distribution<int>(1, 8)(rng);
        std::vector<std::string> ops;
        list->beginUpdates();
        for (int s = 0; s < steps; ++s) ops.push_back(mutate(*list, rng, pool));
        list->endUpdates();
        ASSERT_EQ(recorder->batches.size(), 1u);
        auto replayed = zidtest::replayBatch(before, recorder->batches[0]);
        EXPECT_TRUE(zidtest::sameItems(replayed, list->allObjects()))
            << "round " << round << ":\n" << testing::PrintToString(recorder->calls);
        if (HasFailure()) {
            ADD_FAILURE() << "before: " << rt::Value(before).description() << "\nops: " << testing::PrintToString(ops)
                          << "\nreported: " << testing::PrintToString(recorder->calls);
            return;
        }
    }
}

int valueOf(const rt::Value& item) { return item.as<Item>()->value; }

// A derived list under test: its contents before the batch and what it reported.
struct Watched {
    std::string name;
    rt::Ref<IList> list;
    rt::Ref<ListRecorder> recorder = rt::make<ListRecorder>();
    rt::Value::Array before;
};

rt::Value::Array filtered(const rt::Value::Array& items) {
    rt::Value::Array out;
    for (const auto& item : items)
        if (valueOf(item) % 2 == 0) out.push_back(item);
    return out;
}

// The same items, in an order the comparator accepts.
void expectSortedPermutation(const rt::Value::Array& shown, const rt::Value::Array& source, const std::string& name) {
    ASSERT_EQ(shown.size(), source.size()) << name;
    std::vector<const void*> a, b;
    for (const auto& item : shown) a.push_back(item.object().get());
    for (const auto& item : source) b.push_back(item.object().get());
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b) << name << " does not show the source's items";
    for (std::size_t i = 1; i < shown.size(); ++i)
        EXPECT_LE(valueOf(shown[i - 1]), valueOf(shown[i])) << name << " out of order at " << i;
}

TEST(ListPropertyTest, RandomBatchesReplayExactlyOnEveryDerivedList) {
    std::mt19937 rng(7121);
    std::vector<rt::Value> pool;
    for (int i = 0; i < 7; ++i) pool.push_back(rt::make<Item>(i));
    auto passes = [](const rt::Value& item) { return valueOf(item) % 2 == 0; };
    auto byValue = [](const rt::Value& a, const rt::Value& b) {
        int x = valueOf(a), y = valueOf(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    };
    for (int round = 0; round < 700; ++round) {
        for (auto& item : pool) item.as<Item>()->value = static_cast<int>(rng() % 4);
        auto list = rt::make<MutableArrayList>();
        auto other = rt::make<MutableArrayList>();
        int initial = std::uniform_int_distribution<int>(0, 9)(rng);
        for (int i = 0; i < initial; ++i) list->addObject(pool[rng() % pool.size()]);
        for (int i = 0, n = static_cast<int>(rng() % 3); i < n; ++i) other->addObject(pool[rng() % pool.size()]);

        auto filteredList = FilteredList::listWithSource(list, passes);
        auto sortedList = SortedList::listWithSource(list, byValue);
        auto mappedList = MappedList::listWithSource(list, [](const rt::Value& item) {
            return rt::Value(item.as<Item>()->id * 10);
        });
        auto mergedList = MergedList::listWithLists({list, other, list});
        auto filteredSorted = FilteredList::listWithSource(sortedList, passes);
        auto sortedFiltered = SortedList::listWithSource(filteredList, byValue);
        std::vector<Watched> watched{{"array", list},
                                     {"filtered", filteredList},
                                     {"sorted", sortedList},
                                     {"mapped", mappedList},
                                     {"merged", mergedList},
                                     {"filtered(sorted)", filteredSorted},
                                     {"sorted(filtered)", sortedFiltered}};
        for (auto& w : watched) {
            addListener(*w.list, w.recorder);
            w.before = w.list->allObjects();
        }

        std::vector<std::string> ops;
        int steps = std::uniform_int_distribution<int>(1, 8)(rng);
        list->beginUpdates();
        for (int s = 0; s < steps; ++s) {
            if (rng() % 6 == 0) ops.push_back("other: " + mutate(*other, rng, pool));  // overlaps in the merged list
            else ops.push_back(mutate(*list, rng, pool));
        }
        list->endUpdates();

        auto items = list->allObjects();
        rt::Value::Array mergedItems = items;
        auto otherItems = other->allObjects();
        mergedItems.insert(mergedItems.end(), otherItems.begin(), otherItems.end());
        mergedItems.insert(mergedItems.end(), items.begin(), items.end());
        rt::Value::Array mappedItems;
        for (const auto& item : items) mappedItems.push_back(rt::Value(item.as<Item>()->id * 10));

        EXPECT_TRUE(zidtest::sameItems(filteredList->allObjects(), filtered(items)));
        EXPECT_TRUE(zidtest::sameItems(mappedList->allObjects(), mappedItems));
        EXPECT_TRUE(zidtest::sameItems(mergedList->allObjects(), mergedItems));
        expectSortedPermutation(sortedList->allObjects(), items, "sorted");
        EXPECT_TRUE(zidtest::sameItems(filteredSorted->allObjects(), filtered(sortedList->allObjects())));
        expectSortedPermutation(sortedFiltered->allObjects(), filteredList->allObjects(), "sorted(filtered)");
        // moves in the source leave a sorted list as it was, equal items included
        if (std::all_of(ops.begin(), ops.end(), [](const auto& op) { return op.rfind("move ", 0) == 0; })) {
            EXPECT_TRUE(zidtest::sameItems(sortedList->allObjects(), watched[2].before)) << "sorted list reordered by moves";
        }
        for (auto& w : watched) {
            // the merged list makes one batch of overlapping ones; the others one each
            ASSERT_EQ(w.recorder->batches.size(), 1u) << w.name;
            EXPECT_EQ(w.recorder->openBatches, 0) << w.name;
            auto replayed = zidtest::replayBatch(w.before, w.recorder->batches[0]);
            EXPECT_TRUE(zidtest::sameItems(replayed, w.list->allObjects())) << w.name << " does not replay";
        }
        if (HasFailure()) {
            std::string report;
            for (auto& w : watched)
                report += w.name + " before " + rt::Value(w.before).description() + " after " +
                          rt::Value(w.list->allObjects()).description() + "\n  " + testing::PrintToString(w.recorder->calls) + "\n";
            ADD_FAILURE() << "round " << round << "\nops: " << testing::PrintToString(ops) << "\n" << report;
            return;
        }
    }
}


// Long batches on longer lists: deep trees, many parked items, runs split many times.
TEST(ListPropertyTest, LongBatchesOnLongerListsReplayExactlyOnTheViews) {
    std::mt19937 rng(90210);
    std::vector<rt::Value> pool;
    for (int i = 0; i < 400; ++i) pool.push_back(rt::make<Item>(i));
    auto passes = [](const rt::Value& item) { return valueOf(item) % 2 == 0; };
    auto byValue = [](const rt::Value& a, const rt::Value& b) {
        int x = valueOf(a), y = valueOf(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    };
    for (int round = 0; round < 6; ++round) {
        auto list = rt::make<MutableArrayList>();
        for (int i = 0; i < 1500; ++i) list->addObject(pool[rng() % pool.size()]);
        std::vector<Watched> watched{{"array", list},
                                     {"filtered", FilteredList::listWithSource(list, passes)},
                                     {"sorted", SortedList::listWithSource(list, byValue)},
                                     {"mapped", MappedList::listWithSource(list, [](const rt::Value& v) { return v; })}};
        for (auto& w : watched) {
            addListener(*w.list, w.recorder);
            w.before = w.list->allObjects();
        }
        list->beginUpdates();
        for (int s = 0; s < 600; ++s) mutate(*list, rng, pool);
        list->endUpdates();
        auto items = list->allObjects();
        EXPECT_TRUE(zidtest::sameItems(watched[1].list->allObjects(), filtered(items)));
        expectSortedPermutation(watched[2].list->allObjects(), items, "sorted");
        for (auto& w : watched) {
            ASSERT_EQ(w.recorder->batches.size(), 1u) << w.name;
            EXPECT_TRUE(zidtest::sameItems(zidtest::replayBatch(w.before, w.recorder->batches[0]), w.list->allObjects()))
                << w.name << " does not replay in round " << round;
        }
        if (HasFailure()) return;
    }
}

}  // namespace listpropertytest
