#include <dev/AudioSession.h>

#include <algorithm>

#include <fnd/NotificationCenter.h>

namespace dev {
namespace {

enum ErrorCode : long long { CannotInterruptOthers = 1, UnsupportedRequest = 2, NoSuchPort = 3 };

bool fail(rt::Ref<rt::Error>* error, long long code, const std::string& description) {
    if (error) *error = rt::Error::withDescription(AudioSessionErrorDomain, code, description);
    return false;
}

bool isKnownCategory(const std::string& c) {
    return c == AudioSessionCategorySoloAmbient || c == AudioSessionCategoryPlayback ||
           c == AudioSessionCategoryPlayAndRecord;
}

bool isKnownMode(const std::string& m) {
    return m == AudioSessionModeDefault || m == AudioSessionModeMoviePlayback || m == AudioSessionModeVideoRecording;
}

}  // namespace

AudioPortDescription::AudioPortDescription(std::string portType, std::string portName, std::string uid)
    : portType_(std::move(portType)), portName_(std::move(portName)), uid_(std::move(uid)) {}

std::string AudioPortDescription::description() const {
    return "<" + className() + " type = " + portType_ + "; name = " + portName_ + "; uid = " + uid_ + ">";
}

rt::Ref<AudioSession> AudioSession::shared() {
    static const rt::Ref<AudioSession> session = rt::make<AudioSession>();
    return session;
}

AudioSession::AudioSession()
    : category_(AudioSessionCategorySoloAmbient),
      mode_(AudioSessionModeDefault),
      inputs_{rt::make<AudioPortDescription>(AudioSessionPortBuiltInMic, "Built-In Microphone", "built-in-mic")},
      outputs_{rt::make<AudioPortDescription>(AudioSessionPortBuiltInSpeaker, "Speaker", "built-in-speaker")} {
    routeInput_ = inputs_.front();
}

bool AudioSession::refused(Operation operation, rt::Ref<rt::Error>* error) {
    auto it = std::find_if(refusals_.begin(), refusals_.end(), [&](const auto& r) { return r.first == operation; });
    if (it == refusals_.end()) return false;
    if (error) *error = it->second;
    refusals_.erase(it);
    return true;
}

std::string AudioSession::category() const {
    std::lock_guard lock(mutex_);
    return category_;
}

bool AudioSession::setCategory(const std::string& category, rt::Ref<rt::Error>* error) {
    std::lock_guard lock(mutex_);
    if (refused(Operation::SetCategory, error)) return false;
    if (!isKnownCategory(category)) return fail(error, UnsupportedRequest, "Unknown audio session category " + category);
    category_ = category;
    if (category_ != AudioSessionCategoryPlayAndRecord) override_ = AudioSessionPortOverride::None;
    return true;
}

std::string AudioSession::mode() const {
    std::lock_guard lock(mutex_);
    return mode_;
}

bool AudioSession::setMode(const std::string& mode, rt::Ref<rt::Error>* error) {
    std::lock_guard lock(mutex_);
    if (refused(Operation::SetMode, error)) return false;
    if (!isKnownMode(mode)) return fail(error, UnsupportedRequest, "Unknown audio session mode " + mode);
    mode_ = mode;
    return true;
}

AudioSessionPortOverride AudioSession::outputOverride() const {
    std::lock_guard lock(mutex_);
    return override_;
}

bool AudioSession::overrideOutputAudioPort(AudioSessionPortOverride portOverride, rt::Ref<rt::Error>* error) {
    std::lock_guard lock(mutex_);
    if (refused(Operation::OverrideOutput, error)) return false;
    if (portOverride != AudioSessionPortOverride::None && category_ != AudioSessionCategoryPlayAndRecord) {
        return fail(error, UnsupportedRequest, "The output can only be overridden in the play-and-record category");
    }
    override_ = portOverride;
    return true;
}

bool AudioSession::isActive() const {
    std::lock_guard lock(mutex_);
    return active_;
}

bool AudioSession::setActive(bool active, rt::Ref<rt::Error>* error) {
    std::lock_guard lock(mutex_);
    if (refused(active ? Operation::Activate : Operation::Deactivate, error)) return false;
    active_ = active;
    return true;
}

double AudioSession::sampleRate() const {
    std::lock_guard lock(mutex_);
    return sampleRate_;
}

std::vector<rt::Ref<AudioPortDescription>> AudioSession::availableInputs() const {
    std::lock_guard lock(mutex_);
    return inputs_;
}

AudioRoute AudioSession::currentRoute() const {
    std::lock_guard lock(mutex_);
    AudioRoute route;
    if (routeInput_) route.inputs.push_back(routeInput_);
    route.outputs = outputs_;
    return route;
}

rt::Ref<AudioPortDescription> AudioSession::preferredInput() const {
    std::lock_guard lock(mutex_);
    return preferred_;
}

bool AudioSession::setPreferredInput(const rt::Ref<AudioPortDescription>& port, rt::Ref<rt::Error>* error) {
    std::lock_guard lock(mutex_);
    if (refused(Operation::SetPreferredInput, error)) return false;
    if (port && std::find(inputs_.begin(), inputs_.end(), port) == inputs_.end()) {
        return fail(error, NoSuchPort, "The input " + port->portName() + " is not available");
    }
    preferred_ = port;
    chooseRouteInputLocked();
    return true;
}

void AudioSession::chooseRouteInputLocked() {
    if (preferred_ && std::find(inputs_.begin(), inputs_.end(), preferred_) != inputs_.end()) {
        routeInput_ = preferred_;
    } else {
        routeInput_ = inputs_.empty() ? nullptr : inputs_.front();
    }
}

void AudioSession::refuseNext(Operation operation, rt::Ref<rt::Error> error) {
    std::lock_guard lock(mutex_);
    if (!error) error = rt::Error::withDescription(AudioSessionErrorDomain, CannotInterruptOthers,
                                                   "The system refused the audio session request");
    refusals_.emplace_back(operation, std::move(error));
}

void AudioSession::setAvailableInputs(std::vector<rt::Ref<AudioPortDescription>> inputs) {
    std::lock_guard lock(mutex_);
    inputs_ = std::move(inputs);
    chooseRouteInputLocked();
}

void AudioSession::setOutputs(std::vector<rt::Ref<AudioPortDescription>> outputs) {
    std::lock_guard lock(mutex_);
    outputs_ = std::move(outputs);
}

void AudioSession::setSampleRate(double hertz) {
    std::lock_guard lock(mutex_);
    sampleRate_ = hertz;
}

void AudioSession::raiseInterruption(AudioSessionInterruptionType type) {
    if (type == AudioSessionInterruptionType::Began) {
        std::lock_guard lock(mutex_);
        active_ = false;
    }
    rt::Dictionary info;
    info.set(AudioSessionInterruptionTypeKey, static_cast<unsigned>(type));
    fnd::NotificationCenter::defaultCenter()->post(AudioSessionInterruptionNotification, self(), info);
}

void AudioSession::raiseRouteChange(AudioSessionRouteChangeReason reason) {
    rt::Dictionary info;
    info.set(AudioSessionRouteChangeReasonKey, static_cast<unsigned>(reason));
    fnd::NotificationCenter::defaultCenter()->post(AudioSessionRouteChangeNotification, self(), info);
}

}  // namespace dev
