#include <gtest/gtest.h>

#include <fnd/StringsFile.h>

using fnd::parseStringsFile;

TEST(StringsFileTest, ReadsPairsCommentsBareWordsAndKeysStandingForThemselves) {
    auto table = parseStringsFile(R"(
        /* A block comment
           over two lines with "quotes" = "inside"; */
        "greeting" = "Hello";   // a line comment
        bare.key_1 = "bare";
        "alone";
        "spaced"   =
           "value with = and ; inside"  ;
        "%lu viewers" = "%lu Zuschauer";
    )");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->size(), 5u);
    EXPECT_EQ(table->at("greeting"), "Hello");
    EXPECT_EQ(table->at("bare.key_1"), "bare");
    EXPECT_EQ(table->at("alone"), "alone");
    EXPECT_EQ(table->at("spaced"), "value with = and ; inside");
    EXPECT_EQ(table->at("%lu viewers"), "%lu Zuschauer");
}

TEST(StringsFileTest, DecodesEscapes) {
    auto table = parseStringsFile(R"("k" = "a\"b\\c\nd\te\'f\u00e9\U00E8\101g\ud83d\ude00";)");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->at("k"), "a\"b\\c\nd\te'f\xC3\xA9\xC3\xA8" "Ag\xF0\x9F\x98\x80");
}

TEST(StringsFileTest, LaterEntriesReplaceEarlierOnesAndAnEmptyFileIsAnEmptyTable) {
    auto table = parseStringsFile("\"k\" = \"one\";\n\"k\" = \"two\";");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->at("k"), "two");
    auto empty = parseStringsFile("  // nothing here\n/* or here */\n");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

TEST(StringsFileTest, ReportsSyntaxErrorsWithTheirLine) {
    fnd::StringsFileError error;
    EXPECT_FALSE(parseStringsFile("\"a\" = \"1\";\n\"b\" = \"2\"\n\"c\" = \"3\";", &error));
    EXPECT_EQ(error.line, 3);
    EXPECT_NE(error.message.find("';'"), std::string::npos);

    EXPECT_FALSE(parseStringsFile("\"a\" = \"never closed;", &error));
    EXPECT_NE(error.message.find("unterminated"), std::string::npos);
    EXPECT_FALSE(parseStringsFile("/* open comment", &error));
    EXPECT_FALSE(parseStringsFile("\"a\" = ;", &error));
    EXPECT_FALSE(parseStringsFile(R"("a" = "\u12";)", &error));
}

TEST(StringsFileTest, ReadsUtf16WithByteOrderMarkAndUtf8WithOne) {
    std::string text = "\"k\" = \"\xC3\xA9t\xC3\xA9\";";
    // The same text in UTF-16 little endian and big endian, with the mark.
    std::string le = "\xFF\xFE", be = "\xFE\xFF";
    for (unsigned char c : std::string("\"k\" = \"")) {
        le += static_cast<char>(c), le += '\0';
        be += '\0', be += static_cast<char>(c);
    }
    for (char16_t u : std::u16string(u"\u00e9t\u00e9\";")) {
        le += static_cast<char>(u & 0xFF), le += static_cast<char>(u >> 8);
        be += static_cast<char>(u >> 8), be += static_cast<char>(u & 0xFF);
    }
    for (const auto& bytes : {le, be, "\xEF\xBB\xBF" + text}) {
        auto table = parseStringsFile(bytes);
        ASSERT_TRUE(table);
        EXPECT_EQ(table->at("k"), "\xC3\xA9t\xC3\xA9");
    }
}

TEST(StringsFileTest, MissingFileIsAnError) {
    fnd::StringsFileError error;
    EXPECT_FALSE(fnd::loadStringsFile("/nonexistent/dir/Localizable.strings", &error));
    EXPECT_NE(error.message.find("cannot open"), std::string::npos);
}

TEST(StringsFileTest, ErrorsQuoteOnlyAShortPieceOfTheFile) {
    fnd::StringsFileError error;
    const std::string key(100000, 'k');
    EXPECT_FALSE(parseStringsFile("\"" + key + "\" = \"v\"\n", &error));
    EXPECT_LT(error.message.size(), 120u) << error.message.substr(0, 200);
    EXPECT_NE(error.message.find("\"kkkk"), std::string::npos) << error.message;
    EXPECT_NE(error.message.find("...\""), std::string::npos) << error.message;
    // A short key is quoted whole; a long one is cut between characters.
    EXPECT_FALSE(parseStringsFile("\"short\" = \"v\"", &error));
    EXPECT_EQ(error.message, "expected ';' after the entry for \"short\"");
    std::string accents;
    for (int i = 0; i < 100; ++i) accents += "\xC3\xA9";
    EXPECT_FALSE(parseStringsFile("\"x" + accents + "\" = \"v\"", &error));
    const std::size_t open = error.message.find('"');
    const std::size_t dots = error.message.find("...");
    ASSERT_NE(dots, std::string::npos);
    EXPECT_EQ((dots - open - 2) % 2, 0u) << "whole characters only: " << error.message;
}
