#include <QXMediaPlayer/Ad/VAST/VASTParser.h>

#include "Ad/VAST/VASTUrlPolicy.h"
#include "Ad/VAST/VASTVersionParser.h"
#include "Ad/VAST/VASTXmlDocument.h"
#include "Ad/AdLogModule.h"

#include <QXFoundation/Log/QXLogger.h>

namespace zid {

namespace {

std::optional<VASTAdList> readDocument(std::string_view document, const std::vector<const rt::Class*>& parsers) {
    VASTXmlDocument xml;
    if (!xml.load(document)) return std::nullopt;
    pugi::xml_node root = xml.root();
    for (const rt::Class* cls : parsers) {
        auto parser = cls ? rt::cast<VASTVersionParser>(cls->instantiate()) : nullptr;
        if (parser && parser->isParsable(root)) return parser->parse(root);
    }
    return std::nullopt;
}

}  // namespace

VASTParser::VASTParser()
    : versionParsers{&VASTVersion1Parser::staticClass(), &VASTVersion2Parser::staticClass()} {}

std::optional<VASTAdList> VASTParser::parse(std::string_view document) const {
    auto ads = readDocument(document, versionParsers);
    if (ads) keepRequestableUrls(*ads);
    return ads;
}

std::optional<VASTAdList> VASTParser::parse(std::string_view document, const VASTAdElement& wrapperContent) const {
    auto ads = readDocument(document, versionParsers);
    if (!ads) return ads;
    for (const auto& ad : *ads) {
        ad->impressions.insert(ad->impressions.end(), wrapperContent.impressions.begin(), wrapperContent.impressions.end());
        for (const auto& [name, urls] : wrapperContent.trackingEvents) ad->trackingEvents[name].insertAll(urls);
        for (const auto& [name, urls] : wrapperContent.videoClicks) ad->videoClicks[name].insertAll(urls);
    }
    // After the merge: a chain of wrappers adds up to one bound, not one per wrapper.
    keepRequestableUrls(*ads);
    return ads;
}

void VASTParser::keepRequestableUrls(VASTAdList& ads) const {
    VASTUrlPolicy policy(maxUrlsPerEvent);
    policy.apply(ads);
    std::string report = policy.report();
    if (!report.empty()) QXLog(kAdLogModule, staticClass(), 3, "VAST document: %@", report);
}

}  // namespace zid
