#include "Ad/VAST/VASTVersionParser.h"
#include "Ad/VAST/VASTXmlDocument.h"

namespace zid {

bool VASTVersion1Parser::isParsable(pugi::xml_node root) const { return isNamed(root, "VideoAdServingTemplate"); }

VASTAdList VASTVersion1Parser::parse(pugi::xml_node root) const {
    return evaluateVastElement(root, "VideoAdServingTemplate");
}

std::vector<std::string> VASTVersion1Parser::urlChildren(pugi::xml_node element) {
    std::vector<std::string> urls;
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling())
        if (isNamed(child, "URL")) urls.push_back(VASTXmlDocument::trimmedTextOf((child)));
    return urls;
}

std::vector<std::string> VASTVersion1Parser::evaluateImpression(pugi::xml_node element) const {
    if (!isNamed(element, "Impression")) return {};
    return urlChildren(element);
}

bool VASTVersion1Parser::evaluateAdChild(pugi::xml_node child, VASTAdElement& ad) const {
    if (isNamed(child, "Impression")) {
        for (auto& url : evaluateImpression(child)) ad.impressions.push_back(std::move(url));
    } else if (isNamed(child, "TrackingEvents")) {
        ad.trackingEvents = evaluateTrackingEvents(child);
    } else if (isNamed(child, "Video")) {
        evaluateVideoElement(child, ad);
    } else {
        return false;
    }
    return true;
}

VASTAdList VASTVersion1Parser::evaluateInLineElement(pugi::xml_node element) const {
    if (!isNamed(element, "InLine")) return {};
    auto ad = rt::make<VASTAdElement>();
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) evaluateAdChild(child, *ad);
    return {ad};
}

VASTAdList VASTVersion1Parser::evaluateWrapperElement(pugi::xml_node element) const {
    if (!isNamed(element, "Wrapper")) return {};
    auto ad = rt::make<VASTAdElement>();
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (evaluateAdChild(child, *ad) || !isNamed(child, "VASTAdTagURL")) continue;
        if (pugi::xml_node url = child.child("URL")) ad->wrapperUrl = VASTXmlDocument::trimmedTextOf((url));
    }
    return {ad};
}

void VASTVersion1Parser::evaluateVideoElement(pugi::xml_node element, VASTAdElement& ad) const {
    if (!isNamed(element, "Video")) return;
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (isNamed(child, "Duration")) ad.duration = VASTXmlDocument::textOf(child);
        else if (isNamed(child, "VideoClicks")) ad.videoClicks = evaluateVideoClicks(child);
        else if (isNamed(child, "MediaFiles")) ad.mediaFiles = evaluateMediaFiles(child);
    }
}

VASTUrlMap VASTVersion1Parser::evaluateVideoClicks(pugi::xml_node element) const {
    if (!isNamed(element, "VideoClicks")) return {};
    VASTUrlMap clicks = emptyVideoClicks();
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        auto it = clicks.find(child.name());
        if (it == clicks.end()) continue;
        for (auto& url : urlChildren(child)) it->second.insert(std::move(url));
    }
    return clicks;
}

void VASTVersion1Parser::addTrackingUrls(pugi::xml_node tracking, VASTUrlSet& urls) const {
    for (auto& url : urlChildren(tracking)) urls.insert(std::move(url));
}

std::optional<std::string> VASTVersion1Parser::mediaFileUrl(pugi::xml_node mediaFile) const {
    pugi::xml_node url = mediaFile.child("URL");
    if (!url) return std::nullopt;
    return VASTXmlDocument::trimmedTextOf((url));
}

}  // namespace zid
