// The JSON writer's bytes and the reader's kinds.

#include <gtest/gtest.h>

#include <cmath>

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
