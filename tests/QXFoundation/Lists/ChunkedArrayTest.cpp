#include <gtest/gtest.h>

#include <random>

#include <QXFoundation/Lists/ChunkedArray.h>

namespace {

// Enough random inserts and removals to split chunks and empty them again, checked
// against a plain vector after every step that crosses a chunk boundary.
TEST(ChunkedArrayTest, AgreesWithAVectorThroughSplitsAndEmptiedChunks) {
    std::mt19937 rng(5);
    zid::ChunkedArray array;
    rt::Value::Array model;
    auto check = [&] {
        ASSERT_EQ(array.size(), model.size());
        for (std::size_t i = 0; i < model.size(); ++i) ASSERT_EQ(array[i], model[i]) << i;
        ASSERT_EQ(array.toArray(), model);
    };
    for (int step = 0; step < 6000; ++step) {
        // grow for a while, then shrink to nothing, then grow again
        bool grow = model.empty() || (step / 1500) % 2 == 0 ? rng() % 4 != 0 : rng() % 4 == 0;
        if (grow) {
            auto at = rng() % (model.size() + 1);
            array.insert(at, rt::Value(step));
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), rt::Value(step));
        } else {
            auto at = rng() % model.size();
            array.erase(at);
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
        }
        if (step % 97 == 0) check();
    }
    check();
    array[0] = rt::Value("first");
    model[0] = rt::Value("first");
    std::size_t visited = 0;
    array.forEach([&](std::size_t i, const rt::Value& v) {
        EXPECT_EQ(v, model[i]);
        ++visited;
    });
    EXPECT_EQ(visited, model.size());
    array.assign(model);
    check();
    array.clear();
    EXPECT_TRUE(array.empty());
    array.push_back(rt::Value(1));
    EXPECT_EQ(array.toArray(), rt::Value::Array{rt::Value(1)});
}

}  // namespace
