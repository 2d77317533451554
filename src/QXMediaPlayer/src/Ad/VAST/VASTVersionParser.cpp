#include "Ad/VAST/VASTVersionParser.h"

#include "Ad/VAST/VASTXmlDocument.h"

#include <cstring>
#include <limits>

namespace zid {

std::string VASTVersionParser::trimUrlString(std::string_view text) { return VASTXmlDocument::trimmed(text); }

std::int32_t VASTVersionParser::leadingInt32(std::string_view text) {
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

pugi::xml_node VASTVersionParser::firstElementChild(pugi::xml_node node) {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element) return child;
    return {};
}

VASTAdList VASTVersionParser::evaluateVastElement(pugi::xml_node root, const char* rootName) const {
    VASTAdList ads;
    if (!isNamed(root, rootName)) return ads;
    for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
        VASTAdList more = evaluateAdElement(child);
        ads.insert(ads.end(), more.begin(), more.end());
    }
    return ads;
}

VASTAdList VASTVersionParser::evaluateAdElement(pugi::xml_node element) const {
    if (!isNamed(element, "Ad")) return {};
    pugi::xml_node first = firstElementChild(element);
    if (isNamed(first, "InLine")) return evaluateInLineElement(first);
    if (isNamed(first, "Wrapper")) return evaluateWrapperElement(first);
    return {};
}

VASTUrlMap VASTVersionParser::evaluateTrackingEvents(pugi::xml_node element) const {
    VASTUrlMap map;
    if (!isNamed(element, "TrackingEvents")) return map;
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling())
        if (isNamed(child, "Tracking")) evaluateTrackingEvent(child, map);
    return map;
}

void VASTVersionParser::evaluateTrackingEvent(pugi::xml_node element, VASTUrlMap& dictionary) const {
    pugi::xml_attribute event = element.attribute("event");
    if (!event) return;
    addTrackingUrls(element, dictionary[trimUrlString(event.value())]);
}

VASTUrlMap VASTVersionParser::emptyVideoClicks() {
    // Emplaced in key order: an initializer list would copy each entry once more.
    VASTUrlMap clicks;
    for (const std::string* key : {&kVastClient_ClickThroughTag, &kVastClient_ClickTrackingTag, &kVastClient_CustomClicksTag})
        clicks.emplace_hint(clicks.end(), *key, VASTUrlSet());
    return clicks;
}

std::vector<rt::Ref<VASTMediaFile>> VASTVersionParser::evaluateMediaFiles(pugi::xml_node element) const {
    std::vector<rt::Ref<VASTMediaFile>> files;
    if (!isNamed(element, "MediaFiles")) return files;
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (!isNamed(child, "MediaFile")) continue;
        auto file = rt::make<VASTMediaFile>();
        file->url = mediaFileUrl(child);
        auto flag = [](const char* value, bool& into) {
            if (sameText(value, "true")) into = true;
            else if (sameText(value, "false")) into = false;
        };
        // One walk over the attributes; a repeated name cannot occur (the XML policy).
        for (pugi::xml_attribute a = child.first_attribute(); a; a = a.next_attribute()) {
            const char* name = a.name();
            const char* value = a.value();
            if (sameText(name, "id")) {
                file->identification = value;
            } else if (sameText(name, "delivery")) {
                if (sameText(value, "streaming")) file->delivery = VASTDelivery::Streaming;
                else if (sameText(value, "progressive")) file->delivery = VASTDelivery::Progressive;
            } else if (sameText(name, "type")) {
                file->type = value;
            } else if (sameText(name, "bitrate")) {
                file->bitrate = leadingInt32(value);
            } else if (sameText(name, "width")) {
                file->width = leadingInt32(value);
            } else if (sameText(name, "height")) {
                file->height = leadingInt32(value);
            } else if (sameText(name, "apiFramework")) {
                file->apiFramework = value;
            } else if (sameText(name, "scalable")) {
                flag(value, file->scalable);
            } else if (sameText(name, "maintainAspectRatio")) {
                flag(value, file->maintainAspectRatio);
            }
        }
        files.push_back(std::move(file));
    }
    return files;
}

}  // namespace zid
