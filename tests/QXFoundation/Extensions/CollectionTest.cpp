#include <gtest/gtest.h>

#include <string>

#include "Extensions/CollectionOperations.h"
#include <rt/Exception.h>

namespace {

using zid::Array;
using rt::Value;

Array ints(std::initializer_list<int> values) {
    Array out;
    for (int v : values) out.push_back(Value(v));
    return out;
}

bool isEven(const Value& v) { return v.intValue() % 2 == 0; }

template <class F> std::string reasonOf(F&& f) {
    try {
        f();
    } catch (const rt::Exception& e) {
        return e.reason();
    }
    return "(nothing raised)";
}

TEST(CollectionTest, EmptyCollectionsAnswerNoForAllAndAny) {
    EXPECT_FALSE(zid::all(Array{}, [](const Value&) { return true; }));
    EXPECT_FALSE(zid::any(Array{}, [](const Value&) { return true; }));
    EXPECT_FALSE(zid::all(zid::ValueSet{}, [](const Value&) { return true; }));
    EXPECT_FALSE(zid::any(zid::ValueSet{}, [](const Value&) { return true; }));
    EXPECT_TRUE(zid::all(ints({2, 4}), isEven));
    EXPECT_FALSE(zid::all(ints({2, 3}), isEven));
    EXPECT_TRUE(zid::any(ints({1, 2}), isEven));
}

TEST(CollectionTest, CountsCompareAsUnsigned) {
    auto three = ints({1, 2, 3});
    EXPECT_EQ(zid::take(three, 10), three);
    EXPECT_TRUE(zid::drop(three, 10).empty());
    EXPECT_EQ(zid::take(three, -1), three);
    EXPECT_TRUE(zid::drop(three, -1).empty());
    EXPECT_EQ(zid::takeLast(three, 2), ints({2, 3}));
    EXPECT_EQ(zid::dropLast(three, 2), ints({1}));
    EXPECT_TRUE(zid::dropLast(three, -5).empty());
    auto split = zid::splitAt(three, 1);
    ASSERT_EQ(split.size(), 2u);
    EXPECT_EQ(split[0].array(), ints({1}));
    EXPECT_EQ(split[1].array(), ints({2, 3}));
}

TEST(CollectionTest, BackFrontAndGroupEdges) {
    EXPECT_TRUE(zid::back(ints({1})).empty());
    EXPECT_EQ(zid::back(ints({1, 2, 3})), ints({2, 3}));
    EXPECT_EQ(zid::front(ints({1, 2, 3})), ints({1, 2}));
    EXPECT_EQ(reasonOf([] { zid::back(Array{}); }), "Cannot generate back of the empty array");
    EXPECT_EQ(reasonOf([] { zid::front(Array{}); }), "Cannot generate front of the empty array");

    auto groups = zid::group(ints({1, 2, 3, 4, 5}), 2);
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].array(), ints({1, 2}));
    EXPECT_EQ(groups[2].array(), ints({5}));
    EXPECT_TRUE(zid::group(Array{}, 3).empty());
    EXPECT_EQ(reasonOf([] { zid::group(ints({1}), 0); }), "Cannot group by zero or less");
    EXPECT_EQ(reasonOf([] { zid::group(ints({1}), -2); }), "Cannot group by zero or less");
}

TEST(CollectionTest, WhileOperationsStopCallingAtTheFirstNo) {
    auto five = ints({2, 4, 5, 6, 8});
    int calls = 0;
    auto counted = [&](const Value& v) {
        ++calls;
        return isEven(v);
    };
    EXPECT_EQ(zid::dropWhile(five, counted), ints({5, 6, 8}));
    EXPECT_EQ(calls, 3);
    calls = 0;
    EXPECT_EQ(zid::takeWhile(five, counted), ints({2, 4}));
    EXPECT_EQ(calls, 3);
}

TEST(CollectionTest, NumbersSumProductAndAverage) {
    Array mixed{Value(1), Value(2), Value(3.5)};
    auto s = zid::sum(mixed);
    EXPECT_EQ(s.doubleValue(), 6.5);
    EXPECT_EQ(s.number()->kind(), rt::Number::Kind::Double);
    EXPECT_EQ(zid::product(ints({2, 3})).number()->kind(), rt::Number::Kind::Double);
    EXPECT_EQ(zid::product(ints({2, 3})).doubleValue(), 6.0);
    EXPECT_EQ(zid::avg(ints({1, 2})).doubleValue(), 1.5);
    for (const auto& empty : {zid::sum(Array{}), zid::product(Array{}), zid::avg(Array{})}) {
        EXPECT_EQ(empty.number()->kind(), rt::Number::Kind::Int);
        EXPECT_EQ(empty.intValue(), 0);  // the product of nothing is 0, not 1
    }
    EXPECT_EQ(zid::sum(Array{Value("2.5"), Value(1)}).doubleValue(), 3.5);  // strings by their number
}

TEST(CollectionTest, ReduceMapFilterAndSearches) {
    auto nums = ints({1, 2, 3, 4});
    EXPECT_TRUE(zid::reduce(Array{}, [](const Value&, const Value&) { return Value(1); }, Value()).isNil());
    EXPECT_EQ(zid::reduce(ints({1, 2}), [](const Value& a, const Value& e) { return Value(a.string() + e.description()); },
                          Value(">")),
              Value(">12"));
    EXPECT_EQ(zid::map(nums, [](const Value& v) { return Value(v.intValue() * 10); }), ints({10, 20, 30, 40}));
    EXPECT_EQ(zid::filter(nums, isEven), ints({2, 4}));
    EXPECT_EQ(zid::firstMatching(nums, isEven), Value(2));
    EXPECT_EQ(zid::firstNotMatching(nums, isEven), Value(1));
    EXPECT_TRUE(zid::firstMatching(ints({1, 3}), isEven).isNil());
    EXPECT_EQ(zid::countOfMatching(nums, isEven), 2u);
    EXPECT_EQ(zid::countOfMatching(Array{}, isEven), 0u);
    auto parts = zid::partition(nums, isEven);
    EXPECT_EQ(parts[0].array(), ints({2, 4}));
    EXPECT_EQ(parts[1].array(), ints({1, 3}));
    EXPECT_EQ(zid::reverse(nums), ints({4, 3, 2, 1}));
    EXPECT_EQ(zid::sort(ints({3, 1, 2}), [](const Value& a, const Value& b) { return a.number()->compare(*b.number()); }),
              ints({1, 2, 3}));
    EXPECT_EQ(zid::arrayByDeletingObject(Array{Value(1), Value(1.0), Value(2)}, Value(1)), ints({2}));
    EXPECT_EQ(zid::arrayByInsertingObject(ints({1, 3}), Value(2), 1), ints({1, 2, 3}));
    EXPECT_EQ(zid::arrayByInsertingObject(ints({1}), Value(2), 1), ints({1, 2}));
    EXPECT_THROW(zid::arrayByInsertingObject(ints({1}), Value(2), 2), rt::Exception);
    EXPECT_THROW(zid::arrayByInsertingObject(ints({1}), Value(), 0), rt::Exception);
}

TEST(CollectionTest, ABlockYieldingNilRaisesNamingTheOperation) {
    auto nums = ints({1, 2, 3});
    auto nilForTwo = [](const Value& v) { return v.intValue() == 2 ? Value() : v; };
    EXPECT_EQ(reasonOf([&] { zid::map(nums, nilForTwo); }), "map: the block returned nil for the element at index 1");
    EXPECT_EQ(reasonOf([&] { zid::dictionaryWithKeyGenerator(nums, nilForTwo); }),
              "dictionaryWithKeyGenerator: the block returned nil for the element at index 1");
    zid::ValueSet set{Value(2)};
    EXPECT_NE(reasonOf([&] { zid::map(set, nilForTwo); }).find("map:"), std::string::npos);
    // The null placeholder is a value and is kept.
    EXPECT_EQ(zid::map(nums, [](const Value&) { return Value::null(); }).size(), 3u);
}

TEST(CollectionTest, DictionariesAndSets) {
    Array words{Value("apple"), Value("avocado"), Value("banana")};
    auto byInitial = zid::dictionaryWithKeyGenerator(words, [](const Value& w) { return Value(w.string().substr(0, 1)); });
    EXPECT_EQ(byInitial.size(), 2u);
    EXPECT_EQ(byInitial.get(Value("a")), Value("avocado"));  // the later element wins

    zid::ValueSet set{Value(1), Value(2), Value(3)};
    auto collapsed = zid::map(set, [](const Value& v) { return Value(v.intValue() % 2); });
    EXPECT_EQ(collapsed.size(), 2u);
    EXPECT_EQ(zid::filter(set, isEven), (zid::ValueSet{Value(2)}));
    EXPECT_EQ(zid::dictionaryWithKeyGenerator(set, [](const Value& v) { return Value(v.intValue() * 2); }).size(), 3u);
    // A set's nil block result is refused like an array's, named by the operation.
    auto nilForOne = [](const Value& v) { return v.intValue() == 1 ? Value() : v; };
    EXPECT_EQ(reasonOf([&] { zid::map(zid::ValueSet{Value(1)}, nilForOne); }),
              "map: the block returned nil for the element at index 0");
    EXPECT_EQ(reasonOf([&] { zid::dictionaryWithKeyGenerator(zid::ValueSet{Value(1)}, nilForOne); }),
              "dictionaryWithKeyGenerator: the block returned nil for the element at index 0");
    EXPECT_TRUE(zid::all(set, [](const Value& v) { return v.intValue() > 0; }));
    EXPECT_FALSE(zid::all(set, isEven));
    EXPECT_TRUE(zid::any(set, isEven));

    EXPECT_EQ(zid::arrayWithEnumerable(Value(words)), words);
    EXPECT_EQ(zid::arrayWithEnumerable(Value(rt::Dictionary{{Value("k"), Value(1)}})), Array{Value("k")});
    EXPECT_TRUE(zid::arrayWithEnumerable(Value()).empty());
    EXPECT_EQ(zid::arrayWithEnumerable(set).size(), 3u);
    EXPECT_EQ(zid::arrayWithEnumerableRange(std::vector<int>{4, 5}), ints({4, 5}));
}

TEST(CollectionTest, IndexKeys) {
    EXPECT_EQ(zid::indexFromKey("  -12abc"), -12);
    EXPECT_EQ(zid::indexFromKey("x1"), 0);
    auto nums = ints({1, 2, 3});
    EXPECT_EQ(zid::valueForIndexKey(nums, "2"), Value(3));
    EXPECT_THROW(zid::valueForIndexKey(nums, "3"), rt::Exception);
    EXPECT_THROW(zid::valueForIndexKey(nums, "-1"), rt::Exception);
    zid::setValueForIndexKey(nums, Value(), "0");
    EXPECT_EQ(nums, ints({2, 3}));
    zid::setValueForIndexKey(nums, Value(9), "2");  // count appends
    zid::setValueForIndexKey(nums, Value(8), "0");
    EXPECT_EQ(nums, ints({8, 3, 9}));
    EXPECT_THROW(zid::setValueForIndexKey(nums, Value(), "3"), rt::Exception);
    EXPECT_THROW(zid::setValueForIndexKey(nums, Value(1), "5"), rt::Exception);
}

TEST(CollectionTest, IndexKeysReadTheWholeSignedRangeExactly) {
    EXPECT_EQ(zid::indexFromKey("9223372036854775800"), INT64_MAX - 7);
    EXPECT_EQ(zid::indexFromKey("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(zid::indexFromKey("-9223372036854775807"), -INT64_MAX);
    EXPECT_EQ(zid::indexFromKey("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(zid::indexFromKey("922337203685477580"), 922337203685477580);
    // beyond the range: saturated, and no array reaches such a position
    EXPECT_EQ(zid::indexFromKey("9223372036854775808"), INT64_MAX);
    EXPECT_EQ(zid::indexFromKey("-99999999999999999999"), INT64_MIN);
    auto nums = ints({1, 2});
    EXPECT_THROW(zid::valueForIndexKey(nums, "18446744073709551616"), rt::Exception);
    EXPECT_THROW(zid::setValueForIndexKey(nums, Value(3), "18446744073709551617"), rt::Exception);
    EXPECT_EQ(nums, ints({1, 2}));
}

}  // namespace
