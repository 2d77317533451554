#include "Ad/VAST/VASTUrlText.h"

#include <QXFoundation/Extensions/StringExtensions.h>
#include <QXFoundation/Extensions/WebURL.h>

namespace zid {

namespace {

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool isUrlByte(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        case '-': case '.': case '_': case '~':
        case ':': case '/': case '?': case '#': case '[': case ']': case '@':
        case '!': case '$': case '&': case '\'': case '(': case ')': case '*': case '+': case ',': case ';': case '=':
            return true;
        default:
            return false;
    }
}

bool isValidEscapeAt(std::string_view text, std::size_t i) {
    return text[i] == '%' && i + 2 < text.size() && isHexDigit(text[i + 1]) && isHexDigit(text[i + 2]);
}

}  // namespace

bool isValidUrlText(std::string_view text) {
    if (text.empty()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            if (!isValidEscapeAt(text, i)) return false;
            i += 2;
        } else if (!isUrlByte(c)) {
            return false;
        }
    }
    return true;
}

std::string mediaUrlEscaped(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (isUrlByte(c) || (c == '%' && isValidEscapeAt(text, i))) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

std::string queryValueEscaped(std::string_view text) { return urlEncodedString(text); }

bool isFetchableUrl(std::string_view url) {
    if (!isWebURL(url) || !isValidUrlText(url)) return false;
    std::size_t slashes = url.find("://");
    if (slashes == std::string_view::npos || slashes != url.find(':')) return false;
    std::string_view rest = url.substr(slashes + 3);
    std::size_t end = rest.find_first_of("/?#");
    return end != 0 && !rest.empty();
}

}  // namespace zid
