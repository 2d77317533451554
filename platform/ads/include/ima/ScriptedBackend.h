#pragma once
// A backend that answers by script on the main loop's clock, for tests: each request
// takes the next queued answer (or the default one) and, after the answer's delay, gets
// an ads manager or an error. A manager plays its script of events, errors and content
// pause and resume requests: the initialise steps once initialised, the start steps
// once started, timed by the ad's own play time (which stands still while paused).
// Every request and every call made to a manager is recorded.
#include <fnd/RunLoop.h>
#include <ima/Backend.h>

#include <string>
#include <vector>

namespace ima {

struct ScriptedStep {
    enum class Kind { Event, Error, ContentPause, ContentResume };
    Kind kind = Kind::Event;
    /// Seconds: after initialising, or of the ad's play time after start.
    double at = 0;
    AdEventType event = AdEventType::Loaded;
    AdErrorType errorType = AdErrorType::Playing;
    long long code = 0;
    std::optional<std::string> message;

    static ScriptedStep eventAt(double at, AdEventType event);
    static ScriptedStep errorAt(double at, AdErrorType type, long long code, std::optional<std::string> message);
    static ScriptedStep contentPauseAt(double at);
    static ScriptedStep contentResumeAt(double at);
};

struct ScriptedAnswer {
    /// Seconds from the request to the answer.
    double delay = 0.1;
    /// When set, the request fails with it.
    rt::Ref<AdError> error;
    std::vector<ScriptedStep> onInitialize;
    std::vector<ScriptedStep> onStart;

    /// One linear ad of the given length: loaded at once after initialising; on start a
    /// content pause, started, the quartiles, complete, a content resume and all ads
    /// completed.
    static ScriptedAnswer ad(double delay = 0.1, double duration = 10);
    static ScriptedAnswer failure(double delay, AdErrorType type, long long code, std::optional<std::string> message);
};

class ScriptedAdsManager : public AdsManager {
    RT_CLASS(ScriptedAdsManager, AdsManager)
public:
    explicit ScriptedAdsManager(ScriptedAnswer answer);

    /// "setDelegate" is not recorded; the others are, by name ("initialize", "start",
    /// "pause", "resume", "skip", "destroy").
    const std::vector<std::string>& calls() const { return calls_; }
    const rt::Ref<AdsRenderingSettings>& renderingSettings() const { return renderingSettings_; }
    bool contentPaused() const { return contentPaused_; }

    void initializeWithAdsRenderingSettings(const rt::Ref<AdsRenderingSettings>& settings) override;
    void start() override;
    void pause() override;
    void resume() override;
    void skip() override;
    void destroy() override;
    rt::Ref<AdPlaybackInfo> adPlaybackInfo() const override;

private:
    void runDueSteps();
    void scheduleNextStep();
    void perform(const ScriptedStep& step);
    void stopTimer();
    double now() const;

    ScriptedAnswer answer_;
    std::vector<std::string> calls_;
    rt::Ref<AdsRenderingSettings> renderingSettings_;
    std::vector<rt::Ref<fnd::Timer>> initTimers_;
    rt::Ref<fnd::Timer> timer_;
    bool started_ = false;
    bool playing_ = false;
    bool paused_ = false;
    bool finished_ = false;
    bool contentPaused_ = false;
    double position_ = 0;      // the ad's play time at segmentStart_
    double segmentStart_ = 0;  // clock time playback last (re)started
    std::size_t next_ = 0;
};

class ScriptedBackend : public Backend {
public:
    struct Record {
        rt::Ref<AdsLoader> loader;
        rt::Ref<AdsRequest> request;
        /// The manager handed out, once answered with one.
        rt::Ref<ScriptedAdsManager> manager;
        bool answered = false;
    };

    void queueAnswer(ScriptedAnswer answer) { queued_.push_back(std::move(answer)); }
    void setDefaultAnswer(ScriptedAnswer answer) { default_ = std::move(answer); }
    /// Every request received, oldest first.
    const std::vector<std::shared_ptr<Record>>& requests() const { return records_; }

    void requestAds(const rt::Ref<AdsLoader>& loader, const rt::Ref<AdsRequest>& request) override;

private:
    std::vector<ScriptedAnswer> queued_;
    ScriptedAnswer default_ = ScriptedAnswer::ad();
    std::vector<std::shared_ptr<Record>> records_;
};

}  // namespace ima
