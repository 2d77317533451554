// What the connected source does with each call of its media-server client: online
// state, the stream URL and its CDN, metadata, locks and rejects, logos, and the
// fallback to another URL or CDN service when playback fails.

#include <QXCorePlayer/Core/Vexa/CPVexaConnectedSource.h>
#include "Core/Vexa/QXCDNAvailability.h"

#include <algorithm>

#include <QXFoundation/Analytics/AnalyticsClient.h>
#include <QXFoundation/Analytics/AnalyticsEvent.h>
#include <QXFoundation/Log/QXLogger.h>
#include <QXNetworking/Common/Session/URLComponents.h>
#include <fnd/Excerpt.h>
#include <rt/Format.h>

namespace zid {

namespace {

/// A URL a media player can be given: http or https with a host.
bool isPlayableURL(const std::string& url) {
    auto parsed = URLComponents::parse(url);
    if (!parsed || parsed->host.empty()) return false;
    std::string scheme = parsed->scheme;
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
    return scheme == "http" || scheme == "https";
}

/// A category value as the server delivered it, as text for the ad settings.
std::string textOf(const rt::Value& value) {
    if (value.isNil()) return {};
    if (value.isString()) return value.string();
    return value.description();
}

rt::Value arrayOf(const std::vector<rt::Ref<VexaLogoInfo>>& logos) {
    rt::Value::Array array;
    for (const auto& logo : logos) array.emplace_back(logo);
    return rt::Value(std::move(array));
}

}  // namespace

const std::vector<std::string>& CPVexaConnectedSource::preferredStreamFormats() {
    static const std::vector<std::string> formats{"hls/improved", "hls/rfc", "mp4"};
    return formats;
}

rt::Ref<AKOperationTaskQueue> CPVexaConnectedSource::taskQueue() {
    static const rt::Ref<AKOperationTaskQueue> queue = cdnTaskQueue("CPVexaConnectedSource");
    return queue;
}

// ---- descriptive values ------------------------------------------------------------------

void CPVexaConnectedSource::vexaClientTitleChanged(IVexaClient&, const std::string& title) {
    RT_MAIN_THREAD_ONLY();
    setTitle(title);
    if (auto* w = wrapped()) w->setTitle(title);
}

void CPVexaConnectedSource::vexaClientViewerCountChanged(IVexaClient&, std::int64_t count, bool enabled) {
    RT_MAIN_THREAD_ONLY();
    setViewerCountEnabled(enabled);
    setViewerCount(static_cast<long>(count));
    if (auto* w = wrapped()) {
        w->setViewerCount(static_cast<long>(count));
        w->setViewerCountEnabled(enabled);
    }
}

void CPVexaConnectedSource::vexaClientTotalViewerCountChanged(IVexaClient&, std::int64_t count) {
    RT_MAIN_THREAD_ONLY();
    if (auto* w = wrapped()) w->setTotalViewerCount(static_cast<long>(count));
}

void CPVexaConnectedSource::vexaClientDidReceiveThumbnails(IVexaClient&, const rt::Value& thumbnails) {
    RT_MAIN_THREAD_ONLY();
    if (auto* w = wrapped()) w->setChannelThumbnails(thumbnails);
}

void CPVexaConnectedSource::vexaClientDidReceiveMulticamInfo(IVexaClient&,
                                                            const std::vector<rt::Ref<VexaMulticamInfo>>& infos,
                                                            bool hideOffline) {
    RT_MAIN_THREAD_ONLY();
    multicamInfo_ = infos;
    multicamHideOffline_ = hideOffline;
}

void CPVexaConnectedSource::vexaClientDidReceiveBroadcastStartDate(IVexaClient&, rt::Date date) {
    RT_MAIN_THREAD_ONLY();
    if (auto* w = wrapped()) w->setStartDate(rt::Value(date));
}

void CPVexaConnectedSource::vexaClientDidReceiveRecordCreationDate(IVexaClient&, rt::Date date) {
    RT_MAIN_THREAD_ONLY();
    if (auto* w = wrapped()) w->setCreationDate(rt::Value(date));
}

void CPVexaConnectedSource::vexaClientAdFree(IVexaClient&, const VexaClientMetadata& metadata) {
    RT_MAIN_THREAD_ONLY();
    auto settings = rt::make<CPAdSettings>();
    settings->title = title();
    settings->contentId = contentId();
    settings->contentDescription = contentDescription();
    settings->adFree_ = metadata.adFree;
    settings->mainCategoryId = textOf(metadata.mainCategoryId);
    settings->mainCategoryName = textOf(metadata.mainCategoryName);
    settings->subCategoryId = textOf(metadata.subCategoryId);
    settings->subCategoryName = textOf(metadata.subCategoryName);
    settings->url = metadata.channelUrl.value_or("");
    settings->contentPartner = metadata.contentPartner;
    settings->broadcasterFeatured = metadata.broadcasterFeatured;
    settings->tags_ = metadata.keywords.value_or(std::vector<std::string>{});
    setAdSettings(settings);
    onMetadataReceived();
}

// ---- logos ---------------------------------------------------------------------------------

std::vector<rt::Ref<VexaLogoInfo>> CPVexaConnectedSource::fixLogos(const std::vector<rt::Ref<VexaLogoInfo>>& logos) {
    if (logos.size() <= 1) return logos;
    rt::Ref<VexaLogoInfo> withImage, withoutImage;
    for (const auto& logo : logos) {
        if (!logo) continue;
        (logo->url ? withImage : withoutImage) = logo;
    }
    if (withImage && withoutImage) {
        if (withImage->align == withoutImage->align && withoutImage->align >= 0 && withoutImage->align <= 8) {
            // The two would cover each other: the one without image goes to the other
            // side of the same row. A copy, so the client's object stays as it was.
            auto moved = rt::make<VexaLogoInfo>();
            std::int64_t row = withoutImage->align / 3, column = withoutImage->align % 3;
            moved->align = row * 3 + (column == 2 ? 0 : 2);
            moved->margin = withoutImage->margin;
            moved->mobile = withoutImage->mobile;
            moved->url = withoutImage->url;
            moved->clickUrl = withoutImage->clickUrl;
            withoutImage = moved;
        }
        return {withoutImage, withImage};
    }
    if (withImage) return {withImage};
    if (withoutImage) return {withoutImage};
    return {};
}

void CPVexaConnectedSource::vexaClientDidReceiveLogos(IVexaClient&, const std::vector<rt::Ref<VexaLogoInfo>>& logos) {
    RT_MAIN_THREAD_ONLY();
    setLogoInfos(arrayOf(fixLogos(logos)));
}

// ---- online state and the stream URL -------------------------------------------------------

void CPVexaConnectedSource::vexaClientOnlineStatusChanged(IVexaClient&, bool online) {
    RT_MAIN_THREAD_ONLY();
    setContentAvailable(online);
    if (auto* w = wrapped()) w->setContentAvailable(online);
    QXLog(kCoreLogModule, objectClass(), 5, "online status changed: %d", online ? 1 : 0);
    if (online) {
        if (state() == CPMediaSourceState::Waiting && !lock()) setRealizing();
        return;
    }
    mediaUrlKey.set(*this, std::string());
    if (!lock()) setError(mediaSourceError(CPMediaSourceErrorCode::Offline));
    setWaiting();
}

void CPVexaConnectedSource::vexaClientMediaUrlChanged(IVexaClient&, const std::string& url) {
    RT_MAIN_THREAD_ONLY();
    if (!isPlayableURL(url)) {
        // Nothing could play it, and waiting would not bring a better one from this
        // client: say so rather than stay realizing.
        QXLog(kCoreLogModule, objectClass(), 2, "Unplayable stream URL: %@", url);
        failWithCode(CPMediaSourceErrorCode::Unsupported,
                     rt::format("The media server sent a stream URL that cannot be played: \"%@\".", url));
        return;
    }
    if (url == mediaUrl()) return;
    mediaUrlSelected(url);
}

void CPVexaConnectedSource::mediaUrlSelected(const std::string& url) {
    mediaUrlKey.set(*this, url);
    QXLog(kCoreLogModule, objectClass(), 5, "NEW URL: %@", url);
    setRealizing();
    checkIfRealized();
}

void CPVexaConnectedSource::selectMediaUrl() {
    if (mediaURLs_.empty()) return;
    if (std::find(mediaURLs_.begin(), mediaURLs_.end(), mediaUrl()) != mediaURLs_.end()) return;
    mediaUrlSelected(mediaURLs_.front());
}

std::vector<std::string> CPVexaConnectedSource::combinedMediaURLs() const {
    std::vector<std::string> urls;
    if (!accessPoint_) return urls;
    if (accessPoint_->needsCDN()) {
        if (!selectedCDNLocation_) return urls;
        for (const auto& site : selectedCDNLocation_->sites())
            if (auto url = accessPoint_->URLWithCDNSite(site)) urls.push_back(*url);
    } else if (auto url = accessPoint_->URLWithCDNSite(nullptr)) {
        urls.push_back(*url);
    }
    return urls;
}

void CPVexaConnectedSource::vexaClientDidReceiveAccessInfos(IVexaClient&,
                                                           const std::vector<rt::Ref<QXVexaClientAccessInfo>>& infos) {
    RT_MAIN_THREAD_ONLY();
    rt::Ref<QXVexaClientAccessInfo> chosen;
    for (const auto& format : preferredStreamFormats()) {
        for (const auto& info : infos)
            if (info && info->streamFormat() == format) {
                chosen = info;
                break;
            }
        if (chosen) break;
    }
    accessPoint_ = chosen && !chosen->accessPoints().empty() ? chosen->accessPoints().front() : nullptr;
    if (!accessPoint_) {
        failWithCode(CPMediaSourceErrorCode::Unsupported);
        return;
    }
    if (!accessPoint_->needsCDN()) {
        setCdnSelector(nullptr);
    } else if (!selectedCDNService_ && !cdnSelector_.lock() && !offeredCDNServices_.empty()) {
        // The services came first and waited for a point that needs them.
        selectCDNServiceFromServices(offeredCDNServices_);
    }
    mediaURLs_ = combinedMediaURLs();
    selectMediaUrl();
}

// ---- CDN services ------------------------------------------------------------------------

void CPVexaConnectedSource::vexaClientDidReceiveCDNServices(IVexaClient&,
                                                           const std::vector<rt::Ref<QXCDNService>>& services) {
    RT_MAIN_THREAD_ONLY();
    offeredCDNServices_ = services;
    // Only a stream reached through a CDN site needs one chosen; the probes of a
    // selection must not hold up, or fail, a stream that does not use them.
    if (accessPoint_ && accessPoint_->needsCDN())
        selectCDNServiceFromServices(services);
    else
        QXLog(kCoreLogModule, objectClass(), 5, "CDN services kept; no access point needs one yet");
}

void CPVexaConnectedSource::selectCDNServiceFromServices(const std::vector<rt::Ref<QXCDNService>>& services) {
    if (selectedCDNService_ &&
        std::find(services.begin(), services.end(), selectedCDNService_) != services.end()) {
        CDNServices_ = services;
        return;
    }
    auto selector = QXCDNServiceSelector::selectorWitCDNServices(services);
    setCdnSelector(selector);
    taskQueue()->addTask(selector);
}

void CPVexaConnectedSource::setCdnSelector(const rt::Ref<QXCDNServiceSelector>& selector) {
    auto previous = cdnSelector_.lock();
    if (previous == selector && selector) return;
    if (cdnObservation_) cdnObservation_->remove();
    cdnObservation_.reset();
    if (previous) previous->cancel();
    cdnSelector_ = selector;
    if (!selector) return;
    rt::Weak<CPVexaConnectedSource> weakSelf = selfAs<CPVexaConnectedSource>();
    rt::Weak<QXCDNServiceSelector> weakSelector = selector;
    cdnObservation_ = rt::observe(selector, "isFinished", rt::KVOInitial, [weakSelf, weakSelector](const rt::KVOChange&) {
        auto self = weakSelf.lock();
        auto selector = weakSelector.lock();
        if (self && selector && selector->isFinished()) self->cdnSelectorFinished(selector);
    });
}

void CPVexaConnectedSource::cdnSelectorFinished(const rt::Ref<QXCDNServiceSelector>& selector) {
    if (selector != cdnSelector_.lock() || selector->isCancelled()) return;
    cdnSelector_.reset();  // handled once
    if (selector->isFailed()) {
        QXLog(kCoreLogModule, objectClass(), 2, "CDN selection failed: %@", rt::Value(selector->error()));
        failWithCode(CPMediaSourceErrorCode::Unsupported);
        return;
    }
    auto services = selector->selectedServices();
    if (services.empty()) {
        failWithCode(CPMediaSourceErrorCode::Unsupported);
        return;
    }
    CDNServices_ = services;
    CDNServiceSelected(services.front());
}

void CPVexaConnectedSource::CDNServiceSelected(const rt::Ref<QXCDNService>& service) {
    QXLog(kCoreLogModule, objectClass(), 5, "CDNService selected: %@", rt::Value(service));
    selectedCDNService_ = service;
    selectedCDNLocation_ = service->locations().empty() ? nullptr : service->locations().front();
    if (vexaClient_) vexaClient_->setEcdn(service->isECDN());
    mediaURLs_ = combinedMediaURLs();
    selectMediaUrl();
}

bool CPVexaConnectedSource::handlePlaybackError(const rt::Ref<rt::Error>&) {
    RT_MAIN_THREAD_ONLY();
    if (!mediaUrl().empty()) std::erase(mediaURLs_, mediaUrl());
    if (!mediaURLs_.empty()) {
        selectMediaUrl();
        return true;
    }
    if (accessPoint_ && accessPoint_->needsCDN() && selectedCDNLocation_ && selectedCDNLocation_->fallbackEnabled()) {
        setWaiting();
        auto stored = CDNServices_;
        std::vector<rt::Ref<QXCDNService>> others;
        for (const auto& service : CDNServices_)
            if (service != selectedCDNService_) others.push_back(service);
        selectCDNServiceFromServices(others);
        return !stored.empty();
    }
    return false;
}

// ---- locks and rejects ---------------------------------------------------------------------

bool CPVexaConnectedSource::vexaClientDidReceiveAgeLock(IVexaClient&, std::uint64_t, rt::Date maxBirthDay) {
    RT_MAIN_THREAD_ONLY();
    if (ageConfirmed_) return false;  // answered already: the lock does not stand
    AnalyticsClient::reportEvent(AnalyticsEvent::EventAgeLock());
    setLockedWithLock(CPMediaSourceBirthdayLock::lockWithMaxBirthdate(maxBirthDay));
    return true;
}

void CPVexaConnectedSource::vexaClientDidReceiveHashLock(IVexaClient&, const std::optional<std::string>& url) {
    RT_MAIN_THREAD_ONLY();
    AnalyticsClient::reportEvent(AnalyticsEvent::EventHashLock());
    setLockedWithLock(CPMediaSourceHashLock::lockWithURL(url.value_or("")));
}

void CPVexaConnectedSource::failWithApiKeyRefused(const std::string& said) {
    // The server's own words go beneath, so a host tells a mistyped key from one the
    // service has revoked or one it gives for other products only.
    std::string words = fnd::excerpt(said, 200);
    auto refusal = rt::Error::withDescription(
        QXVexaRejectErrorDomain, 13,
        "The media server rejected the connection" + (words.empty() ? std::string(".") : ", sending " + words));
    failWithCode(CPMediaSourceErrorCode::ApiKeyRefused,
                 "The media server refused the player's API key" +
                     (words.empty() ? std::string() : " (it sent " + words + ")") +
                     ": check the key the player is configured with.",
                 refusal);
}

void CPVexaConnectedSource::vexaClientDidRejectWithReason(IVexaClient& client, std::int64_t reason) {
    RT_MAIN_THREAD_ONLY();
    QXLog(kCoreLogModule, objectClass(), 5, "Rejected by Vexa: %ld", static_cast<long>(reason));
    auto locked = [this](const rt::Ref<AnalyticsEvent>& event, long type) {
        if (event) AnalyticsClient::reportEvent(event);
        setLockedWithLock(CPMediaSourceLock::lockWithType(type));
    };
    using Code = CPMediaSourceErrorCode;
    switch (reason) {
        case 1: failWithCode(Code::AuthenticationFailed); break;
        case 2: failWithCode(Code::Inexistent); break;
        case 5: failWithCode(Code::TimedOut); break;
        case 7: locked(AnalyticsEvent::EventGeoLock(), 4); break;
        case 9: locked(AnalyticsEvent::EventOtherLock(), 7); break;
        case 10: locked(AnalyticsEvent::EventPasswordLock(), 1); break;
        case 11: locked(AnalyticsEvent::EventEmbedLock(), 8); break;
        case 12: locked(AnalyticsEvent::EventGeoLock(), 5); break;
        case 13: failWithApiKeyRefused(client.rejection()); break;
        case 16: locked(AnalyticsEvent::EventViewerHourLock(), 9); break;
        default: failWithCode(Code::Unknown); break;  // 3, 4 and every reason not listed
    }
}

}  // namespace zid
