#include <gtest/gtest.h>

#include "QXJSONLogFormatter.h"
#include <QXFoundation/Log/QXLogger.h>
#include <nlohmann/json.hpp>

namespace {

using namespace zid;

class Sample : public rt::Object {
    RT_CLASS(Sample, rt::Object)
};

TEST(JSONLogFormatterTest, RecordWithoutModuleOrSourceHasExactlyFourMembers) {
    auto record = rt::make<QXLogRecord>("", rt::Value(), -5, "Not found: \"x\"\n", 2);
    record->setDate(rt::Date{12.9});
    auto text = rt::make<QXJSONLogFormatter>()->formatLog(*record);
    EXPECT_EQ(text.find_first_of("\n\r\t"), std::string::npos) << "one compact line: " << text;
    auto object = nlohmann::ordered_json::parse(text);
    ASSERT_TRUE(object.is_object());
    EXPECT_EQ(object.size(), 4u) << text;
    EXPECT_EQ(object["address"], -5);
    EXPECT_EQ(object["message"], "Not found: \"x\"\n");
    EXPECT_EQ(object["date"], "1970-01-01 00:00:12 +0000");
    EXPECT_EQ(object["level"], 2);
    EXPECT_EQ(object.dump(), text) << "compact serialisation";
}

TEST(JSONLogFormatterTest, ModuleAndSourceAppearWhenPresent) {
    auto fromClass = rt::make<QXLogRecord>("ZIDoredider/QXCorePlayer/Core", rt::Value(&Sample::staticClass()), 0, "m", 5);
    auto object = nlohmann::json::parse(rt::make<QXJSONLogFormatter>()->formatLog(*fromClass));
    EXPECT_EQ(object["module"], "ZIDoredider/QXCorePlayer/Core");
    EXPECT_EQ(object["source"], "Sample");
    EXPECT_EQ(object.size(), 6u);
}

TEST(JSONLogFormatterTest, UnserialisableRecordStillGivesValidJson) {
    auto bad = rt::make<QXLogRecord>("m", rt::Value(), 0, std::string("bad \xff\xfe bytes"), 5);
    auto text = rt::make<QXJSONLogFormatter>()->formatLog(*bad);
    EXPECT_EQ(text, QXJSONLogFormatter::SerializationFailure);
    auto object = nlohmann::json::parse(text);  // throws if the fallback were not JSON
    EXPECT_EQ(object["error"], "FAILED TO JSON SERIALIZE");
}

}  // namespace
