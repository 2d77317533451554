#include <gtest/gtest.h>

#include <fnd/RegularExpression.h>
#include <fnd/UTF16.h>

using fnd::RegularExpression;

TEST(RegexTest, MatchesReportByteRangesAndGroupsInUtf8Text) {
    auto re = RegularExpression::make("#PROGRESSED ([0-9]*)%");
    ASSERT_TRUE(re);
    std::string text = "\xC3\xA9t\xC3\xA9 #PROGRESSED 42% done";
    auto m = re->firstMatch(text);
    ASSERT_TRUE(m);
    EXPECT_EQ(text.substr(m->range.location, m->range.length), "#PROGRESSED 42%");
    ASSERT_EQ(m->groups.size(), 1u);
    ASSERT_TRUE(m->groups[0]);
    EXPECT_EQ(text.substr(m->groups[0]->location, m->groups[0]->length), "42");
    EXPECT_FALSE(re->firstMatch("#progressed 42%"));
}

TEST(RegexTest, OptionsGroupsThatTookNoPartAndReplacement) {
    auto re = RegularExpression::make("\\([^)]+\\)$", RegularExpression::CaseInsensitive);
    EXPECT_EQ(re->replacingMatches("Show (LIVE)", ""), "Show ");
    EXPECT_EQ(re->replacingMatches("Show (live) now", ""), "Show (live) now");
    auto alt = RegularExpression::make("(a)|(b)");
    auto all = alt->matches("xbxa");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_FALSE(all[0].groups[0]);
    EXPECT_TRUE(all[0].groups[1]);
    EXPECT_EQ(RegularExpression::make("(\\w+)@(\\w+)")->replacingMatches("me@home", "$2 at $1"), "home at me");
}

TEST(RegexTest, InvalidPatternIsAnErrorNotAnObject) {
    rt::Ref<rt::Error> error;
    EXPECT_FALSE(RegularExpression::make("(unclosed", 0, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), RegularExpression::ErrorDomain);
    EXPECT_NE(error->localizedDescription().find("(unclosed"), std::string::npos);
}

TEST(RegexTest, Utf16IndexingCountsSurrogatePairsAsTwoUnits) {
    std::string text = "a\xC3\xA9\xF0\x9F\x98\x80z";  // a, e-acute, an emoji (two units), z
    EXPECT_EQ(fnd::utf16Length(text), 5u);
    EXPECT_EQ(fnd::utf16Substring(text, 1, 1), "\xC3\xA9");
    EXPECT_EQ(fnd::utf16Substring(text, 2, 2), "\xF0\x9F\x98\x80");
    EXPECT_EQ(fnd::utf16Substring(text, 4, 1), "z");
    EXPECT_EQ(fnd::utf16Substring(text, 5, 0), "");
    EXPECT_FALSE(fnd::utf16Substring(text, 4, 2));
    EXPECT_FALSE(fnd::utf16Substring(text, 6, 0));
}
