// VAST documents come from ad servers. Whatever the text, the reader either refuses it
// or answers ads whose every URL is valid UTF-8 text, and filling and repairing them
// keeps it so.

#include <cstdint>
#include <cstdlib>

#include <QXMediaPlayer/Ad/VAST/VASTParser.h>

#include "Ad/VAST/VASTUrlText.h"
#include "Ad/VAST/VASTXmlDocument.h"
#include "FuzzInput.h"

namespace {
void check(const std::string& text) {
    if (!zid::isValidUTF8(text)) std::abort();
}
void check(const zid::VASTUrlMap& map) {
    for (const auto& [name, urls] : map) {
        check(name);
        for (const auto& url : urls) check(url);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    zidfuzz::reached();  // the whole input is the document
    auto parser = rt::make<zid::VASTParser>();
    auto ads = parser->parse(text);
    if (!ads) return 0;
    if (!zid::isValidUTF8(text)) std::abort();  // malformed bytes never get through
    for (const auto& ad : *ads) {
        ad->setParametersWithValues(nullptr);
        ad->urlEncodeIfNeeded();
        for (const auto& url : ad->impressions) check(url);
        check(ad->trackingEvents);
        check(ad->videoClicks);
        if (ad->wrapperUrl) check(*ad->wrapperUrl);
        for (const auto& file : ad->mediaFiles) {
            if (!file->url || !zid::isValidUrlText(*file->url)) std::abort();  // repaired or removed
        }
        // Merging an ad into the next document's ads keeps each URL once.
        auto merged = parser->parse(text, *ad);
        if (!merged) std::abort();
    }
    return 0;
}
