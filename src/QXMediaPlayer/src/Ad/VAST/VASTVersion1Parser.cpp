#include "Ad/VAST/VASTDialectParser.h"

namespace zid {

std::vector<std::string> VASTVersion1Parser::urlChildren(const VASTElement& element) {
    std::vector<std::string> urls;
    for (const VASTElement& child : element.children())
        if (child.hasName("URL")) urls.push_back(child.trimmedText());
    return urls;
}

std::vector<std::string> VASTVersion1Parser::evaluateImpression(const VASTElement& element) const {
    if (!element.hasName("Impression")) return {};
    return urlChildren(element);
}

bool VASTVersion1Parser::evaluateAdChild(const VASTElement& child, VASTAdElement& ad) const {
    if (child.hasName("Impression")) {
        for (auto& url : evaluateImpression(child)) ad.impressions.push_back(std::move(url));
    } else if (child.hasName("TrackingEvents")) {
        ad.trackingEvents = evaluateTrackingEvents(child);
    } else if (child.hasName("Video")) {
        evaluateVideoElement(child, ad);
    } else {
        return false;
    }
    return true;
}

VASTAdList VASTVersion1Parser::evaluateInLineElement(const VASTElement& element) const {
    if (!element.hasName("InLine")) return {};
    auto ad = rt::make<VASTAdElement>();
    for (const VASTElement& child : element.children()) evaluateAdChild(child, *ad);
    return {ad};
}

VASTAdList VASTVersion1Parser::evaluateWrapperElement(const VASTElement& element) const {
    if (!element.hasName("Wrapper")) return {};
    auto ad = rt::make<VASTAdElement>();
    for (const VASTElement& child : element.children()) {
        if (evaluateAdChild(child, *ad) || !child.hasName("VASTAdTagURL")) continue;
        if (VASTElement url = child.child("URL")) ad->wrapperUrl = url.trimmedText();
    }
    return {ad};
}

void VASTVersion1Parser::evaluateVideoElement(const VASTElement& element, VASTAdElement& ad) const {
    if (!element.hasName("Video")) return;
    for (const VASTElement& child : element.children()) {
        if (child.hasName("Duration")) ad.duration = child.text();
        else if (child.hasName("VideoClicks")) ad.videoClicks = evaluateVideoClicks(child);
        else if (child.hasName("MediaFiles")) ad.mediaFiles = evaluateMediaFiles(child);
    }
}

VASTUrlMap VASTVersion1Parser::evaluateVideoClicks(const VASTElement& element) const {
    if (!element.hasName("VideoClicks")) return {};
    VASTUrlMap clicks = emptyVideoClicks();
    for (const VASTElement& child : element.children()) {
        for (auto& [kind, urls] : clicks) {
            if (!child.hasName(kind)) continue;
            addElementUrls(child, urls);
            break;
        }
    }
    return clicks;
}

}  // namespace zid
