#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "DateUtils/DateExtensions.h"
#include <QXFoundation/DateUtils/DateFormatterCaching.h>
#include <QXFoundation/DateUtils/DateUtil.h>
#include <fnd/Calendar.h>

using namespace zid;

namespace {

class DateUtilsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fnd::TimeZone::setDefault(fnd::TimeZone::named("Asia/Tokyo"));
        fnd::Locale::setCurrent(fnd::Locale::withIdentifier("en_US"));
    }
    void TearDown() override {
        fnd::TimeZone::setDefault(nullptr);
        fnd::Locale::setCurrent(nullptr);
    }
    static rt::Date utc(int y, int mo, int d, int h, int mi = 0, int s = 0) {
        return *rt::make<fnd::Calendar>(fnd::TimeZone::utc())->dateFromComponents(y, mo, d, h, mi, s);
    }
};

}  // namespace

TEST_F(DateUtilsTest, PacificTimestampsFollowDaylightSaving) {
    EXPECT_EQ(dateFromPSTString("2024-01-15 12:00:00"), utc(2024, 1, 15, 20));  // UTC-8
    EXPECT_EQ(dateFromPSTString("2024-07-15 12:00:00"), utc(2024, 7, 15, 19));  // UTC-7
    EXPECT_FALSE(dateFromPSTString(rt::Value::null()));
    EXPECT_FALSE(dateFromPSTString(rt::Value()));
    EXPECT_FALSE(dateFromPSTString(42));
    EXPECT_FALSE(dateFromPSTString("2024-01-15T12:00:00"));
    EXPECT_FALSE(dateFromPSTString("15.01.2024 12:00:00"));
}

TEST_F(DateUtilsTest, UtcTextIgnoresTheDefaultZone) {
    EXPECT_EQ(UTCFormatDate(utc(2024, 12, 31, 23, 59, 58)), "2024-12-31 23:59:58");
    fnd::TimeZone::setDefault(fnd::TimeZone::named("Pacific/Kiritimati"));
    EXPECT_EQ(UTCFormatDate(utc(2024, 12, 31, 23, 59, 58)), "2024-12-31 23:59:58");
}

TEST_F(DateUtilsTest, FormattersAreCachedByLocaleIdentifierAndPatternOrStyles) {
    auto a = formatterWithDateFormat("yyyy", fnd::Locale::withIdentifier("de_DE"));
    EXPECT_EQ(a, formatterWithDateFormat("yyyy", fnd::Locale::withIdentifier("de-DE")));
    EXPECT_NE(a, formatterWithDateFormat("yyyy", fnd::Locale::withIdentifier("fr_FR")));
    EXPECT_NE(a, formatterWithDateFormat("yy", fnd::Locale::withIdentifier("de_DE")));
    auto s = formatterWithDateStyle(fnd::DateFormatterStyle::Short, fnd::DateFormatterStyle::None);
    EXPECT_EQ(s, formatterWithDateStyle(fnd::DateFormatterStyle::Short, fnd::DateFormatterStyle::None,
                                        fnd::Locale::withIdentifier("en_US")));
    EXPECT_EQ(cacheKeyWithDateStyle(fnd::DateFormatterStyle::Short, fnd::DateFormatterStyle::Full,
                                    *fnd::Locale::withIdentifier("en_US")),
              "en_US.1.4");
    EXPECT_EQ(cacheKeyWithDateFormat("HH:mm", *fnd::Locale::withIdentifier("en_US")), "en_US.HH:mm");
    EXPECT_EQ(dateFormatterCache().at("de_DE.yyyy"), a);
    // A cached formatter writes in the default zone of the moment.
    EXPECT_EQ(cachedLocalizedStringFromDate(utc(2024, 12, 31, 20), "yyyy-MM-dd"), "2025-01-01");
    fnd::TimeZone::setDefault(fnd::TimeZone::utc());
    EXPECT_EQ(cachedLocalizedStringFromDate(utc(2024, 12, 31, 20), "yyyy-MM-dd"), "2024-12-31");
}

TEST_F(DateUtilsTest, WeekdayMasksFromNumbersAndNames) {
    EXPECT_EQ(DateUtil::maskDays({0, 2, 6}), 69);
    EXPECT_EQ(DateUtil::unmaskDays(69), (std::vector<int>{0, 2, 6}));
    EXPECT_TRUE(DateUtil::unmaskDays(128).empty());
    EXPECT_EQ(DateUtil::maskDayNames({"Monday", "Friday"}), 34);
    EXPECT_EQ(DateUtil::unmaskDayNames(1), (std::vector<std::string>{"Sunday"}));
    EXPECT_EQ(DateUtil::unmaskDayNames(DateUtil::maskDayNames(DateUtil::daynameList())), DateUtil::daynameList());
}

TEST_F(DateUtilsTest, UnknownDaysAreIgnoredNeverANegativeMask) {
    EXPECT_EQ(DateUtil::maskDayNames({"monday"}), 0);
    EXPECT_EQ(DateUtil::maskDayNames({"Monday", "Funday"}), 2);
    EXPECT_EQ(DateUtil::maskDays({-1, 7, 31, 63, 1}), 2);
    EXPECT_EQ(DateUtil::weekdaySymbolsForDays({1, 9, -1, 0}), (std::vector<std::string>{"Monday", "Sunday"}));
}

TEST_F(DateUtilsTest, SymbolsFollowTheCurrentLocale) {
    EXPECT_EQ(DateUtil::weekdayArray(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(DateUtil::shortWeekdaySymbolsForDays({6, 0}), (std::vector<std::string>{"Sat", "Sun"}));
    EXPECT_EQ(DateUtil::veryShortWeekdayMap().at(3), "W");
    fnd::Locale::setCurrent(fnd::Locale::withIdentifier("de_DE"));
    EXPECT_EQ(DateUtil::weekdayMap().at(0), "Sonntag");
}

TEST_F(DateUtilsTest, TheFormatterCacheServesManyThreadsAtOnce) {
    const char* patterns[] = {"yyyy", "MM", "dd", "HH:mm"};
    rt::Date date = utc(2024, 5, 6, 7, 8);
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            auto locale = fnd::Locale::withIdentifier(t % 2 ? "en_US" : "de_DE");
            for (int i = 0; i < 300; ++i) {
                std::string text = cachedLocalizedStringFromDate(date, patterns[(i + t) % 4], locale);
                if (text.empty()) ++wrong;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(cachedLocalizedStringFromDate(date, "HH:mm", fnd::Locale::withIdentifier("de_DE")), "16:08");
}
