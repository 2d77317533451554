#pragma once
// A view that plays the ads of one ad tag over the content. It builds the ad request
// (the tag with the custom parameters its delegate gives, as "cust_params"), loads it
// through the shared ads loader, drives the loaded ads manager and turns its events into
// delegate calls: the delegate decides when a loaded ad may start and pauses and resumes
// the content. Suspend and resume calls nest on a stack of suspend states.
// Main thread only.
#include <QXMediaPlayer/Ad/IMA/QXIMAAdsLoader.h>
#include <ima/AdsManager.h>
#include <rt/MainThread.h>
#include <rt/Error.h>
#include <ui/View.h>

#include <optional>
#include <string>
#include <vector>

namespace zid {

class QXIMAPlayer;

/// Error domains of the errors the ad player reports.
extern const char* const QXIMAAdLoadingErrorDomain;  // "IMA_AdLoadingErrorDomain"
extern const char* const QXIMAAdPlayingErrorDomain;  // "IMA_AdPlayingErrorDomain"
extern const char* const QXIMAErrorDomain;           // "IMA_ErrorDomain"

/// Whether an ad was playing when a suspend was made.
class QXIMAPlayerSuspendState : public rt::Object {
    RT_CLASS(QXIMAPlayerSuspendState, rt::Object)
public:
    explicit QXIMAPlayerSuspendState(bool played = false) : played_(played) {}
    bool played() const { return played_; }
    void setPlayed(bool played) { played_ = played; }

private:
    bool played_;
};

/// Every operation is optional; the default bodies are what the ad player does without one.
class QXIMAPlayerDelegate {
public:
    virtual ~QXIMAPlayerDelegate() = default;
    /// Asked before every ad request: the custom parameters to send. Answers them unchanged.
    virtual rt::Dictionary QXIMAPlayerWillLoadAdWithCustomParameters(QXIMAPlayer&, const rt::Dictionary& parameters) {
        return parameters;
    }
    /// An ad was loaded: whether it may start now (NO keeps it prepared). Answers YES.
    virtual bool QXIMAPlayerReadyToPlayAd(QXIMAPlayer&) { return true; }
    virtual void QXIMAPlayerRequestContentPause(QXIMAPlayer&) {}
    virtual void QXIMAPlayerRequestContentResume(QXIMAPlayer&) {}
    /// The ad shows its first picture (the SDK's started event).
    virtual void QXIMAPlayerDidStartAd(QXIMAPlayer&) {}
    /// The content's time in seconds. Answers 0.
    virtual double QXIMAPlayerRequestContentTime(QXIMAPlayer&) { return 0.0; }
    /// All ads of the answer completed, or a load failed a while ago (see QXIMAPlayer).
    virtual void QXIMAPlayerDidFinishPlayingAds(QXIMAPlayer&) {}
    virtual void QXIMAPlayerDidFailWithError(QXIMAPlayer&, const rt::Ref<rt::Error>&) {}
};

class QXIMAPlayer : public ui::View, public ima::AdsManagerDelegate, public ima::ContentPlayhead {
    RT_CLASS(QXIMAPlayer, ui::View)
public:
    /// The first wait after a failed load before the delegate hears that the ads finished;
    /// each further failure in a row doubles it, up to kMaxFailureDelay.
    static constexpr fnd::TimeInterval kFailureDelay = 5;
    static constexpr fnd::TimeInterval kMaxFailureDelay = 300;

    QXIMAPlayer(const ui::Rect& frame, std::string tagURL, rt::Dictionary customMetadata);

    const rt::Ref<ima::AdsManager>& adsManager() const { RT_MAIN_THREAD_ONLY(); return adsManager_; }
    const std::string& tagURL() const { RT_MAIN_THREAD_ONLY(); return tagURL_; }
    const rt::Ref<ui::View>& adContainer() const { RT_MAIN_THREAD_ONLY(); return adContainer_; }
    /// The request in flight; nullptr otherwise.
    const rt::Ref<ima::AdsRequest>& request() const { RT_MAIN_THREAD_ONLY(); return request_; }
    const std::vector<rt::Ref<QXIMAPlayerSuspendState>>& suspendStates() const {
        RT_MAIN_THREAD_ONLY();
        return suspendStates_;
    }
    const rt::Dictionary& customMetadata() const { RT_MAIN_THREAD_ONLY(); return customMetadata_; }
    void setCustomMetadata(rt::Dictionary metadata) { RT_MAIN_THREAD_ONLY(); customMetadata_ = std::move(metadata); }

    /// The delegate adopts QXIMAPlayerDelegate; it is held weakly.
    void setDelegate(const rt::Ref<rt::Object>& delegate);
    QXIMAPlayerDelegate* delegate() const;

    /// YES from an ad loaded until its content pause request.
    bool adPrepared() const { RT_MAIN_THREAD_ONLY(); return adPrepared_; }
    void setAdPrepared(bool prepared) { RT_MAIN_THREAD_ONLY(); adPrepared_ = prepared; }
    /// Whether the ads manager plays an ad (NO without one).
    bool isPlaying() const;
    /// The content's time for the ads layer: the delegate's answer, else 0.
    double currentTime();

    /// Starts the loaded ads, or requests ads when none are loaded (nothing while a
    /// request is in flight).
    void start();
    void requestAds();
    /// The tag with the parameters as "cust_params": each key and value encoded on its
    /// own, joined by "=" and "&", and the list encoded once more as the parameter's value.
    static std::string appendCustomParametersToURLString(const std::string& url, const rt::Dictionary& parameters);
    /// The list of encoded pairs, nothing for no parameters.
    static std::optional<std::string> buildParameterList(const rt::Dictionary& parameters);
    void adRequestFinishedWithData(const rt::Ref<ima::AdsLoadedData>& data, const rt::Ref<ima::AdError>& error);

    void pause();
    void play();
    void skip();
    /// Pauses a playing ad; every suspend is matched by a resume.
    void suspend();
    /// Resumes the ad the matching suspend paused. A resume without a suspend only logs.
    void resume();
    rt::Ref<QXIMAPlayerSuspendState> pushState();
    /// Raises "QXIMAPlayerException" on an empty stack.
    rt::Ref<QXIMAPlayerSuspendState> popState();
    rt::Ref<QXIMAPlayerSuspendState> topState() const;

    void adLoaded();
    void adBreakReady() { RT_MAIN_THREAD_ONLY(); adLoaded(); }
    void adsCompleted();
    void failedWithError(const rt::Ref<ima::AdError>& error);
    /// The wait before the next "finished" report after a failed load.
    fnd::TimeInterval failureDelay() const;

    double contentCurrentTime() override { RT_MAIN_THREAD_ONLY(); return currentTime(); }
    void adsManagerDidReceiveAdEvent(ima::AdsManager& manager, const rt::Ref<ima::AdEvent>& event) override;
    void adsManagerDidReceiveAdError(ima::AdsManager& manager, const rt::Ref<ima::AdError>& error) override;
    void adsManagerDidRequestContentPause(ima::AdsManager& manager) override;
    void adsManagerDidRequestContentResume(ima::AdsManager& manager) override;

protected:
    void didInitialize() override;
    void willDestroy() override;

private:
    bool isCurrentManager(const ima::AdsManager& manager) const { return adsManager_.get() == &manager; }

    rt::Ref<ima::AdsManager> adsManager_;
    std::string tagURL_;
    rt::Ref<ui::View> adContainer_;
    rt::Ref<ima::AdsRequest> request_;
    std::vector<rt::Ref<QXIMAPlayerSuspendState>> suspendStates_;
    rt::Dictionary customMetadata_;
    rt::Weak<rt::Object> delegateObject_;
    QXIMAPlayerDelegate* delegate_ = nullptr;
    bool adPrepared_ = false;
    int consecutiveFailures_ = 0;
    rt::Ref<fnd::Timer> finishedTimer_;
};

}  // namespace zid
