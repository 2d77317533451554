#include <QXMediaPlayer/Ad/VAST/VASTParser.h>

#include "Ad/VAST/VASTUrlPolicy.h"
#include "Ad/VAST/VASTDialectParser.h"
#include "Ad/VAST/VASTXmlDocument.h"
#include "Ad/AdLogModule.h"

#include <QXFoundation/Log/QXLogger.h>

namespace zid {

namespace {

std::optional<VASTAdList> readDocument(std::string_view document, const std::vector<const rt::Class*>& parsers) {
    VASTXmlDocument xml;
    if (!xml.load(document)) return std::nullopt;
    VASTElement root = xml.rootElement();
    for (const rt::Class* cls : parsers) {
        auto parser = cls ? rt::cast<VASTVersionParser>(cls->instantiate()) : nullptr;
        if (!parser || !parser->isParsable(root)) continue;
        VASTAdList ads = parser->parse(root);
        std::erase_if(ads, [](const rt::Ref<VASTAdElement>& ad) { return !ad; });  // a host's reader may give holes
        return ads;
    }
    return std::nullopt;
}

}  // namespace

VASTParser::VASTParser()
    : versionParsers{&VASTVersion1Parser::staticClass(), &VASTVersion2Parser::staticClass()} {}

std::optional<VASTAdList> VASTParser::parse(std::string_view document, std::string_view documentUrl) const {
    auto ads = readDocument(document, versionParsers);
    if (ads) keepRequestableUrls(*ads, documentUrl);
    return ads;
}

std::optional<VASTAdList> VASTParser::parse(std::string_view document, const VASTAdElement& wrapperContent,
                                            std::string_view documentUrl) const {
    // The document's own URLs are resolved and bounded before the wrapper's join them, so
    // a document with many cannot crowd out those of the wrappers above it.
    auto ads = parse(document, documentUrl);
    if (!ads) return ads;
    for (const auto& ad : *ads) {
        ad->impressions.insert(ad->impressions.end(), wrapperContent.impressions.begin(), wrapperContent.impressions.end());
        for (const auto& [name, urls] : wrapperContent.trackingEvents) ad->trackingEvents[name].insertAll(urls);
        for (const auto& [name, urls] : wrapperContent.videoClicks) ad->videoClicks[name].insertAll(urls);
    }
    return ads;
}

void VASTParser::keepRequestableUrls(VASTAdList& ads, std::string_view documentUrl) const {
    VASTUrlPolicy policy(maxUrlsPerEvent, documentUrl);
    policy.apply(ads);
    std::string report = policy.report();
    if (!report.empty()) QXLog(kAdLogModule, staticClass(), 3, "VAST document: %@", report);
}

}  // namespace zid
