#include <gtest/gtest.h>

#include <fnd/Excerpt.h>
#include <fnd/UTF16.h>

namespace {

TEST(Excerpt, CutsBetweenCharactersAndMarksOnlyWhatWasCut) {
    EXPECT_EQ(fnd::excerpt("short", 5), "short");
    EXPECT_EQ(fnd::excerpt("longer", 5), "longe...");
    // "é" is two bytes: a limit that falls inside it keeps the text before it.
    EXPECT_EQ(fnd::excerpt("ab\xC3\xA9z", 3), "ab...");
    EXPECT_EQ(fnd::excerpt("ab\xC3\xA9z", 4), "ab\xC3\xA9...");
    // A four-byte character at the start leaves nothing to keep.
    EXPECT_EQ(fnd::excerpt("\xF0\x9F\x8E\xA5", 3), "...");
}

TEST(Excerpt, PrefixFitsTheLimitWithoutEndingInsideACharacter) {
    EXPECT_EQ(fnd::utf8Prefix("abc", 3), "abc");
    EXPECT_EQ(fnd::utf8Prefix("a\xE2\x82\xAC", 3), "a");
    EXPECT_EQ(fnd::utf8Prefix("a\xE2\x82\xAC", 4), "a\xE2\x82\xAC");
    EXPECT_EQ(fnd::utf8Prefix("", 0), "");
    EXPECT_EQ(fnd::utf8Prefix("xy", 0), "");
}

}  // namespace

namespace {

TEST(UTF8Validity, RefusesEveryMalformedForm) {
    EXPECT_TRUE(fnd::isValidUTF8(""));
    EXPECT_TRUE(fnd::isValidUTF8("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xA5"));
    EXPECT_TRUE(fnd::isValidUTF8("\xF4\x8F\xBF\xBF"));   // U+10FFFF, the last
    EXPECT_FALSE(fnd::isValidUTF8("\xF4\x90\x80\x80"));  // past it
    EXPECT_FALSE(fnd::isValidUTF8("\xC0\xAF"));          // an overlong "/"
    EXPECT_FALSE(fnd::isValidUTF8("\xE0\x80\xAF"));      // another
    EXPECT_FALSE(fnd::isValidUTF8("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(fnd::isValidUTF8("\xE2\x82"));          // cut short at the end
    EXPECT_FALSE(fnd::isValidUTF8("\xE2\x82x"));         // cut short inside
    EXPECT_FALSE(fnd::isValidUTF8("\x80"));              // a stray continuation byte
    EXPECT_FALSE(fnd::isValidUTF8("\xFF"));
}

}  // namespace
