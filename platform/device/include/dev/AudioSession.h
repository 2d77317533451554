#pragma once
// The application's audio session: how it means to use sound (category, mode), whether
// it holds the audio system (active), and the route sound takes (inputs, outputs).
//
// There is no audio policy daemon to negotiate with here: the session records what the
// application asks for and grants it. Events that come from outside the application -
// an interruption (a call, an alarm), a changed route (headphones plugged in), a refusal
// by the system - are raised through the host side of the interface, by the host or by
// tests. Notifications go to the default notification centre with the session as the
// sender, on the thread that raised them.

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <rt/Error.h>
#include <rt/Object.h>

namespace dev {

// Categories.
inline constexpr const char* AudioSessionCategorySoloAmbient = "AudioSessionCategorySoloAmbient";
inline constexpr const char* AudioSessionCategoryPlayback = "AudioSessionCategoryPlayback";
inline constexpr const char* AudioSessionCategoryPlayAndRecord = "AudioSessionCategoryPlayAndRecord";
// Modes.
inline constexpr const char* AudioSessionModeDefault = "AudioSessionModeDefault";
inline constexpr const char* AudioSessionModeMoviePlayback = "AudioSessionModeMoviePlayback";
inline constexpr const char* AudioSessionModeVideoRecording = "AudioSessionModeVideoRecording";
// Port types.
inline constexpr const char* AudioSessionPortLineIn = "AudioSessionPortLineIn";
inline constexpr const char* AudioSessionPortBuiltInMic = "AudioSessionPortBuiltInMic";
inline constexpr const char* AudioSessionPortHeadsetMic = "AudioSessionPortHeadsetMic";
inline constexpr const char* AudioSessionPortBluetoothA2DP = "AudioSessionPortBluetoothA2DP";
inline constexpr const char* AudioSessionPortBluetoothHFP = "AudioSessionPortBluetoothHFP";
inline constexpr const char* AudioSessionPortBluetoothLE = "AudioSessionPortBluetoothLE";
inline constexpr const char* AudioSessionPortBuiltInSpeaker = "AudioSessionPortBuiltInSpeaker";
inline constexpr const char* AudioSessionPortHeadphones = "AudioSessionPortHeadphones";

// Notifications and their user-info keys (values are numbers).
inline constexpr const char* AudioSessionInterruptionNotification = "AudioSessionInterruptionNotification";
inline constexpr const char* AudioSessionInterruptionTypeKey = "AudioSessionInterruptionTypeKey";
inline constexpr const char* AudioSessionRouteChangeNotification = "AudioSessionRouteChangeNotification";
inline constexpr const char* AudioSessionRouteChangeReasonKey = "AudioSessionRouteChangeReasonKey";

/// The error domain of refused session requests.
inline constexpr const char* AudioSessionErrorDomain = "AudioSessionErrorDomain";

enum class AudioSessionInterruptionType : unsigned { Ended = 0, Began = 1 };

enum class AudioSessionRouteChangeReason : unsigned {
    Unknown = 0,
    NewDeviceAvailable = 1,
    OldDeviceUnavailable = 2,
    CategoryChange = 3,
    Override = 4,
    WakeFromSleep = 6,
    NoSuitableRouteForCategory = 7,
    RouteConfigurationChange = 8,
};

enum class AudioSessionPortOverride { None = 0, Speaker = 1 };

/// One input or output: its type (a port type name above), a readable name and a
/// unique id. Compared by identity.
class AudioPortDescription : public rt::Object {
    RT_CLASS(AudioPortDescription, rt::Object)
public:
    AudioPortDescription(std::string portType, std::string portName, std::string uid);
    const std::string& portType() const { return portType_; }
    const std::string& portName() const { return portName_; }
    const std::string& uid() const { return uid_; }
    std::string description() const override;

private:
    std::string portType_, portName_, uid_;
};

struct AudioRoute {
    std::vector<rt::Ref<AudioPortDescription>> inputs;
    std::vector<rt::Ref<AudioPortDescription>> outputs;
};

class AudioSession : public rt::Object {
    RT_CLASS(AudioSession, rt::Object)
public:
    /// The application's session (one per process), starting inactive with the solo
    /// ambient category, the default mode, a built-in microphone and speaker.
    static rt::Ref<AudioSession> shared();
    AudioSession();

    // ---- the application's side -------------------------------------------------
    std::string category() const;
    bool setCategory(const std::string& category, rt::Ref<rt::Error>* error = nullptr);
    std::string mode() const;
    bool setMode(const std::string& mode, rt::Ref<rt::Error>* error = nullptr);
    AudioSessionPortOverride outputOverride() const;
    /// Speaker sends output to the built-in speaker; only the play-and-record category
    /// takes an override.
    bool overrideOutputAudioPort(AudioSessionPortOverride portOverride, rt::Ref<rt::Error>* error = nullptr);
    bool isActive() const;
    bool setActive(bool active, rt::Ref<rt::Error>* error = nullptr);
    /// The hardware sample rate in hertz.
    double sampleRate() const;

    std::vector<rt::Ref<AudioPortDescription>> availableInputs() const;
    AudioRoute currentRoute() const;
    rt::Ref<AudioPortDescription> preferredInput() const;
    /// Prefers one of the available inputs; the route takes it at once. A port that is
    /// not available is refused. Null clears the preference.
    bool setPreferredInput(const rt::Ref<AudioPortDescription>& port, rt::Ref<rt::Error>* error = nullptr);

    // ---- the host's side ----------------------------------------------------------
    enum class Operation { SetCategory, SetMode, OverrideOutput, Activate, Deactivate, SetPreferredInput };
    /// The system refuses the next request of that kind with the error (one time).
    void refuseNext(Operation operation, rt::Ref<rt::Error> error);
    /// Changes the available inputs and the route; the first input becomes the
    /// route's input unless the preferred one is still available.
    void setAvailableInputs(std::vector<rt::Ref<AudioPortDescription>> inputs);
    void setOutputs(std::vector<rt::Ref<AudioPortDescription>> outputs);
    void setSampleRate(double hertz);
    /// Posts the interruption notification; a beginning interruption also deactivates
    /// the session, as the system would.
    void raiseInterruption(AudioSessionInterruptionType type);
    /// Posts the route-change notification with the reason.
    void raiseRouteChange(AudioSessionRouteChangeReason reason);

private:
    bool refused(Operation operation, rt::Ref<rt::Error>* error);
    void chooseRouteInputLocked();

    mutable std::mutex mutex_;
    std::string category_;
    std::string mode_;
    AudioSessionPortOverride override_ = AudioSessionPortOverride::None;
    bool active_ = false;
    double sampleRate_ = 48000;
    std::vector<rt::Ref<AudioPortDescription>> inputs_;
    std::vector<rt::Ref<AudioPortDescription>> outputs_;
    rt::Ref<AudioPortDescription> routeInput_;
    rt::Ref<AudioPortDescription> preferred_;
    std::vector<std::pair<Operation, rt::Ref<rt::Error>>> refusals_;
};

}  // namespace dev
