#pragma once
// Stand-ins for the presentation services a player meets on a desktop host: picture in
// picture (not supported here: its flags stay NO), the now-playing information store
// (kept for the host to read; nothing is shown), and remote-control events, which the
// host injects (a media key, a remote) and the receiving view hands to its delegate.

#include <functional>
#include <mutex>
#include <vector>

#include <media/PlayerLayer.h>
#include <rt/Value.h>

namespace media {

class PictureInPictureController : public rt::Object {
    RT_CLASS(PictureInPictureController, rt::Object)
public:
    static void describe(rt::ClassBuilder<PictureInPictureController>& c);

    explicit PictureInPictureController(rt::Ref<PlayerLayer> playerLayer) : playerLayer_(std::move(playerLayer)) {}
    static bool isPictureInPictureSupported() { return false; }

    const rt::Ref<PlayerLayer>& playerLayer() const { return playerLayer_; }
    bool isPictureInPicturePossible() const { return false; }
    bool isPictureInPictureActive() const { return false; }
    /// Nothing to start or stop without support; the flags stay NO.
    void startPictureInPicture() {}
    void stopPictureInPicture() {}

private:
    rt::Ref<PlayerLayer> playerLayer_;
};

inline constexpr const char* MediaItemPropertyTitle = "title";
inline constexpr const char* MediaItemPropertyArtist = "artist";

class NowPlayingInfoCenter : public rt::Object {
    RT_CLASS(NowPlayingInfoCenter, rt::Object)
public:
    static void describe(rt::ClassBuilder<NowPlayingInfoCenter>& c);
    static rt::Ref<NowPlayingInfoCenter> defaultCenter();

    rt::Dictionary nowPlayingInfo() const;
    void setNowPlayingInfo(rt::Dictionary info);

private:
    mutable std::mutex mutex_;
    rt::Dictionary info_;
};

enum class EventType : long long { Touches = 0, Motion = 1, RemoteControl = 2, Presses = 3 };
enum class EventSubtype : long long {
    None = 0,
    RemoteControlPlay = 100,
    RemoteControlPause = 101,
    RemoteControlStop = 102,
    RemoteControlTogglePlayPause = 103,
    RemoteControlNextTrack = 104,
    RemoteControlPreviousTrack = 105,
};

struct RemoteControlEvent {
    EventType type = EventType::RemoteControl;
    EventSubtype subtype = EventSubtype::None;
};

/// Something that takes remote-control events (the player view).
class RemoteControlReceiver {
public:
    virtual ~RemoteControlReceiver() = default;
    virtual void remoteControlReceivedWithEvent(const RemoteControlEvent& event) = 0;
};

/// Where the host injects remote-control events. The most recent receiver that is still
/// alive gets them, on the main loop.
class RemoteControlCenter : public rt::Object {
    RT_CLASS(RemoteControlCenter, rt::Object)
public:
    static rt::Ref<RemoteControlCenter> shared();

    /// The receiver is held weakly through its owner object.
    void beginReceivingRemoteControlEvents(const rt::Ref<rt::Object>& owner, RemoteControlReceiver* receiver);
    void endReceivingRemoteControlEvents(const rt::Ref<rt::Object>& owner);
    /// Delivers the event on the main loop. Any thread.
    void injectEvent(RemoteControlEvent event);

private:
    void deliver(const RemoteControlEvent& event);
    std::mutex mutex_;
    std::vector<std::pair<rt::Weak<rt::Object>, RemoteControlReceiver*>> receivers_;
};

}  // namespace media
