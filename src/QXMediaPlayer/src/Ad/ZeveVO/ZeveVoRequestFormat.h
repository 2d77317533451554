#pragma once
// The request format of ad requests: "key = value" pairs separated by ",", whose values
// may hold placeholders, and the building of the request URL from it.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zid {

using ZeveVoFormatPairs = std::vector<std::pair<std::string, std::string>>;

/// The values of the placeholders, in the order they are listed in the format's
/// documentation ("$ZID" first, "$DESCRIPTION" last). Absent values are empty.
struct ZeveVoPlaceholderValues {
    std::string zoneId;       // $ZID
    std::string duration;     // $DURATION
    std::string categories;   // $CATEGORIES
    std::string contentId;    // $CONTENTID
    std::string userAgent;    // $USERAGENT
    std::string idfa;         // $IDFA
    std::string cb;           // $CB
    std::string title;        // $TITLE
    std::string keywords;     // $KEYWORDS
    std::string description;  // $DESCRIPTION
};

class ZeveVoRequestFormat {
public:
    static constexpr std::size_t kMaxDescriptionCodePoints = 140;

    /// The pairs of the format, in order: each "," piece that splits at "=" into exactly
    /// two parts, key and value trimmed of whitespace and line breaks; others are skipped.
    static ZeveVoFormatPairs parse(std::string_view format);
    /// The thirteen pairs used when the format is empty or absent.
    static ZeveVoFormatPairs defaultPairs(const std::string& siteURL, const std::string& pageURL);
    /// The value with every placeholder replaced in one pass: a replacement is never
    /// scanned again, so a title holding "$KEYWORDS" is sent as written.
    static std::string substitute(std::string_view value, const ZeveVoPlaceholderValues& values);
    /// url + ("?" ends it ? "" : "&") + key + "=" + the value query-escaped.
    static std::string appendUrlParameter(std::string url, std::string_view key, std::string_view value);
    /// The first 140 code points of the UTF-8 text (a code point is never split).
    static std::string cutDescription(std::string_view text);
    /// "iPhone iOS <version>".
    static std::string userAgent(const std::string& systemVersion);
};

}  // namespace zid
