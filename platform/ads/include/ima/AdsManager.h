#pragma once
// The ads of one answer: the host initialises the manager, starts it when it wants the
// ad to play, and hears its events, its errors and its requests to pause and resume the
// content through its delegate. A backend makes the managers and drives them through the
// report operations at the end of the class. Main thread only.
#include <ima/AdError.h>
#include <ima/AdEvent.h>

namespace ima {

class AdsManager;

class AdsRenderingSettings : public rt::Object {
    RT_CLASS(AdsRenderingSettings, rt::Object)
public:
    AdsRenderingSettings() = default;
    /// Presents pages the ad opens; held weakly, nullptr for none.
    rt::Ref<rt::Object> webOpenerPresentingController() const { return webOpener_.lock(); }
    void setWebOpenerPresentingController(const rt::Ref<rt::Object>& controller) { webOpener_ = controller; }

private:
    rt::Weak<rt::Object> webOpener_;
};

class AdPlaybackInfo : public rt::Object {
    RT_CLASS(AdPlaybackInfo, rt::Object)
public:
    explicit AdPlaybackInfo(bool playing) : playing_(playing) {}
    bool isPlaying() const { return playing_; }

private:
    bool playing_;
};

class AdsManagerDelegate {
public:
    virtual ~AdsManagerDelegate() = default;
    virtual void adsManagerDidReceiveAdEvent(AdsManager& manager, const rt::Ref<AdEvent>& event) = 0;
    virtual void adsManagerDidReceiveAdError(AdsManager& manager, const rt::Ref<AdError>& error) = 0;
    virtual void adsManagerDidRequestContentPause(AdsManager& manager) = 0;
    virtual void adsManagerDidRequestContentResume(AdsManager& manager) = 0;
};

class AdsManager : public rt::Object {
    RT_CLASS(AdsManager, rt::Object)
public:
    AdsManager() = default;

    /// The delegate must be an rt::Object too; it is held weakly.
    void setDelegate(const rt::Ref<rt::Object>& delegate);
    AdsManagerDelegate* delegate() const;

    virtual void initializeWithAdsRenderingSettings(const rt::Ref<AdsRenderingSettings>& settings) = 0;
    virtual void start() = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    /// Ends the playing ad at once.
    virtual void skip() = 0;
    /// Stops everything; the manager reports nothing afterwards.
    virtual void destroy() = 0;
    virtual rt::Ref<AdPlaybackInfo> adPlaybackInfo() const = 0;

    bool isDestroyed() const { return destroyed_; }

    // Reports to the delegate (nothing once destroyed or without a delegate).
    void reportEvent(AdEventType type);
    void reportError(AdErrorType type, long long code, std::optional<std::string> message);
    void reportContentPause();
    void reportContentResume();

protected:
    void markDestroyed() { destroyed_ = true; }

private:
    rt::Weak<rt::Object> delegateObject_;
    AdsManagerDelegate* delegate_ = nullptr;
    bool destroyed_ = false;
};

}  // namespace ima
