#pragma once
// The engine behind assets, items and players. Two implement it: GstEngine (GStreamer)
// and ScriptedEngine (a script on the run loop's clock, for tests). The public classes
// keep all observable state; an engine only finds out what an asset holds and runs one
// Playback per current item, reporting back on the main loop through PlaybackEvents.

#include <functional>
#include <string>
#include <vector>

#include <media/AssetTrack.h>
#include <media/MediaSelection.h>
#include <media/Time.h>
#include <rt/Error.h>
#include <rt/Object.h>

namespace media {

class AccessLogEvent;
class Asset;
class PlayerItem;
class VideoFrame;

/// What loading an asset finds out.
struct AssetInfo {
    bool playable = false;
    Time duration = Time::invalid();
    std::vector<rt::Ref<AssetTrack>> tracks;
    std::vector<rt::Ref<MediaSelectionGroup>> groups;
};

/// A subtitle cue that reached the legible output.
struct LegibleCue {
    Time start;
    Time duration;
    std::string text;
};

/// One current item played by an engine. Main thread only.
class Playback : public rt::Object {
    RT_CLASS(Playback, rt::Object)
public:
    /// 0 pauses, 1 plays (the player asks for no other rate).
    virtual void setRate(float rate) = 0;
    /// Seeks; done(true) once the new position is reached, done(false) when the seek was
    /// abandoned (the playback closed). Runs on the main loop, never inside this call.
    virtual void seek(Time time, Time toleranceBefore, Time toleranceAfter, std::function<void(bool)> done) = 0;
    virtual Time currentTime() const = 0;
    virtual void setMuted(bool muted) = 0;
    virtual void setVolume(float volume) = 0;
    /// Selects an option of a group, or none (nullptr) where the group allows it.
    virtual void select(const rt::Ref<MediaSelectionGroup>& group, const rt::Ref<MediaSelectionOption>& option) = 0;
    /// Brings the running access-log event up to date before it is read.
    virtual void refreshAccessLog(AccessLogEvent&) {}
    /// Stops for good; no event reaches the item afterwards.
    virtual void close() = 0;
};

class Engine : public rt::Object {
    RT_CLASS(Engine, rt::Object)
public:
    /// The engine new assets use: the one installed, else the GStreamer engine in a child
    /// process (ProcessEngine; with null outputs when ZID_MEDIA_NULL_OUTPUT is set in the
    /// environment), or in the host's own process (GstEngine) when ZID_MEDIA_ENGINE_MODE
    /// is "inprocess".
    static rt::Ref<Engine> shared();
    /// Installs the engine for assets made from now on (nullptr: back to the default). A
    /// host that wants the engine in its own process installs one:
    /// `media::Engine::setShared(rt::make<media::GstEngine>(options))`.
    static void setShared(rt::Ref<Engine> engine);

    /// Gets ready to play before any asset is known (main thread), so that the first one
    /// plays sooner: an engine in a child process starts one, its plugins loaded. Nothing
    /// by default.
    virtual void prepare() {}

    using AssetCompletion = std::function<void(rt::Ref<rt::Error> error, AssetInfo info)>;
    /// Finds out what the asset at its URL holds. done runs once, on any thread. The URL
    /// has already been checked to be http or https.
    virtual void loadAsset(const rt::Ref<Asset>& asset, AssetCompletion done) = 0;
    /// Gives up a load in progress; its completion may still run and is then ignored.
    virtual void cancelAssetLoad(const rt::Ref<Asset>&) {}
    /// Makes the playback of an item whose asset has loaded (main thread).
    virtual rt::Ref<Playback> makePlayback(const rt::Ref<PlayerItem>& item) = 0;
};

}  // namespace media
