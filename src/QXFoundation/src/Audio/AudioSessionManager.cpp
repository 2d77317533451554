#include <QXFoundation/Audio/AudioSessionManager.h>

#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Log/QXLogger.h>
#include <rt/Format.h>

namespace zid {

rt::Ref<AudioSessionManager> _instance;

namespace {

constexpr const char* kLogModule = "ZIDoredider/QXFoundation";
constexpr std::int64_t kLogLevel = 2;

std::string describe(const rt::Ref<rt::Error>& error) {
    return error ? error->localizedDescription() : std::string("(null)");
}

}  // namespace

rt::Ref<AudioSessionManager> AudioSessionManager::instance() {
    static std::once_flag once;
    std::call_once(once, [] { _instance = managerWithSession(dev::AudioSession::shared()); });
    return _instance;
}

rt::Ref<AudioSessionManager> AudioSessionManager::managerWithSession(rt::Ref<dev::AudioSession> session) {
    auto manager = rt::make<AudioSessionManager>(std::move(session));
    manager->registerForNotifications();
    return manager;
}

AudioSessionManager::AudioSessionManager(rt::Ref<dev::AudioSession> session) : session_(std::move(session)) {}

void AudioSessionManager::registerForNotifications() {
    auto center = fnd::NotificationCenter::defaultCenter();
    auto self = selfAs<AudioSessionManager>();
    center->addObserver(self, &AudioSessionManager::interruptionNotification,
                        std::string(dev::AudioSessionInterruptionNotification), session_);
    center->addObserver(self, &AudioSessionManager::routeChangeNotification,
                        std::string(dev::AudioSessionRouteChangeNotification), session_);
}

std::uint64_t AudioSessionManager::audioSessionType() const {
    std::lock_guard lock(mutex_);
    return audioSessionType_;
}

void AudioSessionManager::setAudioSessionType(std::uint64_t type) {
    std::lock_guard lock(mutex_);
    audioSessionType_ = type;
}

double AudioSessionManager::currentSampleRate() const { return session_->sampleRate(); }

void AudioSessionManager::log(const LogLines& lines) const {
    for (const auto& line : lines) QXLog(kLogModule, staticClass(), kLogLevel, "%@", line);
}

void AudioSessionManager::underLock(const std::function<void(LogLines&)>& work) {
    LogLines lines;
    {
        std::lock_guard lock(mutex_);
        work(lines);
    }
    log(lines);
}

void AudioSessionManager::beginSession(AudioSessionType type, const char* call, std::initializer_list<Step> steps) {
    underLock([&](LogLines& lines) {
        if (audioSessionType_ == type) return;
        endSessionLocked(lines);
        for (const Step& step : steps) {
            rt::Ref<rt::Error> error;
            if (!step(*session_, &error)) lines.push_back(rt::format("%s failed error = %@", call, describe(error)));
        }
        audioSessionType_ = type;
        startSessionLocked(lines);
    });
}

void AudioSessionManager::beginPlaybackSession() {
    beginSession(Playback, "beginPlaybackSession",
                 {[](auto& s, auto e) { return s.setCategory(dev::AudioSessionCategoryPlayback, e); },
                  [](auto& s, auto e) { return s.setMode(dev::AudioSessionModeMoviePlayback, e); }});
}

void AudioSessionManager::beginRecordSession() {
    beginSession(Record, "beginRecordSession",
                 {[](auto& s, auto e) { return s.setCategory(dev::AudioSessionCategoryPlayAndRecord, e); },
                  [](auto& s, auto e) { return s.setMode(dev::AudioSessionModeVideoRecording, e); },
                  [](auto& s, auto e) {
                      return s.overrideOutputAudioPort(dev::AudioSessionPortOverride::Speaker, e);
                  }});
}

void AudioSessionManager::startSession() {
    underLock([&](LogLines& lines) { startSessionLocked(lines); });
}

void AudioSessionManager::startSessionLocked(LogLines& lines) {
    rt::Ref<rt::Error> error;
    if (!session_->setActive(true, &error)) {
        lines.push_back(rt::format("startSession failed error = %@", describe(error)));
        audioSessionType_ = None;
    }
}

void AudioSessionManager::endSession() {
    underLock([&](LogLines& lines) { endSessionLocked(lines); });
}

void AudioSessionManager::endSessionLocked(LogLines& lines) {
    rt::Ref<rt::Error> error;
    if (session_->setActive(false, &error)) {
        audioSessionType_ = None;
    } else {
        lines.push_back(rt::format("endSession failed error = %@", describe(error)));
    }
}

void AudioSessionManager::beginAudioInterruption() {
    notifyListeners<IAudioSessionManagerListener>(*this, [](IAudioSessionManagerListener& l) { l.beginAudioInterruption(); });
}

void AudioSessionManager::endAudioInterruption() {
    notifyListeners<IAudioSessionManagerListener>(*this, [](IAudioSessionManagerListener& l) { l.endAudioInterruption(); });
}

void AudioSessionManager::interruptionNotification(const rt::Ref<fnd::Notification>& notification) {
    const rt::Value type = notification->userInfo().get(dev::AudioSessionInterruptionTypeKey);
    if (type.isNumber() && type.longLongValue() == static_cast<long long>(dev::AudioSessionInterruptionType::Began)) {
        beginAudioInterruption();
    } else {
        endAudioInterruption();
    }
}

void AudioSessionManager::routeChangeNotification(const rt::Ref<fnd::Notification>& notification) {
    const auto reason = static_cast<std::int32_t>(notification->userInfo().get(dev::AudioSessionRouteChangeReasonKey).longLongValue());
    notifyListeners<IAudioSessionManagerListener>(*this, [reason](IAudioSessionManagerListener& l) { l.routeChange(reason); });
}

std::vector<rt::Ref<dev::AudioPortDescription>> AudioSessionManager::audioInputPorts() const {
    return session_->availableInputs();
}

rt::Ref<dev::AudioPortDescription> AudioSessionManager::currentAudioInputPort() const {
    auto route = session_->currentRoute();
    return route.inputs.empty() ? nullptr : route.inputs.front();
}

bool AudioSessionManager::setPreferredAudioInputPort(const rt::Ref<dev::AudioPortDescription>& port,
                                                     rt::Ref<rt::Error>* error) {
    if (port == currentAudioInputPort()) return true;
    if (port == session_->preferredInput()) return false;  // asked before and it did not take
    if (!session_->setPreferredInput(port, error)) return false;
    return port == currentAudioInputPort();
}

std::uint64_t AudioSessionManager::typeForPort(const rt::Ref<dev::AudioPortDescription>& port) {
    if (!port) return PortOther;
    const std::string& type = port->portType();
    if (type == dev::AudioSessionPortLineIn) return PortLineIn;
    if (type == dev::AudioSessionPortBluetoothA2DP || type == dev::AudioSessionPortBluetoothHFP ||
        type == dev::AudioSessionPortBluetoothLE) {
        return PortBluetooth;
    }
    if (type == dev::AudioSessionPortHeadsetMic) return PortHeadsetMic;
    if (type == dev::AudioSessionPortBuiltInMic) return PortBuiltInMic;
    return PortOther;
}

}  // namespace zid
