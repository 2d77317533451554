#include <gtest/gtest.h>

#include "ValueTransformer/DateFormatterValueTransformer.h"
#include "ValueTransformer/DictionaryValueTransformer.h"
#include "ValueTransformer/FuncValueTransformer.h"
#include "ValueTransformer/LocalizedDateValueTransformer.h"
#include <fnd/Calendar.h>
#include <fnd/RunLoop.h>

using namespace zid;

namespace {

// Fixes the clock, the default zone and the locale. "Now" is 1 January 2025, 00:30 in
// Berlin (31 December 2024, 23:30 UTC), just past a day, month and year boundary there
// but not yet in UTC.
class ValueTransformerTest : public ::testing::Test {
protected:
    void SetUp() override {
        fnd::Locale::setCurrent(fnd::Locale::withIdentifier("en_US"));
        useZone("Europe/Berlin");
        nowDate = *calendar()->dateFromComponents(2025, 1, 1, 0, 30);
        clock = rt::make<fnd::VirtualClock>(nowDate);
        fnd::RunLoop::main()->setClock(clock);
    }
    void TearDown() override {
        fnd::RunLoop::main()->setClock(nullptr);
        fnd::TimeZone::setDefault(nullptr);
        fnd::Locale::setCurrent(nullptr);
    }
    void useZone(const char* zone) { fnd::TimeZone::setDefault(fnd::TimeZone::named(zone)); }
    static rt::Ref<fnd::Calendar> calendar() { return fnd::Calendar::current(); }
    rt::Date ago(double seconds) const { return nowDate.addingTimeInterval(-seconds); }
    rt::Date ahead(double seconds) const { return nowDate.addingTimeInterval(seconds); }
    static std::string relative(rt::Date d) {
        return LocalizedDateValueTransformer::localizedDateValueTransformerWithType(0)->transformedValue(d).string();
    }
    static std::string tiny(rt::Date d) {
        return LocalizedDateValueTransformer::localizedDateValueTransformerWithType(1)->transformedValue(d).string();
    }
    static std::string absolute(rt::Date d) {
        return LocalizedDateValueTransformer::localizedDateValueTransformerWithType(2)->transformedValue(d).string();
    }

    static constexpr double kMinute = 60, kHour = 3600, kDay = 86400;
    rt::Date nowDate;
    rt::Ref<fnd::VirtualClock> clock;
};

}  // namespace

TEST_F(ValueTransformerTest, PastDatesTakeTheLargestUnit) {
    EXPECT_EQ(relative(ago(30)), "just now");
    EXPECT_EQ(relative(ago(61)), "1 minute ago");
    EXPECT_EQ(relative(ago(2 * kMinute + 5)), "2 minutes ago");
    EXPECT_EQ(relative(ago(2 * kHour + 59 * kMinute)), "2 hours ago");
    EXPECT_EQ(relative(ago(kDay + kHour)), "1 day ago");
    EXPECT_EQ(relative(ago(10 * kDay)), "1 week ago");  // weeks outrank days
    EXPECT_EQ(relative(ago(20 * kDay)), "2 weeks ago");
    EXPECT_EQ(relative(*calendar()->dateFromComponents(2024, 12, 1, 0, 30)), "1 month ago");
    EXPECT_EQ(relative(*calendar()->dateFromComponents(2024, 1, 1, 0, 30)), "1 year ago");
    EXPECT_EQ(relative(*calendar()->dateFromComponents(2021, 6, 1)), "3 years ago");
}

TEST_F(ValueTransformerTest, MonthsAndYearsAreCountedInTheDefaultZone) {
    // 30 November 2024, 23:45 UTC: in Berlin it is 1 December, exactly one month back
    // minus 45 minutes; in UTC one month and 23 hours 45 minutes have passed.
    rt::Date date = *rt::make<fnd::Calendar>(fnd::TimeZone::utc())->dateFromComponents(2024, 11, 30, 23, 45);
    EXPECT_EQ(relative(date), "4 weeks ago");
    useZone("UTC");
    EXPECT_EQ(relative(date), "1 month ago");
}

TEST_F(ValueTransformerTest, FutureDatesShowTheWeekdayUpToTwoDaysAhead) {
    EXPECT_EQ(relative(ahead(2 * kDay)), "Friday at 12:30AM");
    EXPECT_EQ(relative(ahead(kHour)), "Wednesday at 1:30AM");
    EXPECT_EQ(relative(ahead(3 * kDay)), "Jan 4 at 12:30AM");
    // A year and a day ahead is no weekday of this week.
    EXPECT_EQ(relative(*calendar()->dateFromComponents(2026, 1, 2, 0, 30)), "Jan 2, 2026 at 12:30AM");
    EXPECT_EQ(relative(*calendar()->dateFromComponents(2025, 2, 2, 0, 30)), "Feb 2 at 12:30AM");
    useZone("UTC");  // there it is still Tuesday evening
    EXPECT_EQ(relative(ahead(kHour)), "Wednesday at 12:30AM");
    EXPECT_EQ(relative(ahead(10 * kMinute)), "Tuesday at 11:40PM");
}

TEST_F(ValueTransformerTest, AbsoluteTextShowsTheYearOnlyForAnotherYearOfTheZone) {
    rt::Date lastEvening = ago(1 * kHour);  // 31 December 2024, 23:30 Berlin, 22:30 UTC
    EXPECT_EQ(absolute(lastEvening), "Dec 31, 2024 at 11:30PM");
    EXPECT_EQ(absolute(ahead(40 * kDay)), "Feb 10 at 12:30AM");
    useZone("UTC");  // now it is still 2024 there
    EXPECT_EQ(absolute(lastEvening), "Dec 31 at 10:30PM");
    EXPECT_EQ(absolute(ahead(40 * kDay)), "Feb 9, 2025 at 11:30PM");
}

TEST_F(ValueTransformerTest, TinyTextIgnoresDirectionAndMonths) {
    EXPECT_EQ(tiny(ago(90 * kMinute)), "1h");
    EXPECT_EQ(tiny(ahead(40 * kDay)), "5w");
    EXPECT_EQ(tiny(ago(3 * kDay)), "3d");
    EXPECT_EQ(tiny(ago(400 * kDay)), "1y");
    EXPECT_EQ(tiny(ago(59)), "59s");
    EXPECT_EQ(tiny(ahead(0)), "0s");
    EXPECT_EQ(tiny(ago(5 * kMinute)), "5m");
}

TEST_F(ValueTransformerTest, TheLocalePropertyIsUsedAndOtherTypesPassTheValueThrough) {
    auto german = LocalizedDateValueTransformer::localizedDateValueTransformerWithLocale(
        fnd::Locale::withIdentifier("de_DE"), LocalizedDateValueTransformer::Relative);
    EXPECT_EQ(german->transformedValue(ahead(2 * kDay)).string().rfind("Freitag", 0), 0u);
    german->setLocale(fnd::Locale::withIdentifier("fr_FR"));
    EXPECT_EQ(german->transformedValue(ahead(2 * kDay)).string().rfind("vendredi", 0), 0u);

    auto seven = LocalizedDateValueTransformer::localizedDateValueTransformerWithType(7);
    EXPECT_EQ(seven->transformedValue(rt::Value(nowDate)), rt::Value(nowDate));
    EXPECT_TRUE(seven->transformedValue(rt::Value()).isNil());
    EXPECT_TRUE(german->transformedValue(rt::Value()).isNil());
}

TEST_F(ValueTransformerTest, DateDictionaryAndFunctionTransformers) {
    auto byStyle = DateFormatterValueTransformer::transformerWithDateStyle(
        fnd::DateFormatterStyle::Medium, fnd::DateFormatterStyle::None, fnd::Locale::withIdentifier("en_US"));
    EXPECT_EQ(byStyle->transformedValue(nowDate), rt::Value("Jan 1, 2025"));
    EXPECT_TRUE(byStyle->transformedValue(rt::Value()).isNil());
    EXPECT_FALSE(byStyle->allowsReverseTransformation());

    auto dict = rt::make<DictionaryValueTransformer>(rt::Dictionary{{1, "one"}, {"two", 2}});
    EXPECT_EQ(dict->transformedValue(1), rt::Value("one"));
    EXPECT_EQ(dict->transformedValue("two"), rt::Value(2));
    EXPECT_TRUE(dict->transformedValue(3).isNil());

    int calls = 0;
    auto func = rt::make<FuncValueTransformer>([&](const rt::Value& v) {
        ++calls;
        return v.isNil() ? rt::Value("nothing") : rt::Value(v.longLongValue() * 2);
    });
    EXPECT_EQ(func->transformedValue(21), rt::Value(42));
    EXPECT_EQ(func->transformedValue(rt::Value()), rt::Value("nothing"));
    EXPECT_EQ(calls, 2);
    EXPECT_THROW(rt::make<FuncValueTransformer>(nullptr), rt::Exception);
}
