#include <gtest/gtest.h>

#include <random>
#include <unordered_map>
#include <vector>

#include <QXFoundation/Lists/TrackedItems.h>

namespace {

using zid::TrackedItems;

// Random inserts and removals against a plain map: keys spaced like objects on the heap,
// many sharing a home slot, so removals shift runs of entries back (across the table's
// end too) and every key is still found, or not, afterwards.
TEST(TrackedItemsTest, AgreesWithAMapThroughInsertsAndRemovals) {
    std::mt19937 rng(5);
    alignas(64) static char arena[4096 * 64];
    auto keyOf = [&](std::size_t i) { return static_cast<const void*>(arena + 64 * i); };
    for (int round = 0; round < 20; ++round) {
        TrackedItems items;
        std::unordered_map<const void*, std::size_t> model;
        const std::size_t keys = 8 + rng() % 4000;
        for (int step = 0; step < 6000; ++step) {
            const void* key = keyOf(rng() % keys);
            if (rng() % 3 != 0) {
                ++items[key].occurrences;
                ++model[key];
            } else if (auto* entry = items.find(key)) {
                ASSERT_EQ(model.count(key), 1u);
                items.erase(*entry);
                model.erase(key);
            } else {
                ASSERT_EQ(model.count(key), 0u);
            }
            ASSERT_EQ(items.size(), model.size());
        }
        for (std::size_t i = 0; i < keys; ++i) {
            auto* entry = items.find(keyOf(i));
            auto it = model.find(keyOf(i));
            ASSERT_EQ(entry != nullptr, it != model.end()) << "round " << round << " key " << i;
            if (entry) {
                EXPECT_EQ(entry->key, keyOf(i));
                EXPECT_EQ(entry->occurrences, it->second);
            }
        }
        items.clear();
        EXPECT_TRUE(items.empty());
        EXPECT_EQ(items.find(keyOf(0)), nullptr);
    }
}

}  // namespace
