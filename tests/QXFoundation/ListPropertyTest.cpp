// Random batches of mutations: every reported batch obeys the list change contract and,
// replayed on the contents before it, gives the contents after it.

#include <gtest/gtest.h>

#include <random>

#include <QXFoundation/Lists/ArrayList.h>

#include "ListTestSupport.h"

namespace {

using namespace zid;
using zidtest::ListRecorder;

class Item : public rt::Object {
    RT_CLASS(Item, rt::Object)
public:
    explicit Item(int id) : id(id) {}
    int id;
    std::string description() const override { return "item" + std::to_string(id); }
};

// Applies one random mutation; the pool has few items so duplicates are common.
std::string mutate(MutableArrayList& list, std::mt19937& rng, const std::vector<rt::Value>& pool) {
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    std::size_t n = list.count();
    switch (pick(n == 0 ? 2 : 7)) {
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
    for (int round = 0; round < 20000; ++round) {
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

}  // namespace
