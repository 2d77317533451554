#include "Ad/VAST/VASTVersionParser.h"
#include "Ad/VAST/VASTXmlDocument.h"

#include <cstdlib>

namespace zid {

bool VASTVersion2Parser::isParsable(pugi::xml_node root) const {
    if (!isNamed(root, "VAST")) return false;
    pugi::xml_attribute version = root.attribute("version");
    return version && std::strtod(version.value(), nullptr) > 1.9999;
}

VASTAdList VASTVersion2Parser::parse(pugi::xml_node root) const { return evaluateVastElement(root, "VAST"); }

std::string VASTVersion2Parser::fixUrlString(std::string_view text) {
    std::string fixed;
    fixed.reserve(text.size());
    for (char c : text) {
        if (c == ' ') fixed += "%20";
        else fixed += c;
    }
    return fixed;
}

VASTAdList VASTVersion2Parser::evaluateInLineElement(pugi::xml_node element) const {
    if (!isNamed(element, "InLine")) return {};
    std::vector<std::string> impressions;
    VASTAdList ads;
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (isNamed(child, "Impression")) {
            impressions.push_back(VASTXmlDocument::trimmedTextOf((child)));
        } else if (isNamed(child, "Creatives")) {
            VASTAdList more = evaluateCreatives(child);
            ads.insert(ads.end(), more.begin(), more.end());
        }
    }
    for (auto& ad : ads) ad->impressions.insert(ad->impressions.end(), impressions.begin(), impressions.end());
    return ads;
}

VASTAdList VASTVersion2Parser::evaluateCreatives(pugi::xml_node element) const {
    VASTAdList ads;
    if (!isNamed(element, "Creatives")) return ads;
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling())
        if (auto ad = evaluateCreative(child)) ads.push_back(std::move(ad));
    return ads;
}

rt::Ref<VASTAdElement> VASTVersion2Parser::evaluateCreative(pugi::xml_node element) const {
    if (!isNamed(element, "Creative")) return nullptr;
    pugi::xml_node linear = element.child("Linear");
    return linear ? evaluateLinear(linear) : nullptr;
}

rt::Ref<VASTAdElement> VASTVersion2Parser::evaluateLinear(pugi::xml_node element) const {
    if (!isNamed(element, "Linear")) return nullptr;
    auto ad = rt::make<VASTAdElement>();
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (isNamed(child, "TrackingEvents")) ad->trackingEvents = evaluateTrackingEvents(child);
        else if (isNamed(child, "VideoClicks")) ad->videoClicks = evaluateVideoClicks(child);
        else if (isNamed(child, "MediaFiles")) ad->mediaFiles = evaluateMediaFiles(child);
        else if (isNamed(child, "Duration")) ad->duration = VASTXmlDocument::textOf(child);
    }
    return ad;
}

VASTAdList VASTVersion2Parser::evaluateWrapperElement(pugi::xml_node element) const {
    if (!isNamed(element, "Wrapper")) return {};
    auto wrapper = rt::make<VASTAdElement>();
    std::vector<std::string> impressions;
    VASTAdList creatives;
    std::optional<std::string> tag;
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (isNamed(child, "Impression")) impressions.push_back(VASTXmlDocument::trimmedTextOf((child)));
        else if (isNamed(child, "Creatives")) creatives = evaluateCreatives(child);
        else if (isNamed(child, "VASTAdTagURI")) tag = VASTXmlDocument::textOf(child);
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

VASTUrlMap VASTVersion2Parser::evaluateVideoClicks(pugi::xml_node element) const {
    if (!isNamed(element, "VideoClicks")) return {};
    VASTUrlMap clicks = emptyVideoClicks();
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (isNamed(child, "ClickThrough") || isNamed(child, "ClickTracking"))
            clicks[child.name()].insert(VASTXmlDocument::trimmedTextOf((child)));
        else if (isNamed(child, "CustomClicks"))
            clicks[kVastClient_CustomClicksTag].insert(VASTXmlDocument::textOf(child));
    }
    return clicks;
}

void VASTVersion2Parser::addTrackingUrls(pugi::xml_node tracking, VASTUrlSet& urls) const {
    urls.insert(VASTXmlDocument::trimmedTextOf(tracking));
}

std::optional<std::string> VASTVersion2Parser::mediaFileUrl(pugi::xml_node mediaFile) const {
    return VASTXmlDocument::trimmedTextOf((mediaFile));
}

}  // namespace zid
