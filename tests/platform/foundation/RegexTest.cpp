#include <gtest/gtest.h>

#include <fnd/RegularExpression.h>
#include <fnd/UTF16.h>

#include <unicode/unistr.h>
#include <unicode/utypes.h>

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

TEST(RegexTest, RunawayBacktrackingEndsAtTheTimeLimitWithAnError) {
    auto re = RegularExpression::make("(a+)+$");
    ASSERT_TRUE(re);
    EXPECT_EQ(re->timeLimit(), RegularExpression::DefaultTimeLimit) << "no matcher runs unbounded";
    re->setTimeLimit(0);
    EXPECT_EQ(re->timeLimit(), 1);
    re->setTimeLimit(5);
    const std::string hostile = std::string(64, 'a') + "!";  // 2^64 ways to split the run

    rt::Ref<rt::Error> error;
    EXPECT_FALSE(re->firstMatch(hostile, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), RegularExpression::ErrorDomain);
    EXPECT_EQ(error->code(), U_REGEX_TIME_OUT);
    EXPECT_NE(error->localizedDescription().find("time limit"), std::string::npos) << error->localizedDescription();

    error = nullptr;
    EXPECT_TRUE(re->matches(hostile, &error).empty());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), U_REGEX_TIME_OUT);

    error = nullptr;
    EXPECT_EQ(re->replacingMatches(hostile, "x", &error), hostile) << "a failed replacement leaves the text as it was";
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), U_REGEX_TIME_OUT);

    // The same expression still answers texts it can finish.
    error = nullptr;
    auto m = re->firstMatch("xaaa", &error);
    EXPECT_FALSE(error);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->range, (fnd::TextRange{1, 3}));
}

TEST(RegexTest, MessagesQuoteOnlyAShortPieceOfAHugePattern) {
    rt::Ref<rt::Error> error;
    const std::string pattern = std::string(100000, 'x') + "(";
    EXPECT_FALSE(RegularExpression::make(pattern, 0, &error));
    ASSERT_TRUE(error);
    EXPECT_LT(error->localizedDescription().size(), 300u);
    EXPECT_NE(error->localizedDescription().find("xxxx..."), std::string::npos);
}

TEST(RegexTest, MalformedUtf8CountsAsIcuReadsIt) {
    // E2 82 is the start of a three-byte character cut short: ICU reads it as one
    // U+FFFD, so "X" is the second character and the third byte.
    const std::string cut = "\xE2\x82X";
    auto m = RegularExpression::make("X")->firstMatch(cut);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->range, (fnd::TextRange{2, 1}));
    EXPECT_EQ(fnd::utf16Length(cut), 2u);

    struct Case {
        std::string text;
        std::size_t xAt;
    } cases[] = {
        {"\x80\x80X", 2},                   // two stray continuation bytes: two characters
        {"\xF0\x9F\x98X", 3},               // a four-byte character cut short: one
        {"\xED\xA0\x80X", 3},               // an encoded surrogate: each byte on its own
        {"\xC0\xAFX", 2},                   // an overlong form: each byte on its own
        {"\xF4\x90\x80\x80X", 4},           // past U+10FFFF: each byte on its own
        {"\xF0\x9F\x98\x80\xE2X\xC3\xA9X", 5},  // a pair, a cut lead byte, then text
    };
    for (const auto& c : cases) {
        auto found = RegularExpression::make("X")->firstMatch(c.text);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->range.location, c.xAt) << testing::PrintToString(c.text);
        icu::UnicodeString u = icu::UnicodeString::fromUTF8(c.text);
        EXPECT_EQ(fnd::utf16Length(c.text), static_cast<std::size_t>(u.length())) << testing::PrintToString(c.text);
    }
    // Every match of a class over malformed text maps onto whole bytes in order.
    auto all = RegularExpression::make(".")->matches("a\xE2\x82" "b\xFF");
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[1].range, (fnd::TextRange{1, 2}));
    EXPECT_EQ(all[2].range, (fnd::TextRange{3, 1}));
    EXPECT_EQ(all[3].range, (fnd::TextRange{4, 1}));
}
