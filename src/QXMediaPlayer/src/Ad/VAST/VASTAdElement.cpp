#include <QXMediaPlayer/Ad/VAST/VASTAdElement.h>

#include "Ad/VAST/VASTUrlText.h"

#include <rt/Format.h>

#include <algorithm>

namespace zid {

const std::string kVastClient_ClickThroughTag = "ClickThrough";
const std::string kVastClient_ClickTrackingTag = "ClickTracking";
const std::string kVastClient_CustomClicksTag = "CustomClicks";

namespace {

bool isMP4(const std::optional<std::string>& type) {
    static constexpr std::string_view kMP4 = "video/mp4";
    if (!type || type->size() != kMP4.size()) return false;
    return std::equal(type->begin(), type->end(), kMP4.begin(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
}

std::string optionalText(const std::optional<std::string>& text) { return text ? "\"" + *text + "\"" : "(null)"; }

}  // namespace

std::string VASTMediaFile::description() const {
    return rt::format("<VASTMediaFile id=%@ type=%@ delivery=%@ %@x%@ url=%@>", optionalText(identification),
                      optionalText(type), static_cast<long long>(delivery), static_cast<long long>(width),
                      static_cast<long long>(height), optionalText(url));
}

bool VASTAdElement::testIfPlayableMediaFileIsAvailable() const {
    return std::any_of(mediaFiles.begin(), mediaFiles.end(),
                       [](const rt::Ref<VASTMediaFile>& file) { return file->url && isMP4(file->type); });
}

void VASTAdElement::urlEncodeIfNeeded() {
    std::erase_if(mediaFiles, [](const rt::Ref<VASTMediaFile>& file) {
        if (!file->url) return true;
        if (isValidUrlText(*file->url)) return false;
        file->url = mediaUrlEscaped(*file->url);
        return !isValidUrlText(*file->url);
    });
}

std::vector<std::string> VASTAdElement::getParametersFromString(const std::string& text) {
    std::vector<std::string> tokens;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t open = text.find('{', from);
        std::size_t close = text.find('}', from);
        if (open == std::string::npos || close == std::string::npos || close <= open) break;
        tokens.push_back(text.substr(open, close - open + 1));
        from = close + 1;
    }
    return tokens;
}

std::string VASTAdElement::getString(const std::string& url, const VASTParameterValues* values) {
    std::size_t question = url.find('?');
    if (question == std::string::npos) return url;
    std::string result = url.substr(0, question + 1);
    std::string_view query = std::string_view(url).substr(question + 1);
    bool firstPair = true;
    std::size_t from = 0;
    while (true) {
        std::size_t amp = query.find('&', from);
        std::string_view pair = query.substr(from, amp == std::string_view::npos ? std::string_view::npos : amp - from);
        if (!firstPair) result += '&';
        firstPair = false;
        std::size_t equals = pair.find('=');
        if (equals == std::string_view::npos || pair.find('{', equals) == std::string_view::npos) {
            result += pair;
        } else {
            std::string value(pair.substr(equals + 1));
            for (const auto& token : getParametersFromString(value)) {
                std::string replacement;
                if (values)
                    if (auto it = values->find(token); it != values->end()) replacement = it->second;
                for (std::size_t at = value.find(token); at != std::string::npos;
                     at = value.find(token, at + replacement.size()))
                    value.replace(at, token.size(), replacement);
            }
            result += pair.substr(0, equals + 1);
            result += value;
        }
        if (amp == std::string_view::npos) break;
        from = amp + 1;
    }
    return result;
}

void VASTAdElement::setParametersWithValues(const VASTParameterValues* values) {
    for (auto& impression : impressions) impression = getString(impression, values);
    auto fill = [values](VASTUrlMap& map) {
        for (auto& [name, urls] : map) {
            VASTUrlSet filled;
            for (const auto& url : urls) filled.insert(getString(url, values));
            urls = std::move(filled);
        }
    };
    fill(trackingEvents);
    fill(videoClicks);
    if (wrapperUrl) wrapperUrl = getString(*wrapperUrl, values);
}

std::string VASTAdElement::description() const {
    return rt::format("<VASTAdElement impressions=%@ mediaFiles=%@ duration=%@ wrapperUrl=%@>",
                      static_cast<long long>(impressions.size()), static_cast<long long>(mediaFiles.size()),
                      optionalText(duration), optionalText(wrapperUrl));
}

}  // namespace zid
