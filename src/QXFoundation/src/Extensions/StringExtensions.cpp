#include <QXFoundation/Extensions/StringExtensions.h>

#include <fnd/UTF16.h>
#include <rt/Exception.h>
#include <rt/Format.h>

namespace zid {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void appendEscape(std::string& out, unsigned char byte) {
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
}

}  // namespace

std::string stringWithFormat(std::string_view format, const rt::Value::Array& arrayOfArguments) {
    return rt::formatv(format, arrayOfArguments);
}

const std::string& loremIpsum() {
    static const std::string text =
        "Lorem ipsum dolor sit amet, consectetur adipisicing elit, sed do eiusmod tempor incididunt ut labore et "
        "dolore magna aliqua. Ut enim ad minim veniam, quis nostrud exercitation ullamco laboris nisi ut aliquip ex "
        "ea commodo consequat. Duis aute irure dolor in reprehenderit in voluptate velit esse cillum dolore eu fugiat "
        "nulla pariatur. Excepteur sint occaecat cupidatat non proident, sunt in culpa qui officia deserunt mollit "
        "anim id est laborum.";
    return text;
}

std::string objectAtIndexedSubscript(std::string_view text, std::size_t index) {
    if (auto part = fnd::utf16Substring(text, index, 1)) return *part;
    throw rt::Exception(rt::Exception::RangeError, "Index " + std::to_string(index) + " is beyond the text's " +
                                                       std::to_string(fnd::utf16Length(text)) + " units");
}

std::string objectForKeyedSubscript(std::string_view text, fnd::TextRange range) {
    if (auto part = fnd::utf16Substring(text, range.location, range.length)) return *part;
    throw rt::Exception(rt::Exception::RangeError,
                        "Range {" + std::to_string(range.location) + ", " + std::to_string(range.length) +
                            "} is beyond the text's " + std::to_string(fnd::utf16Length(text)) + " units");
}

std::string urlEncodedString(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (isUnreserved(c)) out += ch;
        else appendEscape(out, c);
    }
    return out;
}

std::optional<std::string> urlDecodedString(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    if (!fnd::isValidUTF8(out)) return std::nullopt;
    return out;
}

std::optional<std::string> urlRecodedString(std::string_view text) {
    auto decoded = urlDecodedString(text);
    if (!decoded) return std::nullopt;
    return urlEncodedString(*decoded);
}

std::string urlEscapedOfOccurences(std::string_view text, char character) {
    std::string out;
    for (char ch : text) {
        if (ch == character) appendEscape(out, static_cast<unsigned char>(ch));
        else out += ch;
    }
    return out;
}

// The suffix is what the pattern \([^)]+\)$ matches, found by one scan from the end
// instead of a search that retries every "(" (quadratic on a run of them):
//  - "$" is the end of the text, or the place before one line terminator that ends it;
//  - the ")" there closes the suffix, which opens at the first "(" after the ")" before
//    it, with at least one character in between.
std::string stringByRemovingSocialStreamSuffix(std::string_view text) {
    std::size_t end = text.size();
    if (!text.empty() && text.back() != ')') {
        static constexpr std::string_view terminators[] = {"\r\n", "\n", "\v", "\f", "\r", "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"};
        for (std::string_view t : terminators) {
            if (text.size() >= t.size() && text.substr(text.size() - t.size()) == t) {
                end -= t.size();
                break;
            }
        }
    }
    if (end < 3 || text[end - 1] != ')') return std::string(text);
    const std::size_t close = text.rfind(')', end - 2);
    const std::size_t open = text.find('(', close == std::string_view::npos ? 0 : close + 1);
    if (open == std::string_view::npos || open + 2 >= end) return std::string(text);
    std::string out(text.substr(0, open));
    out += text.substr(end);
    return out;
}

std::string stringByReplacingNewLinesWithHTMLBreaks(std::string_view text) {
    std::string out;
    for (char ch : text) {
        if (ch == '\n') out += "<br/>";
        else out += ch;
    }
    return out;
}

std::string formatViewerNumber(std::int32_t n) {
    if (n <= 9999) return rt::format("%d", n);
    if (n <= 999999) return rt::format("%d.%dk", n / 1000, (n % 1000) / 100);
    std::int32_t rest = n % 1000000;
    if (rest >= 10000) return rt::format("%d.%02dM", n / 1000000, rest / 10000);
    return rt::format("%dM", n / 1000000);
}

}  // namespace zid
