#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <vector>

#include "Extensions/DataExtensions.h"
#include <QXFoundation/Extensions/StringExtensions.h>
#include "Extensions/URLRequestExtensions.h"
#include <QXFoundation/Extensions/WebURL.h>
#include <rt/Exception.h>

using namespace zid;

TEST(StringExtTest, FormatWithArgumentListUsesEveryArgumentAndNeverReadsPastThem) {
    rt::Value::Array twelve;
    for (int i = 1; i <= 12; ++i) twelve.emplace_back(i);
    EXPECT_EQ(stringWithFormat("%@ %@ %@ %@ %@ %@ %@ %@ %@ %@ %@ %@", twelve), "1 2 3 4 5 6 7 8 9 10 11 12");
    EXPECT_EQ(stringWithFormat("%@-%@-%@", {"a"}), "a-(null)-(null)");
    EXPECT_EQ(stringWithFormat("%@ has %d items", {"list", 3}), "list has 3 items");
    // Formats from outside: pointer-writing and wild widths do no harm.
    EXPECT_EQ(stringWithFormat("x%ny%s%s", {}), "xy(null)(null)");
    EXPECT_LE(stringWithFormat("%99999999d|", {7}).size(), 1000u);
}

TEST(StringExtTest, PercentEncodingKeepsUnreservedAndEscapesEveryOtherByte) {
    EXPECT_EQ(urlEncodedString("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(urlEncodedString("a b\tc\n\xC3\xA9/?&="), "a%20b%09c%0A%C3%A9%2F%3F%26%3D");
    EXPECT_EQ(urlEncode("100%"), "100%25");
    EXPECT_EQ(urlDecodedString("a%20b%C3%A9%2f"), "a b\xC3\xA9/");
    EXPECT_EQ(urlDecodedString("plain+text"), "plain+text");
    std::string encoded = urlEncodedString("x y/\xC3\xA9~");
    EXPECT_EQ(urlRecodedString(encoded), encoded);
    EXPECT_EQ(urlRecode("a b"), "a%20b");
}

TEST(StringExtTest, DecodingFailsOnBrokenEscapesAndInvalidUtf8) {
    EXPECT_FALSE(urlDecodedString("50%"));
    EXPECT_FALSE(urlDecodedString("%4"));
    EXPECT_FALSE(urlDecodedString("%zz"));
    EXPECT_FALSE(urlDecodedString("%C3"));   // half a character
    EXPECT_FALSE(urlDecodedString("%FF%FE"));
    EXPECT_FALSE(urlRecodedString("%C3"));
}

TEST(StringExtTest, SmallRewrites) {
    EXPECT_EQ(urlEscapedOfOccurences("a.b.c", '.'), "a%2Eb%2Ec");
    EXPECT_EQ(urlEscapedOfOccurences("a/b", '\n'), "a/b");
    EXPECT_EQ(stringByRemovingSocialStreamSuffix("My Show (Twitter)"), "My Show ");
    EXPECT_EQ(stringByRemovingSocialStreamSuffix("My Show (a) (b)"), "My Show (a) ");
    EXPECT_EQ(stringByRemovingSocialStreamSuffix("My Show (live) tonight"), "My Show (live) tonight");
    EXPECT_EQ(stringByRemovingSocialStreamSuffix("Empty ()"), "Empty ()");
    EXPECT_EQ(stringByReplacingNewLinesWithHTMLBreaks("a\nb\n\nc"), "a<br/>b<br/><br/>c");
}

TEST(StringExtTest, ViewerNumberAtTheThresholds) {
    EXPECT_EQ(formatViewerNumber(-5), "-5");
    EXPECT_EQ(formatViewerNumber(9999), "9999");
    EXPECT_EQ(formatViewerNumber(10000), "10.0k");
    EXPECT_EQ(formatViewerNumber(123456), "123.4k");
    EXPECT_EQ(formatViewerNumber(999999), "999.9k");
    EXPECT_EQ(formatViewerNumber(1000000), "1M");
    EXPECT_EQ(formatViewerNumber(1009999), "1M");
    EXPECT_EQ(formatViewerNumber(1010000), "1.01M");
    EXPECT_EQ(formatViewerNumber(12345678), "12.34M");
    EXPECT_EQ(formatViewerNumber(2147483647), "2147.48M");
}

TEST(StringExtTest, SubscriptsCountUtf16Units) {
    std::string text = "h\xC3\xA9\xF0\x9F\x98\x80!";
    EXPECT_EQ(objectAtIndexedSubscript(text, 1), "\xC3\xA9");
    EXPECT_EQ(objectAtIndexedSubscript(text, 4), "!");
    EXPECT_EQ(objectForKeyedSubscript(text, {2, 2}), "\xF0\x9F\x98\x80");
    EXPECT_THROW(objectAtIndexedSubscript(text, 5), rt::Exception);
    EXPECT_THROW(objectForKeyedSubscript(text, {4, 2}), rt::Exception);
}

TEST(StringExtTest, LoremIpsumIsTheStandardParagraph) {
    const std::string& text = loremIpsum();
    EXPECT_EQ(text.size(), 446u);
    std::istringstream words(text);
    EXPECT_EQ(std::distance(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()), 69);
    EXPECT_EQ(text.rfind("Lorem ipsum dolor sit amet, consectetur adipisicing elit", 0), 0u);
    EXPECT_TRUE(text.ends_with("id est laborum."));
}

TEST(DataExtTest, HexStringOfBytes) {
    EXPECT_EQ(hexStringValue({0x00, 0xAB}), "00ab");
    EXPECT_EQ(hexStringValue({0x0F, 0xF0, 0x7E}), "0ff07e");
    EXPECT_EQ(hexStringValue({}), "");
}

TEST(DataExtTest, CurlCommandLineInOrderWithQuotesEscaped) {
    auto request = rt::make<fnd::URLRequest>("https://api.test/v1?q=\"x\"");
    request->setHTTPMethod("POST");
    request->setValueForHTTPHeaderField("application/json", "Content-Type");
    request->setValueForHTTPHeaderField("say \"hi\" $HOME `id` \\", "X-Note");
    std::string body = R"({"a":1})";
    request->setHTTPBody(rt::Data(body.begin(), body.end()));
    EXPECT_EQ(cURLString(*request),
              "curl -X POST -H \"Content-Type: application/json\" -H \"X-Note: say \\\"hi\\\" \\$HOME \\`id\\` \\\\\" "
              "-d \"{\\\"a\\\":1}\" \"https://api.test/v1?q=\\\"x\\\"\"");

    request->setHTTPBody(rt::Data{0xFF, 0xFE});
    EXPECT_NE(cURLString(*request).find(" -d \"(null)\" "), std::string::npos);
    request->setHTTPBody(std::nullopt);
    EXPECT_EQ(cURLString(*rt::make<fnd::URLRequest>("http://h/")), "curl -X GET \"http://h/\"");
}

TEST(StringExtTest, SocialStreamSuffixIsWhatItsPatternMatchesFoundInLinearTime) {
    // The scan must strip exactly what the pattern \([^)]+\)$ strips: compare both on
    // every text of up to six characters from an alphabet of the bytes that matter.
    auto pattern = fnd::RegularExpression::make("\\([^)]+\\)$", fnd::RegularExpression::CaseInsensitive);
    const std::string alphabet[] = {"(", ")", "x", "\n", "\r", "\xE2\x80\xA8"};
    std::vector<std::string> texts{""};
    std::size_t from = 0;
    for (int length = 1; length <= 6; ++length) {
        const std::size_t to = texts.size();
        for (std::size_t i = from; i < to; ++i) {
            for (const auto& piece : alphabet) texts.push_back(texts[i] + piece);
        }
        from = to;
    }
    for (const auto& text : texts) {
        rt::Ref<rt::Error> error;
        const std::string expected = pattern->replacingMatches(text, "", &error);
        ASSERT_FALSE(error);
        ASSERT_EQ(stringByRemovingSocialStreamSuffix(text), expected) << testing::PrintToString(text);
    }
    EXPECT_EQ(stringByRemovingSocialStreamSuffix("Show (live)\r\n"), "Show \r\n");
    EXPECT_EQ(stringByRemovingSocialStreamSuffix("a ((b)"), "a ");

    // A run of "(" that a pattern search retries from every position: must be quick.
    const std::string opens(32000, '(');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(stringByRemovingSocialStreamSuffix(opens), opens);
    EXPECT_EQ(stringByRemovingSocialStreamSuffix(opens + "x)"), "");
    EXPECT_EQ(stringByRemovingSocialStreamSuffix(")" + opens + ")"), ")");
    // Linear: a millisecond or so; retried from every position it took seconds. Room for
    // a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    // Bytes that are not UTF-8 stay as they were.
    EXPECT_EQ(stringByRemovingSocialStreamSuffix("\xFF (\xFE)"), "\xFF ");
}

TEST(StringExtTest, OnlyHttpAndHttpsCountAsWebURLsAndOtherSchemesAreNamed) {
    EXPECT_TRUE(isWebURL("http://cdn.example/a.jpg"));
    EXPECT_TRUE(isWebURL("HTTPS://cdn.example/a.jpg"));
    for (const char* other : {"file:///etc/passwd", "FILE:/x", "ftp://h/x", "data:image/png;base64,AA", "javascript:x",
                              "httpx://h", "http+unix://h"}) {
        SCOPED_TRACE(other);
        EXPECT_FALSE(isWebURL(other));
        EXPECT_TRUE(hasNonWebScheme(other));
    }
    // Text without a scheme names no other scheme: a bare name, a relative path, a colon
    // first, a digit first.
    for (const char* plain : {"p.jpg", "images/p.jpg", ":x", "", "1http://h", "a b:c"}) {
        SCOPED_TRACE(plain);
        EXPECT_FALSE(isWebURL(plain));
        EXPECT_FALSE(hasNonWebScheme(plain)) << (urlScheme(plain) ? *urlScheme(plain) : "none");
    }
    EXPECT_EQ(urlScheme("Tel+X-1.y:5"), std::optional<std::string>("tel+x-1.y"));
}
