#include <QXMediaPlayer/Ad/VAST/VASTParser.h>

#include "Ad/VAST/VASTVersionParser.h"
#include "Ad/VAST/VASTXmlDocument.h"

#include <memory>

namespace zid {

std::optional<VASTAdList> VASTParser::parse(std::string_view document) const {
    VASTXmlDocument xml;
    if (!xml.load(document)) return std::nullopt;
    pugi::xml_node root = xml.root();
    // The dialects in the order they are tried; a parser is made fresh per document.
    std::unique_ptr<VASTVersionParser> parsers[] = {std::make_unique<VASTVersion1Parser>(),
                                                    std::make_unique<VASTVersion2Parser>()};
    for (const auto& parser : parsers)
        if (parser->isParsable(root)) return parser->parse(root);
    return std::nullopt;
}

std::optional<VASTAdList> VASTParser::parse(std::string_view document, const VASTAdElement& wrapperContent) const {
    auto ads = parse(document);
    if (!ads) return ads;
    for (const auto& ad : *ads) {
        ad->impressions.insert(ad->impressions.end(), wrapperContent.impressions.begin(), wrapperContent.impressions.end());
        for (const auto& [name, urls] : wrapperContent.trackingEvents) ad->trackingEvents[name].insertAll(urls);
        for (const auto& [name, urls] : wrapperContent.videoClicks) ad->videoClicks[name].insertAll(urls);
    }
    return ads;
}

}  // namespace zid
