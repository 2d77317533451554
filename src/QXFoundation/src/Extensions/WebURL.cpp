#include <QXFoundation/Extensions/WebURL.h>

namespace zid {

std::optional<std::string> urlScheme(std::string_view text) {
    auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    std::string scheme;
    scheme.reserve(colon);
    for (std::size_t i = 0; i < colon; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        bool letter = c >= 'a' && c <= 'z';
        if (i == 0 ? !letter : !(letter || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))
            return std::nullopt;
        scheme.push_back(c);
    }
    return scheme;
}

bool isWebURL(std::string_view text) {
    auto scheme = urlScheme(text);
    return scheme && (*scheme == "http" || *scheme == "https");
}

bool hasNonWebScheme(std::string_view text) { return urlScheme(text) && !isWebURL(text); }

}  // namespace zid
