#include "Ad/VAST/VASTUrlPolicy.h"

#include <algorithm>

namespace zid {

namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The scheme of the URL ("" when the text does not start with one), in lower case.
std::string schemeOf(std::string_view url) {
    std::size_t colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0 || !isAlpha(url[0])) return {};
    std::string scheme;
    for (char c : url.substr(0, colon)) {
        if (!isAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return {};
        scheme += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return scheme;
}

std::string joined(const std::set<std::string>& names) {
    std::string text;
    for (const auto& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

bool VASTUrlPolicy::hasRefusedScheme(std::string_view url) {
    // The usual case first, without making the scheme.
    auto startsWithWord = [url](std::string_view word) {
        if (url.size() <= word.size() || url[word.size()] != ':') return false;
        for (std::size_t k = 0; k < word.size(); ++k)
            if ((url[k] | 0x20) != word[k]) return false;
        return true;
    };
    if (startsWithWord("http") || startsWithWord("https")) return false;
    return !schemeOf(url).empty();
}

void VASTUrlPolicy::refuse(std::string_view url) {
    ++refusedSchemeCount_;
    refusedSchemes_.insert(schemeOf(url) + ":");
}

void VASTUrlPolicy::filterList(std::vector<std::string>& urls, const std::string& event) {
    std::erase_if(urls, [this](const std::string& url) {
        if (!hasRefusedScheme(url)) return false;
        refuse(url);
        return true;
    });
    if (urls.size() <= maxUrlsPerEvent_) return;
    overCapCount_ += urls.size() - maxUrlsPerEvent_;
    overCapEvents_.insert(event);
    urls.resize(maxUrlsPerEvent_);
}

void VASTUrlPolicy::filterMap(VASTUrlMap& map) {
    for (auto& [event, urls] : map) {
        const auto& held = urls.urls();
        bool refused = std::any_of(held.begin(), held.end(), [](const std::string& url) { return hasRefusedScheme(url); });
        if (!refused && held.size() <= maxUrlsPerEvent_) continue;
        std::vector<std::string> kept = held;
        filterList(kept, event);
        VASTUrlSet filtered;
        for (auto& url : kept) filtered.insert(std::move(url));
        urls = std::move(filtered);
    }
}

void VASTUrlPolicy::apply(VASTAdList& ads) {
    for (const auto& ad : ads) {
        filterList(ad->impressions, "impressions");
        filterMap(ad->trackingEvents);
        filterMap(ad->videoClicks);
        std::erase_if(ad->mediaFiles, [this](const rt::Ref<VASTMediaFile>& file) {
            if (!file->url || !hasRefusedScheme(*file->url)) return false;
            refuse(*file->url);
            return true;
        });
    }
}

std::string VASTUrlPolicy::report() const {
    std::string text;
    if (refusedSchemeCount_)
        text = "dropped " + std::to_string(refusedSchemeCount_) + " URL(s) in schemes other than http and https (" +
               joined(refusedSchemes_) + ")";
    if (overCapCount_)
        text += (text.empty() ? "dropped " : "; and ") + std::to_string(overCapCount_) + " URL(s) over " +
                std::to_string(maxUrlsPerEvent_) + " per event (" + joined(overCapEvents_) + ")";
    return text;
}

}  // namespace zid
