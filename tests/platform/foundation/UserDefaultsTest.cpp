// User defaults on a real temporary file.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <fnd/UserDefaults.h>
#include <rt/Exception.h>

#include "ScratchDirectory.h"

namespace {

namespace fs = std::filesystem;

class UserDefaultsTest : public ::testing::Test {
protected:
    zidtest::ScratchDirectory scratch{"zid-defaults"};
    fs::path root = scratch.path();
    fs::path file = root / "app" / "UserDefaults.json";
};

TEST_F(UserDefaultsTest, EveryPropertyListKindSurvivesARestart) {
    rt::Dictionary nested;
    nested.set("inner", rt::Value(rt::Value::Array{rt::Value(1), rt::Value("two"), rt::Value::null()}));
    // A dictionary that looks like one of the file's tagged forms must come back as itself.
    rt::Dictionary lookalike;
    lookalike.set("$data", "not bytes");

    {
        auto defaults = rt::make<fnd::UserDefaults>(file);
        EXPECT_TRUE(defaults->objectForKey("missing").isNil());
        EXPECT_TRUE(defaults->setObject("text", "string"));
        EXPECT_TRUE(defaults->setObject(-42, "int"));
        EXPECT_TRUE(defaults->setObject(18446744073709551615ull, "big"));
        EXPECT_TRUE(defaults->setObject(0.5, "double"));
        EXPECT_TRUE(defaults->setObject(true, "bool"));
        EXPECT_TRUE(defaults->setObject(rt::Data{0x00, 0xFF, 0x10}, "data"));
        EXPECT_TRUE(defaults->setObject(rt::Date{1234567.25}, "date"));
        EXPECT_TRUE(defaults->setObject(nested, "nested"));
        EXPECT_TRUE(defaults->setObject(lookalike, "lookalike"));
        EXPECT_TRUE(defaults->setObject("gone soon", "removed"));
        EXPECT_TRUE(defaults->removeObjectForKey("removed"));
    }
    auto again = rt::make<fnd::UserDefaults>(file);  // a new process reads the file
    EXPECT_EQ(again->objectForKey("string"), rt::Value("text"));
    EXPECT_EQ(again->objectForKey("int"), rt::Value(-42));
    EXPECT_EQ(again->objectForKey("big"), rt::Value(18446744073709551615ull));
    EXPECT_EQ(again->objectForKey("double"), rt::Value(0.5));
    EXPECT_TRUE(again->objectForKey("bool").isNumber());
    EXPECT_EQ(again->objectForKey("bool").numberValue().kind(), rt::Number::Kind::Bool);
    EXPECT_EQ(again->objectForKey("data"), rt::Value(rt::Data{0x00, 0xFF, 0x10}));
    EXPECT_EQ(again->objectForKey("date"), rt::Value(rt::Date{1234567.25}));
    EXPECT_EQ(again->objectForKey("nested"), rt::Value(nested));
    EXPECT_EQ(again->objectForKey("lookalike"), rt::Value(lookalike));
    EXPECT_TRUE(again->objectForKey("removed").isNil());
    EXPECT_EQ(again->dictionaryRepresentation().size(), 9u);
}

TEST_F(UserDefaultsTest, RefusesValuesThatAreNotPropertyLists) {
    auto defaults = rt::make<fnd::UserDefaults>(file);
    ASSERT_TRUE(defaults->setObject("kept", "key"));
    rt::Dictionary numericKeys;
    numericKeys.set(rt::Value(1), "one");
    EXPECT_THROW(defaults->setObject(numericKeys, "key"), rt::Exception);
    EXPECT_THROW(defaults->setObject(rt::Value(rt::make<rt::Object>()), "key"), rt::Exception);
    EXPECT_EQ(defaults->objectForKey("key"), rt::Value("kept"));
    EXPECT_FALSE(fnd::UserDefaults::isPropertyList(rt::Value(std::numeric_limits<double>::infinity())));
    EXPECT_FALSE(fnd::UserDefaults::decodePropertyList("{\"$data\": \"abc\"}"));  // odd hex
    EXPECT_FALSE(fnd::UserDefaults::decodePropertyList("not json"));
}

TEST_F(UserDefaultsTest, SynchronizeSeesOtherWritersAndReportsFailures) {
    auto a = rt::make<fnd::UserDefaults>(file);
    auto b = rt::make<fnd::UserDefaults>(file);
    ASSERT_TRUE(a->setObject("from a", "k"));
    EXPECT_EQ(b->objectForKey("k"), rt::Value("from a"));
    ASSERT_TRUE(a->setObject("changed", "k"));
    EXPECT_EQ(b->objectForKey("k"), rt::Value("from a")) << "read once, until synchronized";
    EXPECT_TRUE(b->synchronize());
    EXPECT_EQ(b->objectForKey("k"), rt::Value("changed"));

    // A write that cannot reach the file is reported and kept pending.
    auto blocked = rt::make<fnd::UserDefaults>(root / "afile" / "UserDefaults.json");
    std::ofstream(root / "afile") << "a file where a directory should be";
    EXPECT_FALSE(blocked->setObject("v", "k"));
    EXPECT_FALSE(blocked->lastError().empty());
    EXPECT_EQ(blocked->objectForKey("k"), rt::Value("v"));
    EXPECT_FALSE(blocked->synchronize());
    fs::remove(root / "afile");
    EXPECT_TRUE(blocked->synchronize()) << blocked->lastError();
    EXPECT_EQ(rt::make<fnd::UserDefaults>(root / "afile" / "UserDefaults.json")->objectForKey("k"), rt::Value("v"));
}

TEST_F(UserDefaultsTest, AnUnreadableFileIsSetAsideNotSilentlyLost) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "{ truncated";
    auto defaults = rt::make<fnd::UserDefaults>(file);
    EXPECT_TRUE(defaults->objectForKey("k").isNil());
    EXPECT_FALSE(defaults->lastError().empty());
    EXPECT_TRUE(fs::exists(file.string() + ".unreadable"));
    EXPECT_TRUE(defaults->setObject("fresh", "k"));
    EXPECT_EQ(rt::make<fnd::UserDefaults>(file)->objectForKey("k"), rt::Value("fresh"));
}

}  // namespace

namespace {

TEST(UserDefaultsDecoding, HostileNestingIsRefusedWithoutExhaustingTheStack) {
    std::string objects, arrays;
    for (int i = 0; i < 100000; ++i) objects += R"({"a":)";
    objects += "1" + std::string(100000, '}');
    arrays = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_FALSE(fnd::UserDefaults::decodePropertyList(objects));
    EXPECT_FALSE(fnd::UserDefaults::decodePropertyList(arrays));
    EXPECT_FALSE(fnd::UserDefaults::decodePropertyList(R"({"k":)" + objects + "}"));

    // Nesting that a stored value may have reads back; brackets in text are text.
    std::string ten;
    for (int i = 0; i < 10; ++i) ten += R"({"a":)";
    ten += R"("[[[[{{{{")" + std::string(10, '}');
    auto value = fnd::UserDefaults::decodePropertyList(ten);
    ASSERT_TRUE(value);
    EXPECT_TRUE(value->isDictionary());
}

}  // namespace
