#include "Ad/VAST/VASTUrlPolicy.h"

#include "Ad/VAST/VASTUrlText.h"
#include "Ad/VAST/VASTXmlDocument.h"

#include <QXFoundation/Extensions/WebURL.h>

#include <algorithm>

namespace zid {

namespace {

// The scheme of the URL in lower case, "" when the text does not start with one.
std::string schemeOf(std::string_view url) { return urlScheme(url).value_or(std::string()); }

bool isWebScheme(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

// The text without the blanks a URL parser ignores at either end.
std::string_view trimmedView(std::string_view text) { return VASTXmlDocument::trimmedView(text); }

std::string joined(const std::set<std::string>& names) {
    std::string text;
    for (const auto& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

VASTUrlPolicy::VASTUrlPolicy(std::size_t maxUrlsPerEvent, std::string_view documentUrl)
    : maxUrlsPerEvent_(maxUrlsPerEvent), documentUrl_(documentUrl), documentHasScheme_(!schemeOf(documentUrl).empty()) {}

bool VASTUrlPolicy::keptAsWritten(std::string_view url) {
    // The usual case first, without making the scheme.
    auto startsWithWord = [url](std::string_view word) {
        if (url.size() <= word.size() || url[word.size()] != ':') return false;
        for (std::size_t k = 0; k < word.size(); ++k)
            if ((url[k] | 0x20) != word[k]) return false;
        return true;
    };
    return startsWithWord("http") || startsWithWord("https") || trimmedView(url).empty();
}

bool VASTUrlPolicy::admit(std::string& url) {
    if (keptAsWritten(url)) return true;
    std::string_view text = trimmedView(url);
    std::string scheme = schemeOf(text);
    if (scheme.empty()) {
        if (!documentHasScheme_) {
            ++unresolvedCount_;
            return false;
        }
        url = resolvedUrl(text, documentUrl_);
        scheme = schemeOf(url);
    }
    // Written with blanks around it, an http(s) URL is still one; it stays as written.
    if (isWebScheme(scheme)) return true;
    ++refusedSchemeCount_;
    refusedSchemes_.insert(scheme + ":");
    return false;
}

void VASTUrlPolicy::filterList(std::vector<std::string>& urls, const std::string& event) {
    // admit may rewrite the URL it keeps, which remove_if's predicate may not.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < urls.size(); ++i) {
        if (!admit(urls[i])) continue;
        if (i != kept) urls[kept] = std::move(urls[i]);
        ++kept;
    }
    urls.resize(kept);
    if (urls.size() <= maxUrlsPerEvent_) return;
    overCapCount_ += urls.size() - maxUrlsPerEvent_;
    overCapEvents_.insert(event);
    urls.resize(maxUrlsPerEvent_);
}

void VASTUrlPolicy::filterMap(VASTUrlMap& map) {
    for (auto& [event, urls] : map) {
        const auto& held = urls.urls();
        if (held.size() <= maxUrlsPerEvent_ && std::all_of(held.begin(), held.end(), keptAsWritten)) continue;
        std::vector<std::string> kept = held;
        filterList(kept, event);
        VASTUrlSet filtered;  // two references may resolve to one URL
        for (auto& url : kept) filtered.insert(std::move(url));
        urls = std::move(filtered);
    }
}

void VASTUrlPolicy::apply(VASTAdList& ads) {
    for (const auto& ad : ads) {
        filterList(ad->impressions, "impressions");
        filterMap(ad->trackingEvents);
        filterMap(ad->videoClicks);
        std::erase_if(ad->mediaFiles, [this](const rt::Ref<VASTMediaFile>& file) { return file->url && !admit(*file->url); });
        if (ad->wrapperUrl && documentHasScheme_ && !keptAsWritten(*ad->wrapperUrl)) {
            std::string_view text = trimmedView(*ad->wrapperUrl);
            if (schemeOf(text).empty()) ad->wrapperUrl = resolvedUrl(text, documentUrl_);
        }
    }
}

std::string VASTUrlPolicy::report() const {
    std::string text;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "dropped " : "; and ") + part; };
    if (refusedSchemeCount_)
        add(std::to_string(refusedSchemeCount_) + " URL(s) in schemes other than http and https (" +
            joined(refusedSchemes_) + ")");
    if (unresolvedCount_)
        add(std::to_string(unresolvedCount_) + " relative URL(s), the document's address being unknown");
    if (overCapCount_)
        add(std::to_string(overCapCount_) + " URL(s) over " + std::to_string(maxUrlsPerEvent_) + " per event (" +
            joined(overCapEvents_) + ")");
    return text;
}

}  // namespace zid
