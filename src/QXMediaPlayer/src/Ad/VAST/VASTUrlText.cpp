#include "Ad/VAST/VASTUrlText.h"

#include <QXFoundation/Extensions/StringExtensions.h>
#include <QXFoundation/Extensions/WebURL.h>

#include <optional>

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

// A URL's parts by the generic syntax; a part that is absent is not the same as one
// that is empty ("http://h/p?" has an empty query).
struct UrlParts {
    std::string_view scheme;
    std::optional<std::string_view> authority;
    std::string_view path;
    std::optional<std::string_view> query;
    std::optional<std::string_view> fragment;
};

UrlParts splitUrl(std::string_view url, bool withScheme) {
    UrlParts parts;
    if (withScheme) {
        std::size_t colon = url.find(':');
        parts.scheme = url.substr(0, colon);
        url.remove_prefix(colon == std::string_view::npos ? url.size() : colon + 1);
    }
    if (std::size_t hash = url.find('#'); hash != std::string_view::npos) {
        parts.fragment = url.substr(hash + 1);
        url = url.substr(0, hash);
    }
    if (std::size_t question = url.find('?'); question != std::string_view::npos) {
        parts.query = url.substr(question + 1);
        url = url.substr(0, question);
    }
    if (url.substr(0, 2) == "//") {
        url.remove_prefix(2);
        std::size_t slash = url.find('/');
        parts.authority = url.substr(0, slash);
        url.remove_prefix(slash == std::string_view::npos ? url.size() : slash);
    }
    parts.path = url;
    return parts;
}

// The path with its "." and ".." segments applied.
std::string withoutDotSegments(std::string_view path) {
    std::string out;
    auto dropLastSegment = [&out] {
        std::size_t slash = out.rfind('/');
        out.erase(slash == std::string::npos ? 0 : slash);
    };
    while (!path.empty()) {
        if (path.substr(0, 3) == "../") {
            path.remove_prefix(3);
        } else if (path.substr(0, 2) == "./") {
            path.remove_prefix(2);
        } else if (path.substr(0, 3) == "/./") {
            path.remove_prefix(2);
        } else if (path == "/.") {
            path = "/";
        } else if (path.substr(0, 4) == "/../") {
            path.remove_prefix(3);
            dropLastSegment();
        } else if (path == "/..") {
            path = "/";
            dropLastSegment();
        } else if (path == "." || path == "..") {
            path = {};
        } else {
            std::size_t end = path.find('/', path[0] == '/' ? 1 : 0);
            if (end == std::string_view::npos) end = path.size();
            out += path.substr(0, end);
            path.remove_prefix(end);
        }
    }
    return out;
}

}  // namespace

std::string resolvedUrl(std::string_view reference, std::string_view base) {
    UrlParts b = splitUrl(base, true);
    UrlParts r = splitUrl(reference, false);
    std::optional<std::string_view> authority = r.authority ? r.authority : b.authority;
    std::optional<std::string_view> query = r.query;
    std::string path;
    if (r.authority) {
        path = withoutDotSegments(r.path);
    } else if (r.path.empty()) {
        path = b.path;
        if (!query) query = b.query;
    } else if (r.path[0] == '/') {
        path = withoutDotSegments(r.path);
    } else {
        std::string merged;
        if (b.authority && b.path.empty()) {
            merged = "/";
        } else if (std::size_t slash = b.path.rfind('/'); slash != std::string_view::npos) {
            merged = b.path.substr(0, slash + 1);
        }
        merged += r.path;
        path = withoutDotSegments(merged);
    }
    std::string url(b.scheme);
    url += ':';
    if (authority) url.append("//").append(*authority);
    url += path;
    if (query) url.append("?").append(*query);
    if (r.fragment) url.append("#").append(*r.fragment);
    return url;
}

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
