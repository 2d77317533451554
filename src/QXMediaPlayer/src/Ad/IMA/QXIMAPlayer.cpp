#include <QXFoundation/Extensions/StringExtensions.h>
#include <QXFoundation/Log/QXLogger.h>
#include <QXMediaPlayer/Ad/IMA/QXIMAPlayer.h>
#include <rt/MainThread.h>
#include <rt/Exception.h>

#include <algorithm>
#include <cmath>
#include "Ad/AdLogModule.h"

namespace zid {

const char* const QXIMAAdLoadingErrorDomain = "IMA_AdLoadingErrorDomain";
const char* const QXIMAAdPlayingErrorDomain = "IMA_AdPlayingErrorDomain";
const char* const QXIMAErrorDomain = "IMA_ErrorDomain";

namespace {
constexpr unsigned kFlexibleWidthAndHeight = ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight;

std::string parameterText(const rt::Value& value) { return value.isString() ? value.string() : value.description(); }
}  // namespace

QXIMAPlayer::QXIMAPlayer(const ui::Rect& frame, std::string tagURL, rt::Dictionary customMetadata)
    : ui::View(frame), tagURL_(std::move(tagURL)), customMetadata_(std::move(customMetadata)) {}

void QXIMAPlayer::didInitialize() {
    ui::View::didInitialize();
    adContainer_ = rt::make<ui::View>(bounds());
    adContainer_->setAutoresizingMask(kFlexibleWidthAndHeight);
    addSubview(adContainer_);
}

void QXIMAPlayer::willDestroy() {
    if (finishedTimer_) finishedTimer_->invalidate();
    finishedTimer_ = nullptr;
    if (request_) QXIMAAdsLoader::sharedAdsLoader()->cancelRequest(request_);
    request_ = nullptr;
    if (adsManager_) adsManager_->destroy();
    adsManager_ = nullptr;
    ui::View::willDestroy();
}

void QXIMAPlayer::setDelegate(const rt::Ref<rt::Object>& delegate) {
    RT_MAIN_THREAD_ONLY();
    delegateObject_ = delegate;
    delegate_ = dynamic_cast<QXIMAPlayerDelegate*>(delegate.get());
}

QXIMAPlayerDelegate* QXIMAPlayer::delegate() const {
    RT_MAIN_THREAD_ONLY();
    return delegateObject_.expired() ? nullptr : delegate_;
}

bool QXIMAPlayer::isPlaying() const {
    RT_MAIN_THREAD_ONLY();
    return adsManager_ && adsManager_->adPlaybackInfo()->isPlaying();
}

double QXIMAPlayer::currentTime() {
    RT_MAIN_THREAD_ONLY();
    if (auto* d = delegate()) return d->QXIMAPlayerRequestContentTime(*this);
    return 0.0;
}

void QXIMAPlayer::start() {
    RT_MAIN_THREAD_ONLY();
    if (adsManager_) {
        adsManager_->start();
        return;
    }
    // One request at a time: a second would only queue a copy behind the first.
    if (request_) return;
    requestAds();
}

std::optional<std::string> QXIMAPlayer::buildParameterList(const rt::Dictionary& parameters) {
    if (parameters.empty()) return std::nullopt;
    std::string list;
    for (const auto& [key, value] : parameters.entries()) {
        if (!list.empty()) list += "&";
        list += urlEncodedString(parameterText(key)) + "=" + urlEncodedString(parameterText(value));
    }
    return list;
}

std::string QXIMAPlayer::appendCustomParametersToURLString(const std::string& url, const rt::Dictionary& parameters) {
    std::optional<std::string> list = buildParameterList(parameters);
    if (!list) return url;
    const char* separator = url.find('?') == std::string::npos ? "?" : "&";
    return url + separator + "cust_params=" + urlEncodedString(*list);
}

void QXIMAPlayer::requestAds() {
    RT_MAIN_THREAD_ONLY();
    rt::Dictionary parameters = customMetadata_;
    if (auto* d = delegate()) parameters = d->QXIMAPlayerWillLoadAdWithCustomParameters(*this, customMetadata_);
    auto container = rt::make<ima::AdDisplayContainer>(adContainer_);
    std::string url = appendCustomParametersToURLString(tagURL_, parameters);
    request_ = rt::make<ima::AdsRequest>(url, container, self());
    rt::Weak<QXIMAPlayer> weak = selfAs<QXIMAPlayer>();
    rt::Ref<ima::AdsRequest> sent = request_;
    QXIMAAdsLoader::sharedAdsLoader()->requestAdsWithRequest(
        sent, [weak, sent](const rt::Ref<ima::AdsLoadedData>& data, const rt::Ref<ima::AdError>& error) {
            auto self = weak.lock();
            if (!self || self->request_ != sent) {
                // Nobody waits for these ads any more.
                if (data && data->adsManager()) data->adsManager()->destroy();
                return;
            }
            self->adRequestFinishedWithData(data, error);
        });
}

void QXIMAPlayer::adRequestFinishedWithData(const rt::Ref<ima::AdsLoadedData>& data,
                                            const rt::Ref<ima::AdError>& error) {
    RT_MAIN_THREAD_ONLY();
    request_ = nullptr;
    if (data && data->adsManager()) {
        consecutiveFailures_ = 0;
        if (adsManager_) adsManager_->destroy();
        adsManager_ = data->adsManager();
        adsManager_->setDelegate(self());
        auto settings = rt::make<ima::AdsRenderingSettings>();
        settings->setWebOpenerPresentingController(nullptr);
        adsManager_->initializeWithAdsRenderingSettings(settings);
        return;
    }
    failedWithError(error ? error
                          : rt::make<ima::AdError>(ima::AdErrorType::Loading, ima::kAdErrorUnknown, std::nullopt));
    // The delegate hears that the ads finished only after a pause that grows with every
    // failure in a row, so a failing ad server is not asked again and again.
    fnd::TimeInterval delay = failureDelay();
    ++consecutiveFailures_;
    if (finishedTimer_) finishedTimer_->invalidate();
    rt::Weak<QXIMAPlayer> weak = selfAs<QXIMAPlayer>();
    finishedTimer_ = fnd::RunLoop::main()->after(delay, [weak] {
        if (auto self = weak.lock()) {
            self->finishedTimer_ = nullptr;
            self->adsCompleted();
        }
    });
}

fnd::TimeInterval QXIMAPlayer::failureDelay() const {
    RT_MAIN_THREAD_ONLY();
    return std::min(kMaxFailureDelay, kFailureDelay * std::pow(2.0, std::min(consecutiveFailures_, 16)));
}

void QXIMAPlayer::pause() {
    RT_MAIN_THREAD_ONLY();
    if (adsManager_) adsManager_->pause();
}

void QXIMAPlayer::play() {
    RT_MAIN_THREAD_ONLY();
    if (adsManager_) adsManager_->resume();
}

void QXIMAPlayer::skip() {
    RT_MAIN_THREAD_ONLY();
    if (adsManager_) adsManager_->skip();
}

void QXIMAPlayer::suspend() {
    RT_MAIN_THREAD_ONLY();
    if (pushState()->played()) pause();
}

void QXIMAPlayer::resume() {
    RT_MAIN_THREAD_ONLY();
    if (suspendStates_.empty()) {
        QXLog(kAdLogModule, staticClass(), 3, "resume without a matching suspend: ignored");
        return;
    }
    if (popState()->played() && adsManager_) adsManager_->resume();
}

rt::Ref<QXIMAPlayerSuspendState> QXIMAPlayer::pushState() {
    RT_MAIN_THREAD_ONLY();
    auto state = rt::make<QXIMAPlayerSuspendState>(isPlaying());
    suspendStates_.push_back(state);
    return state;
}

rt::Ref<QXIMAPlayerSuspendState> QXIMAPlayer::popState() {
    RT_MAIN_THREAD_ONLY();
    if (suspendStates_.empty()) throw rt::Exception("QXIMAPlayerException", "unballanced suspen/resumes");
    auto state = suspendStates_.back();
    suspendStates_.pop_back();
    return state;
}

rt::Ref<QXIMAPlayerSuspendState> QXIMAPlayer::topState() const {
    RT_MAIN_THREAD_ONLY();
    return suspendStates_.empty() ? nullptr : suspendStates_.back();
}

void QXIMAPlayer::adLoaded() {
    RT_MAIN_THREAD_ONLY();
    adPrepared_ = true;
    if (auto* d = delegate(); d && !d->QXIMAPlayerReadyToPlayAd(*this)) return;
    if (adsManager_) adsManager_->start();
}

void QXIMAPlayer::adsCompleted() {
    RT_MAIN_THREAD_ONLY();
    if (auto* d = delegate()) d->QXIMAPlayerDidFinishPlayingAds(*this);
}

void QXIMAPlayer::failedWithError(const rt::Ref<ima::AdError>& error) {
    RT_MAIN_THREAD_ONLY();
    const char* domain = QXIMAErrorDomain;
    const char* fallback = "Unknown error";
    if (error->type() == ima::AdErrorType::Loading) {
        domain = QXIMAAdLoadingErrorDomain;
        fallback = "Unknown loading error";
    } else if (error->type() == ima::AdErrorType::Playing) {
        domain = QXIMAAdPlayingErrorDomain;
        fallback = "Unknown playing error";
    }
    rt::Dictionary info;
    info.set(rt::Error::LocalizedDescriptionKey, error->message() ? *error->message() : std::string(fallback));
    auto reported = rt::Error::make(domain, error->code(), info);
    if (auto* d = delegate()) d->QXIMAPlayerDidFailWithError(*this, reported);
}

void QXIMAPlayer::adsManagerDidReceiveAdEvent(ima::AdsManager& manager, const rt::Ref<ima::AdEvent>& event) {
    RT_MAIN_THREAD_ONLY();
    if (!isCurrentManager(manager)) return;
    auto keep = self();
    switch (event->type()) {
        case ima::AdEventType::AllAdsCompleted:
            adsManager_->destroy();
            adsManager_ = nullptr;
            adsCompleted();
            break;
        case ima::AdEventType::AdBreakReady:
        case ima::AdEventType::Loaded:
            adLoaded();
            break;
        case ima::AdEventType::Started:
            if (auto* d = delegate()) d->QXIMAPlayerDidStartAd(*this);
            break;
        default:
            break;
    }
}

void QXIMAPlayer::adsManagerDidReceiveAdError(ima::AdsManager& manager, const rt::Ref<ima::AdError>& error) {
    RT_MAIN_THREAD_ONLY();
    if (!isCurrentManager(manager)) return;
    auto keep = self();
    failedWithError(error);
}

void QXIMAPlayer::adsManagerDidRequestContentPause(ima::AdsManager& manager) {
    RT_MAIN_THREAD_ONLY();
    if (!isCurrentManager(manager)) return;
    auto keep = self();
    adPrepared_ = false;
    if (auto* d = delegate()) d->QXIMAPlayerRequestContentPause(*this);
}

void QXIMAPlayer::adsManagerDidRequestContentResume(ima::AdsManager& manager) {
    RT_MAIN_THREAD_ONLY();
    if (!isCurrentManager(manager)) return;
    auto keep = self();
    if (auto* d = delegate()) d->QXIMAPlayerRequestContentResume(*this);
}

}  // namespace zid
