#pragma once
// An engine that plays scripts instead of media, entirely on the main run loop's clock:
// a test writes what each URL does (how long loading takes, whether it fails, when
// playback stalls and for how long, when it fails, how long it lasts, which renditions
// it offers) and every observable of assets, items and players follows the script to
// the millisecond of virtual time. Nothing runs on another thread.
//
// Positions advance with the clock while the player's rate is not 0 and the item is
// neither stalled nor seeking; events in the script are keyed by position, so a paused
// player meets them later.

#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <fnd/RunLoop.h>
#include <media/Engine.h>
#include <media/MediaErrors.h>

namespace media {

struct ScriptedMedia {
    /// Virtual seconds from the start of loading to the asset's keys loading (or failing).
    fnd::TimeInterval loadTime = 0.3;
    /// When set, every key of the asset fails with this error after loadTime.
    rt::Ref<rt::Error> loadError;
    /// Seconds of media; infinity for a live stream (indefinite duration, no end).
    double duration = 30;
    Size presentationSize{320, 180};
    /// Tracks of the asset; empty gives one video track (H.264) and one audio track
    /// (AAC), or only the audio track when the presentation size is 0 by 0.
    std::vector<AssetTrack::Description> tracks;
    std::vector<rt::Ref<MediaSelectionGroup>> groups;
    /// Playback stops keeping up when the position reaches `at`, for `length` seconds
    /// (infinity: for good). An unannounced one posts no stall notification: the item
    /// only says it no longer keeps up, as a segment that never comes leaves it.
    struct Stall {
        double at;
        fnd::TimeInterval length;
        bool announced = true;
    };
    std::vector<Stall> stalls;
    /// The item fails with the error when the position reaches `at`.
    struct Failure {
        double at;
        rt::Ref<rt::Error> error;
    };
    std::optional<Failure> failure;
    /// Virtual seconds a seek takes (0: it lands on the next turn of the loop).
    fnd::TimeInterval seekTime = 0.1;
    /// Seconds between key frames, from 0: a default seek (loose tolerances) lands on the
    /// key frame at or before its time, an exact one on the time. 0: every time is one.
    double keyFrameInterval = 0;
    /// A seek replaced by a newer one is answered NO at once (on the next turn); with
    /// this, only after the newer one has landed (the answers out of order).
    bool answersReplacedLate = false;
    /// Seconds from the playback's start to the item being ready.
    fnd::TimeInterval readyTime = 0;
    double bitrate = 2'000'000;
    double segmentDuration = 2;
    /// How far ahead of the position the media counts as loaded.
    double bufferAhead = 10;
    std::string serverAddress = "127.0.0.1";
    long long droppedVideoFrames = 0;
};

class ScriptedPlayback;

class ScriptedEngine : public Engine {
    RT_CLASS(ScriptedEngine, Engine)
public:
    /// What the URL does. A URL without a script fails its asset with ResourceNotFound.
    void setScript(const std::string& url, ScriptedMedia script);
    /// Loads the engine was asked for, per URL.
    int loadCount(const std::string& url) const;
    /// The selections made on playbacks, as "characteristic=streamID" ("" for none).
    const std::vector<std::string>& selections() const { return selections_; }
    /// The playback most recently made (nullptr when none).
    rt::Ref<ScriptedPlayback> lastPlayback() const { return lastPlayback_.lock(); }

    void loadAsset(const rt::Ref<Asset>& asset, AssetCompletion done) override;
    void cancelAssetLoad(const rt::Ref<Asset>& asset) override;
    rt::Ref<Playback> makePlayback(const rt::Ref<PlayerItem>& item) override;

private:
    friend class ScriptedPlayback;
    std::map<std::string, ScriptedMedia> scripts_;
    std::map<std::string, int> loads_;
    std::map<const Asset*, rt::Ref<fnd::Timer>> pendingLoads_;
    std::vector<std::string> selections_;
    rt::Weak<ScriptedPlayback> lastPlayback_;
};

class ScriptedPlayback : public Playback {
    RT_CLASS(ScriptedPlayback, Playback)
public:
    ScriptedPlayback(rt::Ref<ScriptedEngine> engine, rt::Ref<PlayerItem> item, ScriptedMedia script);
    ~ScriptedPlayback() override;

    void setRate(float rate) override;
    void seek(Time time, Time toleranceBefore, Time toleranceAfter, std::function<void(bool)> done) override;
    Time currentTime() const override;
    void setMuted(bool muted) override { muted_ = muted; }
    void setVolume(float volume) override { volume_ = volume; }
    void select(const rt::Ref<MediaSelectionGroup>& group, const rt::Ref<MediaSelectionOption>& option) override;
    void refreshAccessLog(AccessLogEvent& event) override;
    void close() override;

    // Unscripted events a test may raise at any moment.
    /// Stops keeping up now for `length` virtual seconds (infinity: for good), posting
    /// the stall notification when `announced`.
    void stallNow(fnd::TimeInterval length, bool announced = true);
    void failNow(const rt::Ref<rt::Error>& error);
    /// The position stands still from now on and nothing is reported: an engine that
    /// hangs while it says it plays and keeps up.
    void freezeNow();
    bool isMuted() const { return muted_; }
    float volume() const { return volume_; }
    bool isStalled() const { return stalled_; }

    void start();

private:
    double position() const;
    bool isRunning() const;
    void anchor();
    void reschedule();
    /// Answers the seek in flight and those replaced and not yet answered NO.
    void abandonSeeks();
    void onEvent();
    void endStall();
    void updateLoadedRanges();
    void showFrame();
    double now() const;

    rt::Weak<ScriptedEngine> engine_;
    rt::Weak<PlayerItem> item_;
    ScriptedMedia script_;
    bool ready_ = false, closed_ = false, stalled_ = false, seeking_ = false, ended_ = false, failed_ = false;
    bool frozen_ = false;
    bool muted_ = false;
    float volume_ = 1, rate_ = 0;
    double position_ = 0;
    std::function<void(bool)> seekDone_;
    std::vector<std::function<void(bool)>> replacedSeeks_;
    double anchorClock_ = 0;
    double watched_ = 0;
    std::vector<bool> stallDone_;
    double openedAt_ = 0;
    rt::Ref<fnd::Timer> eventTimer_, seekTimer_, stallTimer_, readyTimer_, progressTimer_;
};

}  // namespace media
