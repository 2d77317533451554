#pragma once
// How long the controller waits: loading may last the loading timeout in the buffering
// state and a stall the stalled timeout, and a picture that stands still while the player
// should play (playing or stalled) is held to the stalled timeout too. Each limit ends
// in one failure, told to the owner as the controller's error; 0 disables a limit. Time
// is the run loop's clock.
#include <QXCorePlayer/Core/MediaPlayer/IQXMoviePlayerController.h>
#include <media/Player.h>

#include <functional>
#include <memory>

#include "Core/MediaPlayer/MoviePlayerController/QXProgressWatchdog.h"

namespace zid {

class QXPlaybackLimits {
public:
    using Failure = std::function<void(const rt::Ref<rt::Error>&)>;

    /// `player` reads the owner's player (nullptr for none) for the progress watch;
    /// `failed` is told a limit passed.
    QXPlaybackLimits(std::function<rt::Ref<media::Player>()> player, Failure failed);
    ~QXPlaybackLimits();
    QXPlaybackLimits(const QXPlaybackLimits&) = delete;
    QXPlaybackLimits& operator=(const QXPlaybackLimits&) = delete;

    /// Sets the limits of the state entered: a buffering or stalled state counts afresh
    /// from now, even when it was the state before; the progress watch goes on across
    /// playing and stalled.
    void enter(QXMoviePlaybackState state, double loadingTimeout, double stalledTimeout);
    /// Ends every limit; nothing is told afterwards.
    void stop();

private:
    void watchProgress(bool shouldPlay, double limit);

    std::function<rt::Ref<media::Player>()> player_;
    Failure failed_;
    rt::Ref<fnd::Timer> bufferingTimer_, stalledTimer_;
    std::unique_ptr<QXProgressWatchdog> progressWatchdog_;
};

}  // namespace zid
