#include <ima/ScriptedBackend.h>

#include <algorithm>

namespace ima {

ScriptedStep ScriptedStep::eventAt(double at, AdEventType event) {
    ScriptedStep step;
    step.kind = Kind::Event;
    step.at = at;
    step.event = event;
    return step;
}

ScriptedStep ScriptedStep::errorAt(double at, AdErrorType type, long long code, std::optional<std::string> message) {
    ScriptedStep step;
    step.kind = Kind::Error;
    step.at = at;
    step.errorType = type;
    step.code = code;
    step.message = std::move(message);
    return step;
}

ScriptedStep ScriptedStep::contentPauseAt(double at) {
    ScriptedStep step;
    step.kind = Kind::ContentPause;
    step.at = at;
    return step;
}

ScriptedStep ScriptedStep::contentResumeAt(double at) {
    ScriptedStep step;
    step.kind = Kind::ContentResume;
    step.at = at;
    return step;
}

ScriptedAnswer ScriptedAnswer::ad(double delay, double duration) {
    ScriptedAnswer answer;
    answer.delay = delay;
    answer.onInitialize = {ScriptedStep::eventAt(0, AdEventType::Loaded)};
    answer.onStart = {ScriptedStep::contentPauseAt(0),
                      ScriptedStep::eventAt(0, AdEventType::Started),
                      ScriptedStep::eventAt(duration / 4, AdEventType::FirstQuartile),
                      ScriptedStep::eventAt(duration / 2, AdEventType::Midpoint),
                      ScriptedStep::eventAt(duration * 3 / 4, AdEventType::ThirdQuartile),
                      ScriptedStep::eventAt(duration, AdEventType::Complete),
                      ScriptedStep::contentResumeAt(duration),
                      ScriptedStep::eventAt(duration, AdEventType::AllAdsCompleted)};
    return answer;
}

ScriptedAnswer ScriptedAnswer::failure(double delay, AdErrorType type, long long code,
                                       std::optional<std::string> message) {
    ScriptedAnswer answer;
    answer.delay = delay;
    answer.error = rt::make<AdError>(type, code, std::move(message));
    return answer;
}

ScriptedAdsManager::ScriptedAdsManager(ScriptedAnswer answer) : answer_(std::move(answer)) {
    std::stable_sort(answer_.onStart.begin(), answer_.onStart.end(),
                     [](const ScriptedStep& a, const ScriptedStep& b) { return a.at < b.at; });
}

double ScriptedAdsManager::now() const { return fnd::RunLoop::main()->clock().now(); }

void ScriptedAdsManager::initializeWithAdsRenderingSettings(const rt::Ref<AdsRenderingSettings>& settings) {
    calls_.push_back("initialize");
    renderingSettings_ = settings;
    rt::Weak<ScriptedAdsManager> weak = selfAs<ScriptedAdsManager>();
    for (const ScriptedStep& step : answer_.onInitialize)
        initTimers_.push_back(fnd::RunLoop::main()->after(step.at, [weak, step] {
            if (auto self = weak.lock()) self->perform(step);
        }));
}

void ScriptedAdsManager::start() {
    calls_.push_back("start");
    if (started_ || isDestroyed()) return;
    started_ = true;
    playing_ = true;
    position_ = 0;
    segmentStart_ = now();
    // Even the steps at 0 run from the loop, never inside the caller's start.
    rt::Weak<ScriptedAdsManager> weak = selfAs<ScriptedAdsManager>();
    timer_ = fnd::RunLoop::main()->after(0, [weak] {
        if (auto self = weak.lock()) self->runDueSteps();
    });
}

void ScriptedAdsManager::runDueSteps() {
    auto keep = self();
    double position = position_ + (now() - segmentStart_);
    while (playing_ && !isDestroyed() && next_ < answer_.onStart.size() && answer_.onStart[next_].at <= position + 1e-9)
        perform(answer_.onStart[next_++]);
    if (next_ >= answer_.onStart.size()) {
        playing_ = false;
        finished_ = true;
        return;
    }
    scheduleNextStep();
}

void ScriptedAdsManager::scheduleNextStep() {
    stopTimer();
    if (!playing_ || isDestroyed() || next_ >= answer_.onStart.size()) return;
    double position = position_ + (now() - segmentStart_);
    rt::Weak<ScriptedAdsManager> weak = selfAs<ScriptedAdsManager>();
    timer_ = fnd::RunLoop::main()->after(std::max(0.0, answer_.onStart[next_].at - position), [weak] {
        if (auto self = weak.lock()) self->runDueSteps();
    });
}

void ScriptedAdsManager::perform(const ScriptedStep& step) {
    switch (step.kind) {
        case ScriptedStep::Kind::Event:
            reportEvent(step.event);
            break;
        case ScriptedStep::Kind::Error:
            reportError(step.errorType, step.code, step.message);
            break;
        case ScriptedStep::Kind::ContentPause:
            contentPaused_ = true;
            reportContentPause();
            break;
        case ScriptedStep::Kind::ContentResume:
            contentPaused_ = false;
            reportContentResume();
            break;
    }
}

void ScriptedAdsManager::pause() {
    calls_.push_back("pause");
    if (!playing_ || isDestroyed()) return;
    position_ += now() - segmentStart_;
    playing_ = false;
    paused_ = true;
    stopTimer();
    reportEvent(AdEventType::Pause);
}

void ScriptedAdsManager::resume() {
    calls_.push_back("resume");
    if (!paused_ || isDestroyed()) return;
    paused_ = false;
    playing_ = true;
    segmentStart_ = now();
    reportEvent(AdEventType::Resume);
    scheduleNextStep();
}

void ScriptedAdsManager::skip() {
    calls_.push_back("skip");
    if (!started_ || finished_ || isDestroyed()) return;
    auto keep = self();
    stopTimer();
    playing_ = false;
    paused_ = false;
    finished_ = true;
    reportEvent(AdEventType::Skipped);
    if (contentPaused_) {
        contentPaused_ = false;
        reportContentResume();
    }
    reportEvent(AdEventType::AllAdsCompleted);
}

void ScriptedAdsManager::destroy() {
    calls_.push_back("destroy");
    stopTimer();
    for (auto& timer : initTimers_) timer->invalidate();
    initTimers_.clear();
    playing_ = false;
    markDestroyed();
}

void ScriptedAdsManager::stopTimer() {
    if (timer_) timer_->invalidate();
    timer_ = nullptr;
}

rt::Ref<AdPlaybackInfo> ScriptedAdsManager::adPlaybackInfo() const { return rt::make<AdPlaybackInfo>(playing_); }

void ScriptedBackend::requestAds(const rt::Ref<AdsLoader>& loader, const rt::Ref<AdsRequest>& request) {
    ScriptedAnswer answer = default_;
    if (!queued_.empty()) {
        answer = std::move(queued_.front());
        queued_.erase(queued_.begin());
    }
    auto record = std::make_shared<Record>();
    record->loader = loader;
    record->request = request;
    records_.push_back(record);
    double delay = answer.delay;
    fnd::RunLoop::main()->after(delay, [record, answer = std::move(answer)] {
        record->answered = true;
        if (answer.error) {
            record->loader->deliverError(answer.error, record->request);
            return;
        }
        record->manager = rt::make<ScriptedAdsManager>(answer);
        record->loader->deliverLoaded(record->manager, record->request);
    });
}

}  // namespace ima
