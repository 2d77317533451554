#include "Ad/VAST/VASTDialectParser.h"

#include <cstdlib>

namespace zid {

bool VASTVersion2Parser::isParsable(const VASTElement& root) const {
    if (!root.hasName("VAST")) return false;
    std::optional<std::string_view> version = root.attribute("version");
    return version && std::strtod(std::string(*version).c_str(), nullptr) > 1.9999;
}

std::string VASTVersion2Parser::fixUrlString(std::string_view text) {
    std::string fixed;
    fixed.reserve(text.size());
    for (char c : text) {
        if (c == ' ') fixed += "%20";
        else fixed += c;
    }
    return fixed;
}

VASTAdList VASTVersion2Parser::evaluateInLineElement(const VASTElement& element) const {
    if (!element.hasName("InLine")) return {};
    std::vector<std::string> impressions;
    VASTAdList ads;
    for (const VASTElement& child : element.children()) {
        if (child.hasName("Impression")) {
            impressions.push_back(child.trimmedText());
        } else if (child.hasName("Creatives")) {
            VASTAdList more = evaluateCreatives(child);
            ads.insert(ads.end(), more.begin(), more.end());
        }
    }
    for (auto& ad : ads) ad->impressions.insert(ad->impressions.end(), impressions.begin(), impressions.end());
    return ads;
}

VASTAdList VASTVersion2Parser::evaluateCreatives(const VASTElement& element) const {
    VASTAdList ads;
    if (!element.hasName("Creatives")) return ads;
    for (const VASTElement& child : element.children())
        if (auto ad = evaluateCreative(child)) ads.push_back(std::move(ad));
    return ads;
}

rt::Ref<VASTAdElement> VASTVersion2Parser::evaluateCreative(const VASTElement& element) const {
    if (!element.hasName("Creative")) return nullptr;
    VASTElement linear = element.child("Linear");
    return linear ? evaluateLinear(linear) : nullptr;
}

rt::Ref<VASTAdElement> VASTVersion2Parser::evaluateLinear(const VASTElement& element) const {
    if (!element.hasName("Linear")) return nullptr;
    auto ad = rt::make<VASTAdElement>();
    for (const VASTElement& child : element.children()) {
        if (child.hasName("TrackingEvents")) ad->trackingEvents = evaluateTrackingEvents(child);
        else if (child.hasName("VideoClicks")) ad->videoClicks = evaluateVideoClicks(child);
        else if (child.hasName("MediaFiles")) ad->mediaFiles = evaluateMediaFiles(child);
        else if (child.hasName("Duration")) ad->duration = child.text();
    }
    return ad;
}

VASTAdList VASTVersion2Parser::evaluateWrapperElement(const VASTElement& element) const {
    if (!element.hasName("Wrapper")) return {};
    auto wrapper = rt::make<VASTAdElement>();
    std::vector<std::string> impressions;
    VASTAdList creatives;
    std::optional<std::string> tag;
    for (const VASTElement& child : element.children()) {
        if (child.hasName("Impression")) impressions.push_back(child.trimmedText());
        else if (child.hasName("Creatives")) creatives = evaluateCreatives(child);
        else if (child.hasName("VASTAdTagURI")) tag = child.text();
    }
    // Ad servers write the tag over several lines inside CDATA: the line breaks around
    // it are layout, not address.
    if (tag) wrapper->wrapperUrl = fixUrlString(trimUrlString(*tag));
    wrapper->impressions = std::move(impressions);
    for (const auto& creative : creatives) {
        for (const auto& [name, urls] : creative->trackingEvents) wrapper->trackingEvents[name].insertAll(urls);
        for (const auto& [name, urls] : creative->videoClicks) wrapper->videoClicks[name].insertAll(urls);
    }
    return {wrapper};
}

VASTUrlMap VASTVersion2Parser::evaluateVideoClicks(const VASTElement& element) const {
    if (!element.hasName("VideoClicks")) return {};
    VASTUrlMap clicks = emptyVideoClicks();
    for (const VASTElement& child : element.children()) {
        if (child.hasName("ClickThrough") || child.hasName("ClickTracking"))
            addElementUrls(child, clicks[child.hasName(kVastClient_ClickThroughTag) ? kVastClient_ClickThroughTag
                                                                                     : kVastClient_ClickTrackingTag]);
        else if (child.hasName("CustomClicks"))
            clicks[kVastClient_CustomClicksTag].insert(child.text());
    }
    return clicks;
}

}  // namespace zid
