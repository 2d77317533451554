#include "QXNetworking/Common/Session/URLComponents.h"

#include <vector>

#include <QXFoundation/Extensions/StringExtensions.h>

namespace zid {

namespace {

bool isAlnum(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

template <class Keep> std::string encode(std::string_view text, Keep keep) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (keep(c)) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

}  // namespace

std::string percentEncodedForPath(std::string_view text) {
    static constexpr std::string_view kept = "!$&'()*+,-./:=@_~";
    return encode(text, [](unsigned char c) { return isAlnum(c) || (c < 0x80 && kept.find(char(c)) != std::string_view::npos); });
}

std::string percentEncodedForQueryComponent(std::string_view text) {
    static constexpr std::string_view kept = "-._~!$'()*,:@/?";
    return encode(text, [](unsigned char c) { return isAlnum(c) || (c < 0x80 && kept.find(char(c)) != std::string_view::npos); });
}

std::optional<URLComponents> URLComponents::parse(std::string_view url) {
    const auto schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos || schemeEnd == 0) return std::nullopt;
    URLComponents parts;
    parts.scheme = std::string(url.substr(0, schemeEnd));
    for (unsigned char c : parts.scheme)
        if (!isAlnum(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
    std::string_view rest = url.substr(schemeEnd + 3);
    if (const auto hash = rest.find('#'); hash != std::string_view::npos) {
        parts.fragment = std::string(rest.substr(hash + 1));
        rest = rest.substr(0, hash);
    }
    if (const auto question = rest.find('?'); question != std::string_view::npos) {
        parts.query = std::string(rest.substr(question + 1));
        rest = rest.substr(0, question);
    }
    const auto slash = rest.find('/');
    parts.host = std::string(rest.substr(0, slash));
    if (parts.host.empty()) return std::nullopt;
    if (slash != std::string_view::npos) parts.percentEncodedPath = std::string(rest.substr(slash));
    return parts;
}

std::string URLComponents::string() const {
    std::string out = scheme + "://" + host + percentEncodedPath;
    if (query) out += "?" + *query;
    if (fragment) out += "#" + *fragment;
    return out;
}

std::vector<std::string> URLComponents::pathComponents() const {
    std::vector<std::string> out;
    if (percentEncodedPath.empty()) return out;
    std::string_view path = percentEncodedPath;
    if (path.front() == '/') {
        out.push_back("/");
        path.remove_prefix(1);
    }
    while (!path.empty()) {
        const auto slash = path.find('/');
        const std::string_view piece = path.substr(0, slash);
        if (!piece.empty()) out.push_back(urlDecodedString(piece).value_or(std::string(piece)));
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return out;
}

std::string URLComponents::lastPathComponent() const {
    const auto components = pathComponents();
    return components.empty() ? std::string() : components.back();
}

std::string URLByAppendingPathComponent(std::string_view url, std::string_view component) {
    auto parts = URLComponents::parse(url);
    if (!parts) return std::string(url);
    std::string path = parts->percentEncodedPath;
    if (path.empty() || path.back() != '/') path.push_back('/');
    path += percentEncodedForPath(component);
    parts->percentEncodedPath = path;
    return parts->string();
}

}  // namespace zid
