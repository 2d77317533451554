#pragma once
// Scriptable stand-ins of the playback engine's parts, for this module's tests and the
// tests of the modules above it: a source, a media player, a player factory, a movie
// player controller and a tracker that records what it hears.
#include <QXCorePlayer/Core/Core/CPAbstractMediaSource.h>
#include <QXCorePlayer/Core/Core/CPPlaybackSessionListener.h>
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaSelectionOption.h>
#include <QXCorePlayer/Core/MediaPlayer/IQXMoviePlayerController.h>
#include <QXFoundation/Log/QXLogHandler.h>
#include <QXFoundation/Log/QXLogger.h>
#include <fnd/NotificationCenter.h>
#include <rt/KVO.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zidtest {

using namespace zid;

/// A source whose state the test drives with the base class's state setters. Calls
/// are recorded; hooks script the reaction to realize, dispose and a playback error.
class ScriptedSource : public CPAbstractMediaSource, public ICPURLMediaSource {
    RT_CLASS(ScriptedSource, CPAbstractMediaSource)
public:
    explicit ScriptedSource(std::string url = "http://127.0.0.1/stream.m3u8") : url_(std::move(url)) {}

    void realizeWithPlaybackID(const std::string& playbackID) override {
        calls.push_back("realize:" + playbackID);
        if (onRealize) onRealize(*this);
    }
    void dispose() override {
        calls.push_back("dispose");
        if (onDispose)
            onDispose(*this);
        else
            setUnrealized();
    }
    bool handlePlaybackError(const rt::Ref<rt::Error>& error) override {
        calls.push_back("handlePlaybackError");
        handledErrors.push_back(error);
        return onPlaybackError ? onPlaybackError(*this, error) : false;
    }
    void continueWithPassword(const std::string& p) override { calls.push_back("password:" + p); }
    void continueWithHash(const std::string& h) override { calls.push_back("hash:" + h); }
    void continueWithAgeConfirmed(bool c) override { calls.push_back(c ? "age:YES" : "age:NO"); }
    void cancelAgeConfirmation() override { calls.push_back("cancelAge"); }

    bool safeToContinue() const override { return safe_; }
    void setSafe(bool safe) { safe_ = safe; }
    std::string mediaUrl() const override { return url_; }
    void setMediaUrl(std::string url) { rt::kvoSet(this, "mediaUrl", url_, std::move(url)); }

    static void describe(rt::ClassBuilder<ScriptedSource>& c) {
        c.readonly("mediaUrl", &ScriptedSource::mediaUrl);
        c.readonly("safeToContinue", &ScriptedSource::safeToContinue);
    }

    std::vector<std::string> calls;
    std::vector<rt::Ref<rt::Error>> handledErrors;
    std::function<void(ScriptedSource&)> onRealize;
    std::function<void(ScriptedSource&)> onDispose;
    std::function<bool(ScriptedSource&, const rt::Ref<rt::Error>&)> onPlaybackError;

private:
    std::string url_;
    bool safe_ = true;
};

/// A media player whose state the test sets (error first, then state, like the real
/// one). Transport calls are recorded; reset goes back to BUFFERING as the real one does.
class ScriptedPlayer : public ICPMediaPlayer {
    RT_CLASS(ScriptedPlayer, ICPMediaPlayer)
public:
    void setSource(const rt::Ref<ICPMediaSource>& s) override { rt::kvoSet(this, "source", source_, s); }
    rt::Ref<ICPMediaSource> source() const override { return source_; }
    void prepareToPlay() override { calls.push_back("prepareToPlay"); }
    void start() override {
        calls.push_back("start");
        if (onStart) onStart(*this);
    }
    void stop() override { calls.push_back("stop"); }
    void pause() override {
        calls.push_back("pause");
        if (onPause) onPause(*this);
    }
    void reset() override {
        calls.push_back("reset");
        script(CPPlayerState::Buffering);
        setPlaybackTime(0);
    }
    void seekTo(double t) override {
        calls.push_back("seekTo");
        seeks.push_back(t);
        setPlaybackTime(t);
    }
    rt::Value seekPosition() const override { return seekPosition_; }
    void setSeekPosition(rt::Value v) override {
        seekPositions.push_back(v);
        rt::kvoSet(this, "seekPosition", seekPosition_, std::move(v));
    }
    void startPictureInPicture() override { calls.push_back("startPictureInPicture"); }
    void stopPictureInPicture() override { calls.push_back("stopPictureInPicture"); }
    void selectSubtitle(const rt::Ref<rt::Object>&) override { calls.push_back("selectSubtitle"); }
    void selectAudioTrack(const rt::Ref<rt::Object>&) override { calls.push_back("selectAudioTrack"); }
    void beginSeeking() override {}
    void endSeeking() override {}
    void cancelSeeking() override {}
    void changeSeeking(float) override {}
    rt::Ref<rt::Object> presentationLayer() const override { return nullptr; }
    CPPlayerState state() const override { return state_; }
    bool isAudioOnly() const override { return audioOnly_; }
    void setAudioOnly(bool v) {
        // Announced under both names the interface registers, as the real player does.
        rt::kvoChange(this, "isAudioOnly", [&] { rt::kvoChange(this, "audioOnly", [&] { audioOnly_ = v; }); });
    }
    bool isAirplayActive() const override { return airplayActive_; }
    void setAirplayActive(bool v) { rt::kvoSet(this, "isAirplayActive", airplayActive_, v); }
    CPVideoSize videoSize() const override { return videoSize_; }
    void setVideoSize(CPVideoSize v) { rt::kvoSet(this, "videoSize", videoSize_, v); }
    bool contentModeScaleAspectFill() const override { return fill_; }
    void setContentModeScaleAspectFill(bool v) override { rt::kvoSet(this, "contentModeScaleAspectFill", fill_, v); }
    bool muted() const override { return muted_; }
    void setMuted(bool v) override { rt::kvoSet(this, "muted", muted_, v); }
    bool continuePlaybackInBackground() const override { return background_; }
    void setContinuePlaybackInBackground(bool v) override {
        rt::kvoSet(this, "continuePlaybackInBackground", background_, v);
    }
    bool pictureInPictureAvailable() const override { return pipAvailable_; }
    void setPictureInPictureAvailable(bool v) { rt::kvoSet(this, "pictureInPictureAvailable", pipAvailable_, v); }
    bool pictureInPictureActive() const override { return pipActive_; }
    void setPictureInPictureActive(bool v) { rt::kvoSet(this, "pictureInPictureActive", pipActive_, v); }
    rt::Ref<rt::Object> subtitles() const override { return nullptr; }
    rt::Ref<rt::Object> defaultSubtitle() const override { return nullptr; }
    rt::Ref<rt::Object> selectedSubtitle() const override { return nullptr; }
    rt::Ref<rt::Object> audioTracks() const override { return nullptr; }
    rt::Ref<rt::Object> defaultAudioTrack() const override { return nullptr; }
    rt::Ref<rt::Object> selectedAudioTrack() const override { return nullptr; }
    double playbackTime() const override { return playbackTime_; }
    void setPlaybackTime(double t) { rt::kvoSet(this, "playbackTime", playbackTime_, t); }
    rt::Ref<ICPMediaTiming> timeInfo() const override { return timeInfo_; }
    void setTimeInfo(rt::Ref<ICPMediaTiming> t) { rt::kvoSet(this, "timeInfo", timeInfo_, std::move(t)); }
    rt::Ref<rt::Error> error() const override { return error_; }
    double observedBitrate() const override { return bitrate_; }
    void setObservedBitrate(double v) { rt::kvoSet(this, "observedBitrate", bitrate_, v); }
    std::int64_t numberOfBytesTransferred() const override { return bytes_; }
    void setBytes(std::int64_t v) { rt::kvoSet(this, "numberOfBytesTransferred", bytes_, v); }
    bool seeking() const override { return false; }
    double seekValue() const override { return -1; }

    /// error := error, then state := state.
    void script(CPPlayerState state, rt::Ref<rt::Error> error = nullptr) {
        rt::kvoSet(this, "error", error_, std::move(error));
        rt::kvoSet(this, "state", state_, state);
    }

    std::vector<std::string> calls;
    std::vector<double> seeks;
    std::vector<rt::Value> seekPositions;
    std::function<void(ScriptedPlayer&)> onStart;
    std::function<void(ScriptedPlayer&)> onPause;

private:
    rt::Ref<ICPMediaSource> source_;
    CPPlayerState state_ = CPPlayerState::Stopped;
    rt::Ref<rt::Error> error_;
    bool audioOnly_ = false;
    bool pipAvailable_ = false;
    bool pipActive_ = false;
    rt::Value seekPosition_;
    rt::Ref<ICPMediaTiming> timeInfo_;
    bool airplayActive_ = false;
    CPVideoSize videoSize_;
    bool fill_ = false;
    bool muted_ = false;
    bool background_ = false;
    double playbackTime_ = 0;
    double bitrate_ = 0;
    std::int64_t bytes_ = 0;
};

/// Makes scripted players that start BUFFERING, like the real factory's players.
class ScriptedPlayerFactory : public ICPPlayerFactory {
    RT_CLASS(ScriptedPlayerFactory, ICPPlayerFactory)
public:
    rt::Ref<ICPMediaPlayer> playerForSource(const rt::Ref<ICPMediaSource>& source) override {
        auto player = rt::make<ScriptedPlayer>();
        player->setSource(source);
        player->script(initialState);
        players.push_back(player);
        return player;
    }
    double loadingTimeout() const override { return loadingTimeout_; }
    void setLoadingTimeout(double v) override { loadingTimeout_ = v; }
    rt::Ref<ScriptedPlayer> last() const { return players.empty() ? nullptr : players.back(); }

    CPPlayerState initialState = CPPlayerState::Buffering;
    std::vector<rt::Ref<ScriptedPlayer>> players;

private:
    double loadingTimeout_ = 10;
};

/// A tracker that writes each event as a line of text.
class RecordingTracker : public ICPPlaybackTracker {
    RT_CLASS(RecordingTracker, ICPPlaybackTracker)
public:
    void close() override { events.push_back("close"); }
    void onPreparing() override { events.push_back("onPreparing"); }
    void onBuffering() override { events.push_back("onBuffering"); }
    void onPrerollLoading() override { events.push_back("onPrerollLoading"); }
    void onPrerolling() override { events.push_back("onPrerolling"); }
    void onMidrolling() override { events.push_back("onMidrolling"); }
    void onStart() override { events.push_back("onStart"); }
    void onFinish() override { events.push_back("onFinish"); }
    void onKill() override { events.push_back("onKill"); }
    void onError(const rt::Ref<rt::Error>& e) override {
        events.push_back("onError");
        errors.push_back(e);
    }
    void onResume() override { events.push_back("onResume"); }
    void onPause() override { events.push_back("onPause"); }
    void onRewind() override { events.push_back("onRewind"); }
    void onSeekFrom(double from, double to) override { events.push_back("onSeekFrom:" + fmt(from) + ":" + fmt(to)); }
    void onClick() override { events.push_back("onClick"); }
    void onMute(bool m) override { events.push_back(m ? "onMute:1" : "onMute:0"); }
    void onFullscreen(bool f) override { events.push_back(f ? "onFullscreen:1" : "onFullscreen:0"); }
    void onProgress(double t) override { events.push_back("onProgress:" + fmt(t)); }
    void onBytesTransferred(std::int64_t b) override { events.push_back("onBytes:" + std::to_string(b)); }
    void onBitrate(double b) override { events.push_back("onBitrate:" + fmt(b)); }
    void onVideoSize(CPVideoSize s) override { events.push_back("onVideoSize:" + fmt(s.width) + "x" + fmt(s.height)); }

    /// The events other than the value reports (progress, bitrate, bytes, size, mute).
    std::vector<std::string> transitions() const {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e.rfind("onBitrate", 0) && e.rfind("onBytes", 0) && e.rfind("onVideoSize", 0) && e.rfind("onMute", 0))
                out.push_back(e);
        return out;
    }
    static std::string fmt(double v) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%g", v);
        return buffer;
    }

    std::vector<std::string> events;
    std::vector<rt::Ref<rt::Error>> errors;
};

/// A movie player controller the test scripts: setPlaybackState posts the state
/// notification as the real controller does.
class ScriptedMoviePlayer : public IQXMoviePlayerController {
    RT_CLASS(ScriptedMoviePlayer, IQXMoviePlayerController)
public:
    void setContentURL(const std::string& url) override { contentURL_ = url; }
    std::string contentURL() const override { return contentURL_; }
    void setInitialPlaybackTime(double t) override { initialPlaybackTime = t; }
    void setEndPlaybackTime(double t) override { endPlaybackTime = t; }
    void setTitle(const std::string& t) override { title = t; }
    void prepareToPlay() override { calls.push_back("prepareToPlay"); }
    void play() override { calls.push_back("play"); }
    void pause() override { calls.push_back("pause"); }
    void stop() override { calls.push_back("stop"); }
    QXMoviePlaybackState playbackState() const override { return playbackState_; }
    bool isPreparedToPlay() const override { return prepared; }
    rt::Ref<rt::Error> error() const override { return error_; }
    double duration() const override { return duration_; }
    double currentPlaybackTime() const override { return currentTime; }
    void setCurrentPlaybackTime(double t) override {
        calls.push_back("seek");
        currentTime = t;
    }
    bool shouldAutoplay() const override { return autoplay; }
    void setShouldAutoplay(bool v) override { autoplay = v; }
    long scalingMode() const override { return scalingMode_; }
    void setScalingMode(long m) override { scalingMode_ = m; }
    void setAllowsAirPlay(bool) override {}
    bool isAirPlayVideoActive() const override { return false; }
    bool muted() const override { return muted_; }
    void setMuted(bool v) override { rt::kvoSet(this, "muted", muted_, v); }
    double loadingTimeout() const override { return loadingTimeout_; }
    void setLoadingTimeout(double v) override { rt::kvoSet(this, "loadingTimeout", loadingTimeout_, v); }
    bool continuePlaybackInBackground() const override { return background_; }
    void setContinuePlaybackInBackground(bool v) override { background_ = v; }
    void setActive(bool) override {}
    bool isAudioOnly() const override { return false; }
    double observedBitrate() const override { return bitrate_; }
    void setObservedBitrate(double v) { rt::kvoSet(this, "observedBitrate", bitrate_, v); }
    std::int64_t numberOfBytesTransferred() const override { return 0; }
    CPVideoSize videoSize() const override { return {}; }
    bool isPictureInPictureAvailable() const override { return false; }
    bool isPictureInPictureActive() const override { return false; }
    void startPictureInPicture() override {}
    void stopPictureInPicture() override {}
    rt::Ref<rt::Object> subtitles() const override { return nullptr; }
    rt::Ref<rt::Object> defaultSubtitle() const override { return nullptr; }
    rt::Ref<rt::Object> selectedSubtitle() const override { return nullptr; }
    rt::Ref<rt::Object> audioTracks() const override { return nullptr; }
    rt::Ref<rt::Object> defaultAudioTrack() const override { return nullptr; }
    rt::Ref<rt::Object> selectedAudioTrack() const override { return nullptr; }
    void selectSubtitle(const rt::Ref<rt::Object>& o) override { selected.push_back(o); }
    void selectAudioTrack(const rt::Ref<rt::Object>& o) override { selected.push_back(o); }
    rt::Ref<rt::Object> view() const override { return nullptr; }
    std::vector<rt::Ref<rt::Object>> selected;
    void showDebugConsole() override {}
    void hideDebugConsole() override {}

    void post(const char* name, rt::Dictionary userInfo = {}) {
        fnd::NotificationCenter::defaultCenter()->post(name, selfAs<rt::Object>(), userInfo);
    }
    void setPlaybackState(QXMoviePlaybackState s, rt::Ref<rt::Error> e = nullptr) {
        playbackState_ = s;
        error_ = std::move(e);
        post(QXMoviePlayerPlaybackStateDidChangeNotification);
    }
    void setDuration(double d) { duration_ = d; }

    std::vector<std::string> calls;
    double currentTime = 0;
    double initialPlaybackTime = -1;
    double endPlaybackTime = -1;
    std::string title;
    bool prepared = false;
    bool autoplay = true;

private:
    std::string contentURL_;
    QXMoviePlaybackState playbackState_ = QXMoviePlaybackState::Stopped;
    rt::Ref<rt::Error> error_;
    double duration_ = 0;
    long scalingMode_ = 0;
    bool muted_ = false;
    double loadingTimeout_ = 10;
    bool background_ = false;
    double bitrate_ = 0;
};

/// A subtitle or audio option.
class ScriptedOption : public rt::Object, public ICPMediaSelectionOption {
    RT_CLASS(ScriptedOption, rt::Object)
public:
    explicit ScriptedOption(std::string tag = "en") : tag_(std::move(tag)) {}
    std::string languageTag() const override { return tag_; }
    std::string displayName() const override { return tag_; }
    std::string title() const override { return tag_; }

private:
    std::string tag_;
};

/// Collects the messages logged while it lives (registered with the default logger).
class LogCapture : public QXLogHandler {
    RT_CLASS(LogCapture, QXLogHandler)
public:
    LogCapture() : QXLogHandler(nullptr, 6) {}
    static rt::Ref<LogCapture> install() {
        auto capture = rt::make<LogCapture>();
        QXLogger::defaultLogger()->registerHandler(capture);
        return capture;
    }
    void uninstall() { QXLogger::defaultLogger()->deregistreHandler(selfAs<QXLogHandler>()); }
    void handleLogRecord(const rt::Ref<QXLogRecord>& record) override {
        std::lock_guard lock(mutex);
        messages.push_back(record->message());
        levels.push_back(record->level());
    }
    bool contains(const std::string& text) {
        std::lock_guard lock(mutex);
        for (const auto& m : messages)
            if (m.find(text) != std::string::npos) return true;
        return false;
    }
    std::mutex mutex;
    std::vector<std::string> messages;
    std::vector<std::int64_t> levels;
};

}  // namespace zidtest
