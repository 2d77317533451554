#include "Ad/VAST/VASTDialectParser.h"

#include "Ad/VAST/VASTXmlDocument.h"

#include <limits>

namespace zid {

std::string VASTDialectParser::trimUrlString(std::string_view text) { return VASTXmlDocument::trimmed(text); }

std::int32_t VASTDialectParser::leadingInt32(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t limit = std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) value = limit;
    }
    if (negative) return static_cast<std::int32_t>(-value);
    return static_cast<std::int32_t>(std::min<std::int64_t>(value, limit - 1));
}

bool VASTDialectParser::isParsable(const VASTElement& root) const { return root.hasName(rootName_); }

VASTAdList VASTDialectParser::parse(const VASTElement& root) const {
    VASTAdList ads;
    if (!root.hasName(rootName_)) return ads;
    for (const VASTElement& child : root.children()) {
        VASTAdList more = evaluateAdElement(child);
        ads.insert(ads.end(), more.begin(), more.end());
    }
    return ads;
}

VASTAdList VASTDialectParser::evaluateAdElement(const VASTElement& element) const {
    if (!element.hasName("Ad")) return {};
    VASTElement first = element.firstChild();
    if (first.hasName("InLine")) return evaluateInLineElement(first);
    if (first.hasName("Wrapper")) return evaluateWrapperElement(first);
    return {};
}

VASTUrlMap VASTDialectParser::evaluateTrackingEvents(const VASTElement& element) const {
    VASTUrlMap map;
    if (!element.hasName("TrackingEvents")) return map;
    for (const VASTElement& child : element.children())
        if (child.hasName("Tracking")) evaluateTrackingEvent(child, map);
    return map;
}

void VASTDialectParser::evaluateTrackingEvent(const VASTElement& element, VASTUrlMap& dictionary) const {
    std::optional<std::string_view> event = element.attribute("event");
    if (!event) return;
    addElementUrls(element, dictionary[trimUrlString(*event)]);
}

void VASTDialectParser::addElementUrls(const VASTElement& element, VASTUrlSet& urls) const {
    if (urls_ == UrlPlace::OwnText) {
        urls.insert(element.trimmedText());
        return;
    }
    for (const VASTElement& child : element.children())
        if (child.hasName("URL")) urls.insert(child.trimmedText());
}

std::optional<std::string> VASTDialectParser::mediaFileUrl(const VASTElement& mediaFile) const {
    if (urls_ == UrlPlace::OwnText) return mediaFile.trimmedText();
    VASTElement url = mediaFile.child("URL");
    if (!url) return std::nullopt;
    return url.trimmedText();
}

VASTUrlMap VASTDialectParser::emptyVideoClicks() {
    // Emplaced in key order: an initializer list would copy each entry once more.
    VASTUrlMap clicks;
    for (const std::string* key : {&kVastClient_ClickThroughTag, &kVastClient_ClickTrackingTag, &kVastClient_CustomClicksTag})
        clicks.emplace_hint(clicks.end(), *key, VASTUrlSet());
    return clicks;
}

std::vector<rt::Ref<VASTMediaFile>> VASTDialectParser::evaluateMediaFiles(const VASTElement& element) const {
    std::vector<rt::Ref<VASTMediaFile>> files;
    if (!element.hasName("MediaFiles")) return files;
    for (const VASTElement& child : element.children()) {
        if (!child.hasName("MediaFile")) continue;
        auto file = rt::make<VASTMediaFile>();
        file->url = mediaFileUrl(child);
        auto flag = [](std::string_view value, bool& into) {
            if (value == "true") into = true;
            else if (value == "false") into = false;
        };
        // One walk over the attributes; a repeated name cannot occur (the XML policy).
        for (VASTAttribute a : child.attributes()) {
            std::string_view name = a.name, value = a.value;
            if (name == "id") {
                file->identification = value;
            } else if (name == "delivery") {
                if (value == "streaming") file->delivery = VASTDelivery::Streaming;
                else if (value == "progressive") file->delivery = VASTDelivery::Progressive;
            } else if (name == "type") {
                file->type = value;
            } else if (name == "bitrate") {
                file->bitrate = leadingInt32(value);
            } else if (name == "width") {
                file->width = leadingInt32(value);
            } else if (name == "height") {
                file->height = leadingInt32(value);
            } else if (name == "apiFramework") {
                file->apiFramework = value;
            } else if (name == "scalable") {
                flag(value, file->scalable);
            } else if (name == "maintainAspectRatio") {
                flag(value, file->maintainAspectRatio);
            }
        }
        files.push_back(std::move(file));
    }
    return files;
}

}  // namespace zid
