#include <gtest/gtest.h>

#include <fnd/Calendar.h>
#include <fnd/DateFormat.h>
#include <fnd/TimeZone.h>

namespace {

class DateTest : public ::testing::Test {
protected:
    void SetUp() override {
        fnd::TimeZone::setDefault(fnd::TimeZone::named("Europe/Berlin"));
        fnd::Locale::setCurrent(fnd::Locale::withIdentifier("en_US"));
    }
    void TearDown() override {
        fnd::TimeZone::setDefault(nullptr);
        fnd::Locale::setCurrent(nullptr);
    }
    rt::Date at(const char* zone, int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
        auto date = rt::make<fnd::Calendar>(fnd::TimeZone::named(zone))->dateFromComponents(y, mo, d, h, mi, s);
        EXPECT_TRUE(date);
        return date.value_or(rt::Date{});
    }
};

constexpr unsigned kAll = fnd::CalendarUnitYear | fnd::CalendarUnitMonth | fnd::CalendarUnitWeekOfYear |
                          fnd::CalendarUnitDay | fnd::CalendarUnitHour | fnd::CalendarUnitMinute |
                          fnd::CalendarUnitSecond;

}  // namespace

TEST_F(DateTest, TimeZonesByNameAndAbbreviation) {
    auto pacific = fnd::TimeZone::withAbbreviation("PST");
    ASSERT_TRUE(pacific);
    EXPECT_EQ(pacific->identifier(), "America/Los_Angeles");
    EXPECT_EQ(pacific->secondsFromGMT(at("UTC", 2024, 1, 15, 12)), -8 * 3600);
    EXPECT_EQ(pacific->secondsFromGMT(at("UTC", 2024, 7, 15, 12)), -7 * 3600);  // daylight saving
    EXPECT_FALSE(fnd::TimeZone::named("Mars/Olympus_Mons"));
    EXPECT_FALSE(fnd::TimeZone::withAbbreviation("XYZ"));
    EXPECT_EQ(fnd::TimeZone::defaultTimeZone()->identifier(), "Europe/Berlin");
}

TEST_F(DateTest, DifferencesTakeTheLargestUnitsFirst) {
    auto calendar = fnd::Calendar::current();
    rt::Date from = at("Europe/Berlin", 2023, 12, 31, 23, 30);
    rt::Date to = at("Europe/Berlin", 2025, 2, 14, 1, 45, 10);
    auto c = calendar->components(kAll, from, to);
    EXPECT_EQ(c.year, 1);
    EXPECT_EQ(c.month, 1);
    EXPECT_EQ(c.weekOfYear, 1);  // from 31 January 23:30: one week, then six days
    EXPECT_EQ(c.day, 6);
    EXPECT_EQ(c.hour, 2);
    EXPECT_EQ(c.minute, 15);
    EXPECT_EQ(c.second, 10);

    auto back = calendar->components(kAll, to, from);
    EXPECT_EQ(back.year, -1);
    EXPECT_EQ(back.month, -1);

    // Without weeks and months the rest goes to days.
    auto days = calendar->components(fnd::CalendarUnitDay, at("UTC", 2024, 1, 1), at("UTC", 2024, 3, 1));
    EXPECT_EQ(days.day, 60);  // a leap year
    EXPECT_FALSE(days.year);
}

TEST_F(DateTest, CalendarFieldsDependOnTheZone) {
    rt::Date instant = at("UTC", 2024, 12, 31, 23, 30);
    auto utc = rt::make<fnd::Calendar>(fnd::TimeZone::utc())->components(fnd::CalendarUnitYear | fnd::CalendarUnitDay, instant);
    auto tokyo = rt::make<fnd::Calendar>(fnd::TimeZone::named("Asia/Tokyo"))
                     ->components(fnd::CalendarUnitYear | fnd::CalendarUnitDay | fnd::CalendarUnitWeekday, instant);
    EXPECT_EQ(utc.year, 2024);
    EXPECT_EQ(utc.day, 31);
    EXPECT_EQ(tokyo.year, 2025);
    EXPECT_EQ(tokyo.day, 1);
    EXPECT_EQ(tokyo.weekday, 4);  // 1 January 2025 was a Wednesday
    EXPECT_FALSE(fnd::Calendar::current()->dateFromComponents(2024, 13, 1));
}

TEST_F(DateTest, PatternFormattersWriteAndStrictlyReadInTheirZone) {
    auto f = rt::make<fnd::DateFormatter>("yyyy-MM-dd HH:mm:ss", fnd::Locale::withIdentifier("en_US_POSIX"));
    f->setTimeZone(fnd::TimeZone::utc());
    rt::Date date = at("UTC", 2024, 2, 29, 13, 5, 9);
    EXPECT_EQ(f->stringFromDate(date), "2024-02-29 13:05:09");
    EXPECT_EQ(f->dateFromString("2024-02-29 13:05:09"), date);
    EXPECT_FALSE(f->dateFromString("2024-02-29T13:05:09"));
    EXPECT_FALSE(f->dateFromString("2024-02-29 13:05:09 and more"));
    EXPECT_FALSE(f->dateFromString("2023-02-29 13:05:09"));  // no such day
    EXPECT_FALSE(f->dateFromString(""));
}

TEST_F(DateTest, AFractionOfASecondWithEndlessDigitsIsRefusedNotAProcessCrash) {
    auto f = rt::make<fnd::DateFormatter>("ss.SSS", fnd::Locale::withIdentifier("en_US_POSIX"));
    f->setTimeZone(fnd::TimeZone::utc());
    auto shortFraction = f->dateFromString("12.250");
    ASSERT_TRUE(shortFraction);
    EXPECT_DOUBLE_EQ(shortFraction->secondsSince1970, 12.25);
    EXPECT_TRUE(f->dateFromString("12." + std::string(20, '1')));  // long, but still a fraction
    // 35 and more digits used to trap in the parser's integer division.
    for (int digits : {33, 35, 40, 200}) EXPECT_FALSE(f->dateFromString("12." + std::string(digits, '1'))) << digits;
    // An exponent splits the digits but the parser reads them as one fraction.
    EXPECT_FALSE(f->dateFromString("12.11111111111e" + std::string(28, '1')));
    // Other decimal digits count too (ARABIC-INDIC DIGIT ONE).
    std::string arabic;
    for (int i = 0; i < 40; ++i) arabic += "\xD9\xA1";
    EXPECT_FALSE(f->dateFromString("12." + arabic));
    // Without a fraction field the digits are not capped; quoted S is text.
    auto quoted = rt::make<fnd::DateFormatter>("'S' yyyy", fnd::Locale::withIdentifier("en_US_POSIX"));
    EXPECT_FALSE(quoted->dateFromString("S " + std::string(40, '1')));  // refused by the parser, no trap
    // Patterns that take many digits in a row still read.
    auto compact = rt::make<fnd::DateFormatter>("yyyyMMddHHmmssSSS", fnd::Locale::withIdentifier("en_US_POSIX"));
    compact->setTimeZone(fnd::TimeZone::utc());
    EXPECT_EQ(compact->dateFromString("20240229130509000"), at("UTC", 2024, 2, 29, 13, 5, 9));
}

TEST_F(DateTest, FormattersWithoutAZoneFollowTheDefaultZone) {
    auto f = rt::make<fnd::DateFormatter>("HH:mm", fnd::Locale::withIdentifier("en_US"));
    rt::Date date = at("UTC", 2024, 6, 1, 12, 0);
    EXPECT_EQ(f->stringFromDate(date), "14:00");
    fnd::TimeZone::setDefault(fnd::TimeZone::named("America/New_York"));
    EXPECT_EQ(f->stringFromDate(date), "08:00");
}

TEST_F(DateTest, StyledFormattersAndWeekdaySymbols) {
    auto none = rt::make<fnd::DateFormatter>(fnd::DateFormatterStyle::None, fnd::DateFormatterStyle::None);
    EXPECT_EQ(none->stringFromDate(rt::Date{0}), "");
    auto styled = rt::make<fnd::DateFormatter>(fnd::DateFormatterStyle::Medium, fnd::DateFormatterStyle::None,
                                               fnd::Locale::withIdentifier("en_US"));
    EXPECT_EQ(styled->stringFromDate(at("Europe/Berlin", 2024, 3, 5, 10)), "Mar 5, 2024");

    EXPECT_EQ(none->weekdaySymbols(), (std::vector<std::string>{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday",
                                                                "Friday", "Saturday"}));
    EXPECT_EQ(none->shortWeekdaySymbols().front(), "Sun");
    EXPECT_EQ(none->veryShortWeekdaySymbols().back(), "S");
    auto german = rt::make<fnd::DateFormatter>(fnd::DateFormatterStyle::None, fnd::DateFormatterStyle::None,
                                               fnd::Locale::withIdentifier("de_DE"));
    EXPECT_EQ(german->weekdaySymbols()[1], "Montag");
}
