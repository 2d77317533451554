#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoSource.h>

#include "Ad/VAST/VASTUrlText.h"

#include <QXFoundation/Diagnostics/Diagnostics.h>

#include <algorithm>
#include <limits>

namespace zid {

namespace {
bool isMP4Type(const std::optional<std::string>& type) {
    if (!type) return false;
    std::string lower = *type;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower == "video/mp4";
}
}  // namespace

ZeveVoSource::ZeveVoSource(rt::Ref<CPAdSettings> adSetting, rt::Ref<ICPAdRequestService> adFetchRequestService,
                           std::string zoneId)
    : adFetchRequestService_(std::move(adFetchRequestService)), zoneId_(std::move(zoneId)), settings_(adSetting) {
    setAdSettings(std::move(adSetting));
    setSourceType(CPMediaSourceType::Advertisement);
}

void ZeveVoSource::realizeWithPlaybackID(const std::string&) {
    RT_MAIN_THREAD_ONLY();
    setRealizing();
    if (fetchRequest_) fetchRequest_->cancel();
    if (!adFetchRequestService_) {
        failWithReason("there is no ad request service.", "The ad source was made without an ad request service");
        return;
    }
    rt::Weak<ZeveVoSource> weak = selfAs<ZeveVoSource>();
    fetchRequest_ = adFetchRequestService_->adRequestWithSetting(
        settings_, zoneId_,
        [weak](const rt::Ref<ZeveVoResponse>& result) {
            if (auto self = weak.lock()) self->fetchRequestDidSucceedWitResult(result);
        },
        [weak](const rt::Ref<rt::Error>& error) {
            if (auto self = weak.lock()) self->fetchRequestDidFailWithError(error);
        });
    if (fetchRequest_) fetchRequest_->start();
}

void ZeveVoSource::dispose() {
    RT_MAIN_THREAD_ONLY();
    if (fetchRequest_) fetchRequest_->cancel();
    fetchRequest_ = nullptr;
    setUnrealized();
}

std::int64_t ZeveVoSource::durationSeconds(std::string_view text) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t total = 0;
    std::size_t from = 0;
    while (true) {
        std::size_t colon = text.find(':', from);
        std::string_view piece = text.substr(from, colon == std::string_view::npos ? std::string_view::npos : colon - from);
        std::size_t i = 0;
        while (i < piece.size() && (piece[i] == ' ' || piece[i] == '\t' || piece[i] == '\n' || piece[i] == '\r')) ++i;
        bool negative = false;
        if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) negative = piece[i++] == '-';
        std::int64_t value = 0;
        for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i)
            value = value > (kMax - 9) / 10 ? kMax : value * 10 + (piece[i] - '0');
        if (negative) value = -value;
        // total * 60 + value, held within 64 bits.
        if (total > (kMax - std::max<std::int64_t>(value, 0)) / 60) total = kMax;
        else if (total < -(kMax / 60) + 1) total = -kMax;
        else total = total * 60 + value;
        if (colon == std::string_view::npos) break;
        from = colon + 1;
    }
    return total;
}

void ZeveVoSource::extractTimeInfo(const ZeveVoResponse& result) {
    if (!result.duration) return;
    std::int64_t seconds = durationSeconds(*result.duration);
    if (seconds >= 1) setTimeInfo(CPMediaTimingBase::timingWithDuration(static_cast<double>(seconds)));
}

void ZeveVoSource::extractCallbackUrls(const ZeveVoResponse& result) {
    impressions_ = result.impressions;
    trackingEvents_ = result.trackingEvents;
    auto last = [&](const std::string& key) -> std::optional<std::string> {
        auto it = result.videoClicks.find(key);
        if (it == result.videoClicks.end() || it->second.empty()) return std::nullopt;
        return it->second.urls().back();
    };
    setClickTargetURL(last(kVastClient_ClickThroughTag).value_or(std::string()));
    clickTrackingURL_ = last(kVastClient_ClickTrackingTag);
    clickTrackingURLs_.clear();
    if (auto it = result.videoClicks.find(kVastClient_ClickTrackingTag); it != result.videoClicks.end())
        clickTrackingURLs_ = it->second.urls();
}

std::vector<rt::Ref<VASTMediaFile>> ZeveVoSource::playableVideoFilesInResult(const ZeveVoResponse& result) const {
    std::vector<rt::Ref<VASTMediaFile>> files;
    for (const auto& file : result.mediaFiles)
        if (isMP4Type(file->type)) files.push_back(file);
    return files;
}

void ZeveVoSource::failWithReason(const std::string& reason, const std::string& message) {
    rt::Dictionary info;
    info.set("reason", reason);
    info.set(rt::Error::LocalizedDescriptionKey, message);
    setFailedWithError(rt::Error::make(className(), -1, info));
}

void ZeveVoSource::fetchRequestDidSucceedWitResult(const rt::Ref<ZeveVoResponse>& result) {
    RT_MAIN_THREAD_ONLY();
    fetchRequest_ = nullptr;
    extractTimeInfo(*result);
    extractCallbackUrls(*result);
    auto files = playableVideoFilesInResult(*result);
    if (files.empty()) {
        // The source stays failed with its error: falling back to unrealized would
        // invite its observers to realize it again, and fail again, for ever.
        failWithReason("there is no playable video returned.", "The ad server returned no video/mp4 media file");
        return;
    }
    const std::optional<std::string>& url = files.front()->url;
    if (!url || !isFetchableUrl(*url)) {
        failWithReason("the playable video has no valid http or https URL.",
                       "The ad's video/mp4 media file has no valid http or https URL: " + url.value_or("(none)"));
        return;
    }
    mediaUrl_ = *url;
    Diagnostics::recordLog("%s:%d: zeveVoSource: %@", "ZeveVoSource::fetchRequestDidSucceedWitResult", __LINE__,
                           mediaUrl_);
    setRealized();
}

void ZeveVoSource::fetchRequestDidFailWithError(const rt::Ref<rt::Error>& error) {
    RT_MAIN_THREAD_ONLY();
    setFailedWithError(error);
}

}  // namespace zid
