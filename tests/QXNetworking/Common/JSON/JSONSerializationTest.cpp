// The JSON writer's bytes and the reader's kinds.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>

#include "Common/JSON/DictionaryKeyPath.h"
#include "Common/JSON/QXJSONSerialization.h"

using namespace zid;

namespace {

rt::Value dict(std::initializer_list<std::pair<rt::Value, rt::Value>> entries) { return rt::Value(rt::Dictionary(entries)); }

std::string written(const rt::Value& value) {
    auto text = JSONDataWithObject(value);
    EXPECT_TRUE(text.has_value());
    return text.value_or("");
}

}  // namespace

TEST(JSONWriter, WritesCompactTextInMemberOrderWithEscapedSlashesAndRawUnicode) {
    const rt::Value value = dict({{"z", "a/b"},
                                  {"a", "Größe ☃ \"q\" \\ \n\t\x01"},
                                  {"list", rt::Value::Array{rt::Value(1), rt::Value(2.5), rt::Value(true), rt::Value::null()}},
                                  {"nested", dict({{"k", rt::Value(rt::Dictionary())}, {"e", rt::Value(rt::Value::Array{})}})}});
    EXPECT_EQ(written(value),
              "{\"z\":\"a\\/b\",\"a\":\"Größe ☃ \\\"q\\\" \\\\ \\n\\t\\u0001\",\"list\":[1,2.5,true,null],"
              "\"nested\":{\"k\":{},\"e\":[]}}");
}

TEST(JSONWriter, KeepsBooleansApartFromNumbersAndWritesEachNumberKindExactly) {
    const rt::Value value = rt::Value::Array{rt::Value(rt::Number::ofBool(false)), rt::Value(rt::Number::ofInt(1)),
                                             rt::Value(rt::Number::ofDouble(0.1)), rt::Value(rt::Number::ofFloat(0.1f)),
                                             rt::Value(rt::Number::ofDouble(3.0)), rt::Value(rt::Number::ofLongLong(-9007199254740993LL)),
                                             rt::Value(rt::Number::ofULongLong(18446744073709551615ULL))};
    EXPECT_EQ(written(value), "[false,1,0.1,0.1,3,-9007199254740993,18446744073709551615]");
}

TEST(JSONWriter, RefusesValuesJSONCannotHold) {
    rt::Ref<rt::Error> error;
    EXPECT_FALSE(JSONDataWithObject(dict({{"when", rt::Value(rt::Date{1})}}), &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), QXJSONErrorDomain);
    EXPECT_FALSE(JSONDataWithObject(rt::Value::Array{rt::Value(std::nan(""))}));
    EXPECT_FALSE(JSONDataWithObject(rt::Value::Array{rt::Value(INFINITY)}));
    EXPECT_FALSE(JSONDataWithObject(rt::Value(rt::Dictionary({{rt::Value(1), rt::Value(2)}}))));  // a key that is no text
    EXPECT_FALSE(JSONDataWithObject(rt::Value("top-level text")));
    EXPECT_FALSE(JSONDataWithObject(rt::Value::Array{rt::Value()}));  // nil inside
    // Text that is not UTF-8 would make the output something no reader accepts.
    EXPECT_FALSE(JSONDataWithObject(rt::Value::Array{rt::Value("caf\xE9")}));
    EXPECT_FALSE(JSONDataWithObject(rt::Value::Array{rt::Value("\xED\xA0\x80")}));  // a surrogate
    EXPECT_FALSE(JSONDataWithObject(rt::Value::Array{rt::Value("\xC0\xAF")}));      // an overlong "/"
    EXPECT_FALSE(JSONDataWithObject(rt::Value::Array{rt::Value("\xE2\x98")}));      // cut short
    EXPECT_FALSE(JSONDataWithObject(rt::Value(rt::Dictionary({{rt::Value("\xFF"), rt::Value(1)}}))));
    EXPECT_TRUE(JSONDataWithObject(rt::Value::Array{rt::Value("\xF0\x9F\x8E\xA5")}));  // outside the BMP
}

TEST(JSONLimits, NestingBeyondTheLimitIsRefusedBothWays) {
    rt::Value deep = rt::Value::Array{};
    for (int i = 0; i < 600; ++i) deep = rt::Value::Array{deep};
    EXPECT_FALSE(JSONDataWithObject(deep));
    const std::string text = std::string(100000, '[') + std::string(100000, ']');
    rt::Ref<rt::Error> error;
    EXPECT_FALSE(JSONObjectWithData(text, false, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->localizedDescription(), "The JSON text is nested too deeply.");
    EXPECT_TRUE(JSONObjectWithData(std::string(100, '[') + std::string(100, ']')));
}

TEST(JSONReader, KeepsBooleansIntegersFloatsAndNullApart) {
    const auto value = JSONObjectWithData(R"({"t":true,"f":false,"i":1,"d":1.0,"n":null,"big":18446744073709551615,"s":"\u00e9\/"})");
    ASSERT_TRUE(value && value->isDictionary());
    const auto& d = value->dictionary();
    EXPECT_EQ(d.get(rt::Value("t")).numberValue().kind(), rt::Number::Kind::Bool);
    EXPECT_EQ(d.get(rt::Value("f")).numberValue().kind(), rt::Number::Kind::Bool);
    EXPECT_EQ(d.get(rt::Value("i")).numberValue().kind(), rt::Number::Kind::LongLong);
    EXPECT_EQ(d.get(rt::Value("d")).numberValue().kind(), rt::Number::Kind::Double);
    EXPECT_TRUE(d.get(rt::Value("n")).isNull());
    EXPECT_EQ(d.get(rt::Value("big")).numberValue().unsignedLongLongValue(), 18446744073709551615ULL);
    EXPECT_EQ(d.get(rt::Value("s")).string(), "é/");
    // Member order survives, so a read and a write give back the same bytes.
    EXPECT_EQ(written(*JSONObjectWithData(R"({"b":1,"a":[true,0]})")), R"({"b":1,"a":[true,0]})");
}

TEST(JSONReader, RefusesBrokenTextAndFragmentsUnlessAllowed) {
    rt::Ref<rt::Error> error;
    EXPECT_FALSE(JSONObjectWithData("{\"a\":", false, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), static_cast<long long>(QXJSONError::InvalidText));
    EXPECT_FALSE(JSONObjectWithData("\"text\""));
    EXPECT_FALSE(JSONObjectWithData(""));
    const auto fragment = JSONObjectWithData("42", true);
    ASSERT_TRUE(fragment);
    EXPECT_EQ(fragment->longLongValue(), 42);
}

TEST(DictionaryKeyPath, WritesIntoNestedDictionariesOnlyWhenTheyExist) {
    rt::Dictionary d{{rt::Value("parent"), rt::Value(rt::Dictionary())}};
    EXPECT_TRUE(setValueForKeyPath(d, "parent.id", rt::Value(5)));
    EXPECT_EQ(valueForKeyPath(d, "parent.id").longLongValue(), 5);
    EXPECT_FALSE(setValueForKeyPath(d, "missing.id", rt::Value(5)));
    EXPECT_FALSE(d.contains(rt::Value("missing")));
    EXPECT_TRUE(setValueForKeyPath(d, "parent.id", rt::Value()));  // nil removes
    EXPECT_TRUE(valueForKeyPath(d, "parent").dictionary().empty());
}

TEST(JSONLimits, DeepTextBesideAnotherMemberIsRefusedWithoutExhaustingTheStack) {
    // A second member makes the parser move the first, which copies everything nested
    // inside it, one stack frame a level.
    const std::string text = "{\"a\":" + std::string(1000000, '[') + std::string(1000000, ']') + ",\"b\":2}";
    rt::Ref<rt::Error> error;
    EXPECT_FALSE(JSONObjectWithData(text, false, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->localizedDescription(), "The JSON text is nested too deeply.");
    // The top level and 512 levels below it are read.
    EXPECT_TRUE(JSONObjectWithData(std::string(513, '[') + std::string(513, ']')));
    EXPECT_FALSE(JSONObjectWithData(std::string(514, '[') + std::string(514, ']')));
}

TEST(JSONReader, ALargeObjectOfManyKeysReadsInTimeInProportionToItsText) {
    // 2 MiB of one object: about 150,000 members, each key new but for every tenth,
    // which repeats the one before it (first place kept, last value taken). A reader that
    // looks for each key among all before it takes minutes here.
    constexpr int kMembers = 150000;
    std::string text = "{";
    for (int i = 0; i < kMembers; ++i) {
        const int key = i % 10 == 9 ? i - 1 : i;
        text += (i ? ",\"" : "\"") + std::string("member-") + std::to_string(key) + "\":" + std::to_string(i);
    }
    text += "}";
    ASSERT_GT(text.size(), 2u << 20);
    const auto start = std::chrono::steady_clock::now();
    const auto value = JSONObjectWithData(text);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(value && value->isDictionary());
    // Generous for a loaded machine and the sanitizers; the quadratic reader took minutes.
    EXPECT_LT(seconds, 10.0);
    const auto& entries = value->dictionary().entries();
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(kMembers - kMembers / 10));
    EXPECT_EQ(entries[0].first.string(), "member-0");
    // member-8 came at 8 and again at 9: its first place, the value of 9.
    EXPECT_EQ(entries[8].first.string(), "member-8");
    EXPECT_EQ(entries[8].second.longLongValue(), 9);
    EXPECT_EQ(entries[9].first.string(), "member-10");
    EXPECT_EQ(value->dictionary().get(rt::Value("member-149998")).longLongValue(), 149999);
}

TEST(JSONReader, ARepeatedKeyKeepsItsFirstPlaceAndTakesTheLastValueInObjectsOfAnySize) {
    // Small objects look keys up one by one, larger ones through an index: both the same.
    EXPECT_EQ(written(*JSONObjectWithData(R"({"a":1,"b":{"x":[1]},"a":2,"b":{"y":null}})")),
              R"({"a":2,"b":{"y":null}})");
    std::string text = "{";
    for (int i = 0; i < 40; ++i) text += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
    text += "\"k3\":\"again\",\"k39\":true}";
    const auto value = JSONObjectWithData(text);
    ASSERT_TRUE(value);
    const auto& entries = value->dictionary().entries();
    ASSERT_EQ(entries.size(), 40u);
    EXPECT_EQ(entries[3].first.string(), "k3");
    EXPECT_EQ(entries[3].second.string(), "again");
    EXPECT_EQ(entries[39].second.numberValue().kind(), rt::Number::Kind::Bool);
    // Keys inside nested objects and arrays are each object's own.
    EXPECT_EQ(written(*JSONObjectWithData(R"([{"a":1},{"a":2,"a":3},[{"a":4}]])")), R"([{"a":1},{"a":3},[{"a":4}]])");
}
