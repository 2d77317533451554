#include "Extensions/URLRequestExtensions.h"

#include <string_view>

#include <unicode/utf8.h>

namespace zid {

namespace {

std::string shellQuoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\' || c == '$' || c == '`') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

bool isUtf8(const rt::Data& data) {
    int32_t i = 0;
    const auto length = static_cast<int32_t>(data.size());
    while (i < length) {
        UChar32 c;
        U8_NEXT(data.data(), i, length, c);
        if (c < 0) return false;
    }
    return true;
}

}  // namespace

std::string cURLString(const fnd::URLRequest& request) {
    std::string out = "curl -X " + request.httpMethod();
    for (const auto& [name, value] : request.allHTTPHeaderFields()) out += " -H " + shellQuoted(name + ": " + value);
    if (const auto& body = request.httpBody()) {
        std::string text = isUtf8(*body) ? std::string(body->begin(), body->end()) : std::string("(null)");
        out += " -d " + shellQuoted(text);
    }
    out += " " + shellQuoted(request.url());
    return out;
}

}  // namespace zid
