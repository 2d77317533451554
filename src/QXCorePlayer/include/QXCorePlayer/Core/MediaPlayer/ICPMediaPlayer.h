#pragma once
// The player interface of the playback engine and the factory that makes one per source.
#include <QXCorePlayer/Core/Core/CPVideoSize.h>
#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayback.h>
#include <rt/Error.h>
#include <rt/KVC.h>
#include <rt/Object.h>
#include <rt/Value.h>

#include <cstdint>
#include <string>
#include <rt/MainThread.h>

namespace zid {

/// "CPMediaPlayerErrorDomain": 0 any other failure (a foreign error under the
/// underlying-error key), 1 loading failed or timed out, 2 stalled too long.
inline constexpr const char* CPMediaPlayerErrorDomain = "CPMediaPlayerErrorDomain";
enum class CPMediaPlayerErrorCode : long { Other = 0, LoadingFailed = 1, StalledTooLong = 2 };

enum class CPPlayerState : long {
    Stopped = 0,
    Buffering = 1,
    Ready = 2,
    Playing = 3,
    Stalled = 4,
    Paused = 5,
    Finished = 6,
    Error = 7,
};

/// Whether a player in this state counts as playing for the controls and for
/// suspension: buffering, playing and stalled. An errored player is not playing, so
/// suspend and resume leave it alone and the controls offer "play".
constexpr bool CPPlayerStateIsPlaying(CPPlayerState s) {
    return s == CPPlayerState::Buffering || s == CPPlayerState::Playing || s == CPPlayerState::Stalled;
}

/// The last request of the user.
enum class CPPlayerUserState : long { Stop = 0, Start = 1, Pause = 2 };

class ICPMediaPlayer : public ICPMediaPlayback {
    RT_CLASS(ICPMediaPlayer, ICPMediaPlayback)
public:
    // ICPMediaHandler
    virtual void setSource(const rt::Ref<ICPMediaSource>& source) = 0;
    virtual rt::Ref<ICPMediaSource> source() const = 0;
    // ICPPlayerController
    virtual void prepareToPlay() = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void pause() = 0;
    virtual void reset() = 0;
    virtual void seekTo(double seconds) = 0;
    /// The position a seek control shows while it is dragged; nil when none.
    virtual rt::Value seekPosition() const = 0;
    virtual void setSeekPosition(rt::Value position) = 0;
    // ICPMediaPlayer (with what ICPMediaPlayback declares)
    virtual void beginSeeking() = 0;
    virtual void endSeeking() = 0;
    virtual void cancelSeeking() = 0;
    virtual void changeSeeking(float delta) = 0;
    virtual rt::Ref<rt::Object> presentationLayer() const = 0;
    virtual CPPlayerState state() const = 0;
    virtual bool isAirplayActive() const = 0;
    virtual bool isPlaying() const { RT_MAIN_THREAD_ONLY(); return CPPlayerStateIsPlaying(state()); }
    virtual bool contentModeScaleAspectFill() const = 0;
    virtual void setContentModeScaleAspectFill(bool fill) = 0;
    virtual bool pictureInPictureAvailable() const = 0;
    virtual bool pictureInPictureActive() const = 0;
    virtual double playbackTime() const = 0;
    virtual rt::Ref<ICPMediaTiming> timeInfo() const = 0;
    virtual rt::Ref<rt::Error> error() const = 0;
    virtual bool seeking() const = 0;
    virtual double seekValue() const = 0;
    virtual bool showDebugConsole() const { RT_MAIN_THREAD_ONLY(); return false; }
    virtual void setShowDebugConsole(bool show) { RT_MAIN_THREAD_ONLY(); (void)show; }

    static void describe(rt::ClassBuilder<ICPMediaPlayer>& c) {
        using Player = ICPMediaPlayer;
        c.readonly("source", &Player::source);
        c.property("seekPosition", &Player::seekPosition, &Player::setSeekPosition);
        c.readonly("presentationLayer", &Player::presentationLayer);
        c.readonly("state", &Player::state);
        c.readonly("isAudioOnly", &Player::isAudioOnly);
        c.readonly("isAirplayActive", &Player::isAirplayActive);
        c.readonly("isPlaying", &Player::isPlaying);
        c.dependent("isPlaying", {"state"});
        c.property("contentModeScaleAspectFill", &Player::contentModeScaleAspectFill, &Player::setContentModeScaleAspectFill);
        c.readonly("pictureInPictureAvailable", &Player::pictureInPictureAvailable);
        c.readonly("pictureInPictureActive", &Player::pictureInPictureActive);
        c.readonly("playbackTime", &Player::playbackTime);
        c.readonly("timeInfo", &Player::timeInfo);
        c.readonly("error", &Player::error);
        c.readonly("seeking", &Player::seeking);
        c.readonly("seekValue", &Player::seekValue);
    }
};

class ICPPlayerFactory : public rt::Object {
    RT_CLASS(ICPPlayerFactory, rt::Object)
public:
    virtual rt::Ref<ICPMediaPlayer> playerForSource(const rt::Ref<ICPMediaSource>& source) = 0;
    virtual double loadingTimeout() const = 0;
    virtual void setLoadingTimeout(double seconds) = 0;

    static void describe(rt::ClassBuilder<ICPPlayerFactory>& c) {
        c.mainThreadOnly();
        c.property("loadingTimeout", &ICPPlayerFactory::loadingTimeout, &ICPPlayerFactory::setLoadingTimeout);
    }
};

}  // namespace zid
