#pragma once
// The application's use of the audio session: configured and activated for playback or
// for recording, remembered so that asking again costs nothing, with the session's
// interruptions and route changes relayed to listeners.
//
// Failures of the audio session are logged at level 2 and absorbed; only
// setPreferredAudioInputPort() reports to its caller.

#include <functional>
#include <initializer_list>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <dev/AudioSession.h>
#include <fnd/NotificationCenter.h>
#include <rt/Object.h>

namespace zid {

/// Listener messages of the manager; all optional.
class IAudioSessionManagerListener {
public:
    virtual ~IAudioSessionManagerListener() = default;
    virtual void beginAudioInterruption() {}
    virtual void endAudioInterruption() {}
    /// reason: the session's route-change reason.
    virtual void routeChange(std::int32_t reason) { (void)reason; }
};

class AudioSessionManager : public rt::Object {
    RT_CLASS(AudioSessionManager, rt::Object)
public:
    enum AudioSessionType : std::uint64_t { None = 0, Playback = 1, Record = 2 };
    enum PortType : std::uint64_t { PortOther = 0, PortBuiltInMic = 1, PortHeadsetMic = 2, PortBluetooth = 3, PortLineIn = 4 };

    /// The shared manager over the shared audio session, made on the first call; safe
    /// to call from any thread.
    static rt::Ref<AudioSessionManager> instance();
    /// A manager over the given session, registered for its notifications for as long
    /// as it lives (the centre holds it weakly).
    static rt::Ref<AudioSessionManager> managerWithSession(rt::Ref<dev::AudioSession> session);

    /// Use managerWithSession(): the notification registrations need the finished object.
    explicit AudioSessionManager(rt::Ref<dev::AudioSession> session);

    const rt::Ref<dev::AudioSession>& session() const { return session_; }
    std::uint64_t audioSessionType() const;
    void setAudioSessionType(std::uint64_t type);
    double currentSampleRate() const;

    /// Playback category, movie-playback mode, active. Nothing when playback is already set.
    void beginPlaybackSession();
    /// Play-and-record category, video-recording mode, output to the speaker, active.
    void beginRecordSession();
    void startSession();
    void endSession();

    void beginAudioInterruption();
    void endAudioInterruption();
    void interruptionNotification(const rt::Ref<fnd::Notification>& notification);
    void routeChangeNotification(const rt::Ref<fnd::Notification>& notification);

    std::vector<rt::Ref<dev::AudioPortDescription>> audioInputPorts() const;
    rt::Ref<dev::AudioPortDescription> currentAudioInputPort() const;
    /// YES when the port is (now) the current input. Does not ask again for a port that
    /// is preferred already but did not become current.
    bool setPreferredAudioInputPort(const rt::Ref<dev::AudioPortDescription>& port, rt::Ref<rt::Error>* error = nullptr);
    static std::uint64_t typeForPort(const rt::Ref<dev::AudioPortDescription>& port);

private:
    void registerForNotifications();
    // The steps run under the lock and collect their log lines; the lines go to the
    // log handlers once the lock is released, so a handler may use the manager.
    using LogLines = std::vector<std::string>;
    void startSessionLocked(LogLines& lines);
    void endSessionLocked(LogLines& lines);
    void log(const LogLines& lines) const;
    /// Runs work under the lock, then logs what it wrote.
    void underLock(const std::function<void(LogLines&)>& work);
    /// A session step: true when it succeeded, else the error set.
    using Step = std::function<bool(dev::AudioSession&, rt::Ref<rt::Error>*)>;
    /// Ends the session, runs the steps (a failed one is logged under call and the
    /// next still runs) and starts the session as type. Nothing when type is set.
    void beginSession(AudioSessionType type, const char* call, std::initializer_list<Step> steps);

    rt::Ref<dev::AudioSession> session_;
    // Begin and end calls may come from several threads; the type and the calls to the
    // session that go with it change together.
    mutable std::recursive_mutex mutex_;
    std::uint64_t audioSessionType_ = None;
};

/// The shared manager, nothing until instance() made it.
extern rt::Ref<AudioSessionManager> _instance;

}  // namespace zid
