#pragma once
// What the media player needs of the movie player controller: the controller's own
// operations and observable properties under their own names, so the controller class
// implements this interface as it is. The controller posts its notifications on the
// default notification centre with itself as the object and no user information
// (a finish may carry "error").
#include <QXCorePlayer/Core/Core/CPVideoSize.h>
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

class IQXMoviePlayerController : public rt::Object {
    RT_CLASS(IQXMoviePlayerController, rt::Object)
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
    virtual bool muted() const = 0;
    virtual void setMuted(bool muted) = 0;
    virtual double loadingTimeout() const = 0;
    virtual void setLoadingTimeout(double seconds) = 0;
    virtual bool continuePlaybackInBackground() const = 0;
    virtual void setContinuePlaybackInBackground(bool flag) = 0;
    virtual void setActive(bool active) = 0;

    virtual bool isAudioOnly() const = 0;
    virtual double observedBitrate() const = 0;
    virtual std::int64_t numberOfBytesTransferred() const = 0;
    virtual CPVideoSize videoSize() const = 0;
    virtual bool isPictureInPictureAvailable() const = 0;
    virtual bool isPictureInPictureActive() const = 0;
    virtual void startPictureInPicture() = 0;
    virtual void stopPictureInPicture() = 0;
    virtual rt::Ref<rt::Object> subtitles() const = 0;
    virtual rt::Ref<rt::Object> defaultSubtitle() const = 0;
    virtual rt::Ref<rt::Object> selectedSubtitle() const = 0;
    virtual rt::Ref<rt::Object> audioTracks() const = 0;
    virtual rt::Ref<rt::Object> defaultAudioTrack() const = 0;
    virtual rt::Ref<rt::Object> selectedAudioTrack() const = 0;
    virtual void selectSubtitle(const rt::Ref<rt::Object>& option) = 0;
    virtual void selectAudioTrack(const rt::Ref<rt::Object>& option) = 0;
    /// The view showing the video.
    virtual rt::Ref<rt::Object> view() const = 0;
    virtual void showDebugConsole() = 0;
    virtual void hideDebugConsole() = 0;

    static void describe(rt::ClassBuilder<IQXMoviePlayerController>& c) {
        using Controller = IQXMoviePlayerController;
        c.readonly("playbackState", &Controller::playbackState);
        c.readonly("audioOnly", &Controller::isAudioOnly);
        c.readonly("observedBitrate", &Controller::observedBitrate);
        c.readonly("numberOfBytesTransferred", &Controller::numberOfBytesTransferred);
        c.property("muted", &Controller::muted, &Controller::setMuted);
        c.property("loadingTimeout", &Controller::loadingTimeout, &Controller::setLoadingTimeout);
        c.readonly("videoSize", &Controller::videoSize);
        c.readonly("pictureInPictureAvailable", &Controller::isPictureInPictureAvailable);
        c.readonly("pictureInPictureActive", &Controller::isPictureInPictureActive);
        c.property("continuePlaybackInBackground", &Controller::continuePlaybackInBackground,
                   &Controller::setContinuePlaybackInBackground);
        c.readonly("subtitles", &Controller::subtitles);
        c.readonly("defaultSubtitle", &Controller::defaultSubtitle);
        c.readonly("selectedSubtitle", &Controller::selectedSubtitle);
        c.readonly("audioTracks", &Controller::audioTracks);
        c.readonly("defaultAudioTrack", &Controller::defaultAudioTrack);
        c.readonly("selectedAudioTrack", &Controller::selectedAudioTrack);
    }
};

}  // namespace zid
