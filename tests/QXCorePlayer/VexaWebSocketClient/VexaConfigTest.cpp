#include <gtest/gtest.h>

#include <thread>

#include <QXCorePlayer/VexaWebSocketClient/Model/QXVexaConfig.h>
#include "VexaWebSocketClient/Model/QXVexaApplicationInfo.h"
#include "VexaWebSocketClient/Model/QXVexaLock.h"
#include "VexaWebSocketClient/QXVexaMessage.h"
#include <dev/TelephonyNetworkInfo.h>
#include <rt/Exception.h>

namespace {

using namespace zid;

QXVexaConfig::Environment wifi() {
    QXVexaConfig::Environment e;
    e.deviceModel = "x86_64";
    e.systemVersion = "6.1.0";
    e.bundleIdentifier = "com.example.demo";
    e.networkStatus = 2;
    e.radioAccessTechnology = dev::RadioAccessTechnologyLTE;
    e.rpin = "0.abc";
    return e;
}

rt::Ref<QXVexaConfig> factoryConfig() {
    auto c = rt::make<QXVexaConfig>(wifi());
    c->setAppID(112);
    c->setAppVersion(1);
    c->setAppBundle("com.example.demo");
    c->setBrandID(1);
    c->setBuildNumber("");
    c->setBuildTime("");
    c->setFlashVer("iOS 1,");
    c->setApiKey("key");
    c->setApiKeyVersion(1.0);
    return c;
}

TEST(VexaConfigTest, InitialValuesComeFromTheEnvironment) {
    auto c = rt::make<QXVexaConfig>(wifi());
    EXPECT_EQ(c->appFlavor(), "1");
    EXPECT_EQ(c->deviceType(), "mobile");
    EXPECT_EQ(c->deviceOS(), "iPhone");
    EXPECT_EQ(c->phoneType(), "x86_64 6.1.0 h264");
    EXPECT_EQ(c->referrer(), "com.example.demo");
    EXPECT_EQ(c->rpin(), "0.abc");
    EXPECT_EQ(c->connectionType(), 1) << "Wi-Fi whatever the radio";
    EXPECT_TRUE(c->preferredBitrate().isEqual(rt::Value(2000000)));
    EXPECT_FALSE(c->apiKey());
    EXPECT_EQ(c->clientType(), 0);
    EXPECT_THROW(c->setAppID(rt::Value("112")), rt::Exception);
}

TEST(VexaConfigTest, ConnectionTypesTextsAndBitrates) {
    EXPECT_EQ(QXVexaConfig::connectionTypeFor(1, std::string(dev::RadioAccessTechnologyGPRS)), 2);
    EXPECT_EQ(QXVexaConfig::connectionTypeFor(1, std::string(dev::RadioAccessTechnologyLTE)), 12);
    EXPECT_EQ(QXVexaConfig::connectionTypeFor(1, std::string("RadioAccessTechnologyNR")), 0);
    EXPECT_EQ(QXVexaConfig::connectionTypeFor(1, std::nullopt), 0);
    EXPECT_EQ(QXVexaConfig::connectionTypeFor(0, std::string(dev::RadioAccessTechnologyLTE)), 0);
    EXPECT_EQ(QXVexaConfig::connectionTypeFromRadioAccessTechnology(std::string(dev::RadioAccessTechnologyeHRPD)), 11);
    struct Row { std::int64_t type; const char* text; int bitrate; };
    for (Row row : {Row{0, "unknown", 400000}, Row{1, "wifi", 2000000}, Row{2, "3g", 120000}, Row{3, "3g", 240000},
                    Row{4, "3g", 750000}, Row{7, "3g", 120000}, Row{11, "3g", 750000}, Row{12, "4g", 2000000},
                    Row{13, "unknown", 400000}, Row{-1, "unknown", 400000}}) {
        EXPECT_EQ(QXVexaConfig::stringFromConnectionType(row.type), row.text) << row.type;
        EXPECT_EQ(QXVexaConfig::preferredBitrateFormConnectionType(row.type).longLongValue(), row.bitrate) << row.type;
    }
    EXPECT_EQ(QXVexaConfig::stringFromClientType(1), "tracker");
    for (std::int64_t t : {0, 2, -1}) EXPECT_EQ(QXVexaConfig::stringFromClientType(t), "viewer");
}

TEST(VexaConfigTest, DictionaryUsesWireKeysLeavesOutNilAndAlwaysCarriesTypeAndConnectionType) {
    auto c = factoryConfig();
    auto d = c->dictionaryRepresentation();
    for (const char* absent : {"userId", "session", "rsid", "password", "hash", "clientType", "appBundle", "appID"})
        EXPECT_TRUE(d.get(absent).isNil()) << absent;
    EXPECT_EQ(d.get("applicationBundle").string(), "com.example.demo");
    EXPECT_EQ(d.get("appId").longLongValue(), 112);
    EXPECT_EQ(d.get("brandId").longLongValue(), 1);
    EXPECT_EQ(d.get("type").string(), "viewer");
    EXPECT_EQ(d.get("connectionType").string(), "wifi");

    c->setChannelPassword("secret");
    c->setChannelHash("h");
    c->setUserID("u");
    c->setSessionID("s");
    c->setRsid("ABC");
    c->setClientType(1);
    c->setConnectionType(12);
    d = c->dictionaryRepresentation();
    EXPECT_EQ(d.get("password").string(), "secret");
    EXPECT_EQ(d.get("hash").string(), "h");
    EXPECT_EQ(d.get("userId").string(), "u");
    EXPECT_EQ(d.get("session").string(), "s");
    EXPECT_EQ(d.get("rsid").string(), "ABC");
    EXPECT_EQ(d.get("type").string(), "tracker");
    EXPECT_EQ(d.get("connectionType").string(), "4g");

    // Declaration order, numbers as numbers: the version stays a fraction, no boolean appears.
    QXVexaMessage json = vexaJSONFromValue(d);
    EXPECT_EQ(json.begin().key(), "apiKey");
    EXPECT_TRUE(json["apiKeyVersion"].is_number_float());
    EXPECT_TRUE(json["appId"].is_number_integer());
    EXPECT_EQ(json.back(), "tracker") << "\"type\" comes last";
}

TEST(VexaConfigTest, JSONKeepsBooleansApartFromNumbers) {
    rt::Dictionary d;
    d.set("yes", rt::Value(true));
    d.set("one", rt::Value(1));
    d.set("half", rt::Value(0.5));
    d.set("list", rt::Value(rt::Value::Array{rt::Value("a"), rt::Value::null()}));
    auto json = vexaJSONFromValue(d);
    EXPECT_EQ(json.dump(), R"({"yes":true,"one":1,"half":0.5,"list":["a",null]})");
    auto parsed = vexaParse(R"({"success":1,"ok":true})");
    EXPECT_FALSE(vexaBoolean(parsed, "success"));
    EXPECT_EQ(vexaBoolean(parsed, "ok"), true);
    EXPECT_FALSE(vexaInteger(parsed, "ok"));
    EXPECT_FALSE(vexaInteger(vexaParse(R"({"n":1.5})"), "n"));
    EXPECT_EQ(vexaInteger(vexaParse(R"({"n":7})"), "n"), 7);
    EXPECT_TRUE(vexaParse("{oops").is_discarded());
    EXPECT_FALSE(vexaSerialize(QXVexaMessage("\xff\xfe")));
}

TEST(VexaConfigTest, EqualityComparesOwnPropertiesAndNilEqualsNil) {
    auto a = factoryConfig();
    EXPECT_TRUE(a->isEqual(*a)) << "a configuration with nil properties equals itself";
    auto b = factoryConfig();
    EXPECT_TRUE(a->isEqual(*b));
    EXPECT_TRUE(b->isEqual(*a));
    b->setUserID("someone");
    EXPECT_FALSE(a->isEqual(*b));
    EXPECT_FALSE(b->isEqual(*a));
    auto copy = b->copy();
    EXPECT_TRUE(copy->isEqual(*b));
    copy->setClientType(1);
    EXPECT_FALSE(copy->isEqual(*b));
    auto lock = rt::make<QXVexaLock>(std::string("x"));
    EXPECT_FALSE(a->isEqual(*lock));
}

TEST(VexaConfigTest, LocksCarryOnlyTheirOwnPropertiesAndCompareAcrossSubclasses) {
    auto age = rt::make<QXVexaAgeLock>(std::string("ageLock"));
    age->setMaximumBirthDate(rt::Date{1000});
    auto d = age->dictionaryRepresentation();
    EXPECT_EQ(d.size(), 1u);
    EXPECT_TRUE(d.get("maximumBirthDate").isDate());
    auto plain = QXVexaLock::lockWithName("ageLock");
    EXPECT_EQ(plain->dictionaryRepresentation().get("lockName").string(), "ageLock");
    EXPECT_TRUE(plain->isEqual(*age)) << "a subclass compares on the receiver's properties";
    EXPECT_FALSE(age->isEqual(*plain)) << "but not the other way round";
    EXPECT_TRUE(rt::make<QXVexaIPLock>()->dictionaryRepresentation().empty());
    auto geo = rt::make<QXVexaGeoLock>(std::string("geoLock"));
    geo->setHasLimit(1);
    EXPECT_NE(geo->description().find("\nhasLimit: 1"), std::string::npos) << geo->description();
}

TEST(VexaConfigTest, TheApplicationInfoIsTheHostsOnceSetAndReadFromAnyThread) {
    const QXVexaApplicationInfo before = QXVexaApplicationInfo::current();
    EXPECT_FALSE(before.executableName.empty()) << "the process's own name stands in";
    QXVexaApplicationInfo host = before;
    host.bundleIdentifier = "com.example.host";
    host.version = "9.1";
    QXVexaApplicationInfo::setCurrent(host);
    QXVexaApplicationInfo seen;
    std::thread([&] { seen = QXVexaApplicationInfo::current(); }).join();
    EXPECT_EQ(seen.bundleIdentifier, std::optional<std::string>("com.example.host"));
    EXPECT_EQ(seen.version, "9.1");
    EXPECT_EQ(seen.executableName, before.executableName);
    QXVexaApplicationInfo::setCurrent(before);
    EXPECT_EQ(QXVexaApplicationInfo::current().bundleIdentifier, before.bundleIdentifier);
}

TEST(VexaConfigTest, ALocksOwnPropertyIsItsOnlyEntryAndDecidesEquality) {
    auto hash = rt::make<QXVexaHashLock>(std::string("hashLock"));
    EXPECT_EQ(hash->lockName(), "hashLock") << "the name reaches the lock through the inherited constructor";
    EXPECT_TRUE(hash->dictionaryRepresentation().empty()) << "an unset property is left out";
    hash->setAuthenticationURL("https://example.com/auth");
    auto d = hash->dictionaryRepresentation();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d.get("authenticationURL").string(), "https://example.com/auth");
    EXPECT_EQ(hash->modelValue("lockName").string(), "hashLock") << "the base's property is still read by name";
    EXPECT_TRUE(hash->modelValue("maximumBirthDate").isNil());

    auto other = rt::make<QXVexaHashLock>(std::string("another name"));
    EXPECT_FALSE(hash->isEqual(*other));
    other->setAuthenticationURL("https://example.com/auth");
    EXPECT_TRUE(hash->isEqual(*other)) << "the lock compares on its own property, not on the name";
    auto age = rt::make<QXVexaAgeLock>();
    EXPECT_FALSE(age->maximumBirthDate());
    EXPECT_FALSE(age->lockName());
    EXPECT_FALSE(hash->isEqual(*age)) << "another kind of lock";
}

}  // namespace

// Frames are outside input: one nesting a hundred thousand arrays used to recurse
// through the parser until the stack ran out; it is now discarded like any malformed
// frame, while frames as deep as the limit still parse.
TEST(VexaMessageTest, FramesNestedBeyondTheLimitAreDiscardedWithoutExhaustingTheStack) {
    const std::string hostile = "{\"cmd\":\"subscribeMessage\",\"args\":" + std::string(100000, '[') +
                                std::string(100000, ']') + ",\"x\":1}";
    EXPECT_TRUE(vexaParse(hostile).is_discarded());
    const std::string atLimit = std::string(kVexaMaximumNesting, '[') + std::string(kVexaMaximumNesting, ']');
    EXPECT_FALSE(vexaParse(atLimit).is_discarded());
    EXPECT_TRUE(vexaParse("[" + atLimit + "]").is_discarded()) << "one level past the limit";
    EXPECT_TRUE(vexaParse(std::string(kVexaMaximumNesting + 1, '[')).is_discarded()) << "unclosed and too deep";
    const std::string bracketsInAString = "{\"cmd\":\"" + std::string(2 * kVexaMaximumNesting, '[') + "\\\"{\"}";
    auto parsed = vexaParse(bracketsInAString);
    ASSERT_TRUE(parsed.is_object()) << "brackets inside a string open nothing";
    EXPECT_EQ(parsed["cmd"].get<std::string>().size(), 2u * kVexaMaximumNesting + 2);
    EXPECT_TRUE(vexaParse("{\"cmd\":").is_discarded());
    EXPECT_TRUE(vexaParse("{\"cmd\":1} trailing").is_discarded());
}
