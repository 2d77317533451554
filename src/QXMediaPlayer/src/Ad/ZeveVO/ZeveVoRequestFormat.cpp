#include "Ad/ZeveVO/ZeveVoRequestFormat.h"

#include "Ad/VAST/VASTUrlText.h"
#include "Ad/VAST/VASTXmlDocument.h"

#include <array>

namespace zid {

ZeveVoFormatPairs ZeveVoRequestFormat::parse(std::string_view format) {
    ZeveVoFormatPairs pairs;
    std::size_t from = 0;
    while (from <= format.size()) {
        std::size_t comma = format.find(',', from);
        std::string_view piece = format.substr(from, comma == std::string_view::npos ? std::string_view::npos : comma - from);
        std::size_t equals = piece.find('=');
        if (equals != std::string_view::npos && piece.find('=', equals + 1) == std::string_view::npos)
            pairs.emplace_back(VASTXmlDocument::trimmed(piece.substr(0, equals)),
                               VASTXmlDocument::trimmed(piece.substr(equals + 1)));
        if (comma == std::string_view::npos) break;
        from = comma + 1;
    }
    return pairs;
}

ZeveVoFormatPairs ZeveVoRequestFormat::defaultPairs(const std::string& siteURL, const std::string& pageURL) {
    return {{"zid", "$ZID"},           {"url", siteURL},           {"pageUrl", pageURL},   {"pageUrlOv", pageURL},
            {"duration", "$DURATION"}, {"categories", "$CATEGORIES"}, {"id", "$CONTENTID"}, {"a.ua", "$USERAGENT"},
            {"a.idfa", "$IDFA"},       {"cb", "$CB"},              {"title", "$TITLE"},    {"keywords", "$KEYWORDS"},
            {"description", "$DESCRIPTION"}};
}

std::string ZeveVoRequestFormat::substitute(std::string_view value, const ZeveVoPlaceholderValues& v) {
    const std::array<std::pair<std::string_view, const std::string*>, 10> table{{
        {"$ZID", &v.zoneId},
        {"$DURATION", &v.duration},
        {"$CATEGORIES", &v.categories},
        {"$CONTENTID", &v.contentId},
        {"$USERAGENT", &v.userAgent},
        {"$IDFA", &v.idfa},
        {"$CB", &v.cb},
        {"$TITLE", &v.title},
        {"$KEYWORDS", &v.keywords},
        {"$DESCRIPTION", &v.description},
    }};
    std::string out;
    out.reserve(value.size());
    std::size_t i = 0;
    while (i < value.size()) {
        std::size_t dollar = value.find('$', i);
        if (dollar == std::string_view::npos) {
            out.append(value.substr(i));
            break;
        }
        out.append(value.substr(i, dollar - i));
        i = dollar;
        bool replaced = false;
        for (const auto& [name, replacement] : table) {
            if (value.compare(i, name.size(), name) == 0) {
                out += *replacement;
                i += name.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) out += value[i++];
    }
    return out;
}

std::string ZeveVoRequestFormat::appendUrlParameter(std::string url, std::string_view key, std::string_view value) {
    if (url.empty() || url.back() != '?') url += '&';
    url += key;
    url += '=';
    url += queryValueEscaped(value);
    return url;
}

std::string ZeveVoRequestFormat::cutDescription(std::string_view text) {
    std::size_t codePoints = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // A code point starts at every byte that is not a continuation byte.
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && ++codePoints > kMaxDescriptionCodePoints)
            return std::string(text.substr(0, i));
    }
    return std::string(text);
}

std::string ZeveVoRequestFormat::userAgent(const std::string& systemVersion) { return "iPhone iOS " + systemVersion; }

}  // namespace zid
