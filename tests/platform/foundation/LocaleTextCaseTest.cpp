#include <gtest/gtest.h>

#include <fnd/TextCase.h>

TEST(LocaleTextCaseTest, CaseMappingFollowsTheLanguage) {
    auto turkish = fnd::Locale::withIdentifier("tr_TR");
    EXPECT_EQ(fnd::uppercaseString("istanbul"), "ISTANBUL");
    EXPECT_EQ(fnd::uppercaseString("istanbul", turkish.get()), "\xC4\xB0STANBUL");  // dotted capital I
    EXPECT_EQ(fnd::lowercaseString("I", turkish.get()), "\xC4\xB1");                // dotless small i
    EXPECT_EQ(fnd::uppercaseString("stra\xC3\x9F" "e"), "STRASSE");
    EXPECT_EQ(fnd::capitalizedString("hello wORLD"), "Hello World");
}

TEST(LocaleTextCaseTest, CaseBlindComparison) {
    EXPECT_EQ(fnd::caseInsensitiveCompare("Stra\xC3\x9F" "e", "STRASSE"), 0);
    EXPECT_EQ(fnd::caseInsensitiveCompare("apple", "Banana"), -1);
    EXPECT_EQ(fnd::caseInsensitiveCompare("b", "A"), 1);
}
