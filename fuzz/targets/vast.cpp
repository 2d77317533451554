// VAST documents come from ad servers. Whatever the text, the reader either refuses it
// or answers ads whose every URL is valid UTF-8 text and, once resolved against the
// document's address, blank or http(s); filling and repairing them keeps it so.

#include <cstdint>
#include <cstdlib>

#include <QXMediaPlayer/Ad/VAST/VASTParser.h>

#include <QXFoundation/Extensions/WebURL.h>

#include "Ad/VAST/VASTUrlText.h"
#include "Ad/VAST/VASTXmlDocument.h"
#include "FuzzInput.h"

namespace {
void check(const std::string& text) {
    if (!zid::isValidUTF8(text)) std::abort();
}
bool requestable(std::string_view url) {
    url = zid::VASTXmlDocument::trimmedView(url);
    return url.empty() || zid::isWebURL(url);
}
void checkRequestable(const zid::VASTUrlMap& map) {
    for (const auto& [name, urls] : map)
        for (const auto& url : urls)
            if (!requestable(url)) std::abort();
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
    // Relative URLs resolve against an address with a path, a query and a fragment.
    auto ads = parser->parse(text, "https://ads.example/a/b/doc.xml?x=1#f");
    if (!ads) return 0;
    if (!zid::isValidUTF8(text)) std::abort();  // malformed bytes never get through
    for (const auto& ad : *ads) {
        for (const auto& url : ad->impressions)
            if (!requestable(url)) std::abort();
        checkRequestable(ad->trackingEvents);
        checkRequestable(ad->videoClicks);
        for (const auto& file : ad->mediaFiles)
            if (file->url && !requestable(*file->url)) std::abort();
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
