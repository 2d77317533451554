#pragma once
// What the media player needs of the movie player controller: the controller's own
// operations and observable properties under their own names, so the controller class
// implements this interface as it is. The controller posts its notifications on the
// default notification centre with itself as the object and no user information
// (a finish may carry "error").
#include <QXCorePlayer/Core/Core/CPVideoSize.h>
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayback.h>
#include <rt/Error.h>
#include <rt/KVC.h>
#include <rt/Object.h>
#include <rt/Value.h>

#include <cstdint>
#include <string>

namespace zid {

/// The controller's playback state.
enum class QXMoviePlaybackState : long {
    Stopped = 0,
    Buffering = 1,
    Ready = 2,
    Playing = 3,
    Paused = 4,
    Interrupted = 5,
    Error = 6,
    Stalled = 7,
};

inline constexpr const char* QXMoviePlayerControllerErrorDomain = "QXMoviePlayerControllerErrorDomain";

inline constexpr const char* QXMoviePlayerScalingModeDidChangeNotification =
    "QXMoviePlayerScalingModeDidChangeNotification";
inline constexpr const char* QXMoviePlayerPlaybackDidFinishNotification = "QXMoviePlayerPlaybackDidFinishNotification";
inline constexpr const char* QXMoviePlayerPlaybackStateDidChangeNotification =
    "QXMoviePlayerPlaybackStateDidChangeNotification";
inline constexpr const char* QXMoviePlayerIsAirPlayVideoActiveDidChangeNotification =
    "QXMoviePlayerIsAirPlayVideoActiveDidChangeNotification";
inline constexpr const char* QXMovieDurationAvailableNotification = "QXMovieDurationAvailableNotification";
inline constexpr const char* QXMediaPlaybackIsPreparedToPlayDidChangeNotification =
    "QXMediaPlaybackIsPreparedToPlayDidChangeNotification";

class IQXMoviePlayerController : public ICPMediaPlayback {
    RT_CLASS(IQXMoviePlayerController, ICPMediaPlayback)
public:
    virtual void setContentURL(const std::string& url) = 0;
    virtual std::string contentURL() const = 0;
    virtual void setInitialPlaybackTime(double seconds) = 0;
    virtual void setEndPlaybackTime(double seconds) = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual void prepareToPlay() = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;

    virtual QXMoviePlaybackState playbackState() const = 0;
    virtual bool isPreparedToPlay() const = 0;
    virtual rt::Ref<rt::Error> error() const = 0;
    virtual double duration() const = 0;
    /// NaN when no time is known.
    virtual double currentPlaybackTime() const = 0;
    virtual void setCurrentPlaybackTime(double seconds) = 0;

    virtual bool shouldAutoplay() const = 0;
    virtual void setShouldAutoplay(bool autoplay) = 0;
    /// 1 aspect fit, 2 aspect fill.
    virtual long scalingMode() const = 0;
    virtual void setScalingMode(long mode) = 0;
    virtual void setAllowsAirPlay(bool allows) = 0;
    virtual bool isAirPlayVideoActive() const = 0;
    virtual double loadingTimeout() const = 0;
    virtual void setLoadingTimeout(double seconds) = 0;
    virtual void setActive(bool active) = 0;

    virtual bool isPictureInPictureAvailable() const = 0;
    virtual bool isPictureInPictureActive() const = 0;
    /// The view showing the video.
    virtual rt::Ref<rt::Object> view() const = 0;
    virtual void showDebugConsole() = 0;
    virtual void hideDebugConsole() = 0;

    static void describe(rt::ClassBuilder<IQXMoviePlayerController>& c) {
        using Controller = IQXMoviePlayerController;
        c.readonly("playbackState", &Controller::playbackState);
        c.property("loadingTimeout", &Controller::loadingTimeout, &Controller::setLoadingTimeout);
        c.readonly("pictureInPictureAvailable", &Controller::isPictureInPictureAvailable);
        c.readonly("pictureInPictureActive", &Controller::isPictureInPictureActive);
    }
};

}  // namespace zid
