#include "Core/MediaPlayer/MoviePlayerController/QXPlaybackLimits.h"

#include <QXFoundation/Log/QXLogger.h>
#include <media/MediaErrors.h>
#include <rt/Format.h>

#include <cmath>
#include <limits>
#include <string>

#include "Core/CoreLogModule.h"
#include "Core/MediaPlayer/MoviePlayerController/QXMoviePlayerControllerError.h"

namespace zid {

QXPlaybackLimits::QXPlaybackLimits(std::function<rt::Ref<media::Player>()> player, Failure failed)
    : player_(std::move(player)), failed_(std::move(failed)) {}

QXPlaybackLimits::~QXPlaybackLimits() { stop(); }

void QXPlaybackLimits::stop() {
    if (bufferingTimer_) bufferingTimer_->invalidate();
    if (stalledTimer_) stalledTimer_->invalidate();
    bufferingTimer_ = stalledTimer_ = nullptr;
    progressWatchdog_ = nullptr;
}

void QXPlaybackLimits::enter(QXMoviePlaybackState state, double loadingTimeout, double stalledTimeout) {
    if (bufferingTimer_) bufferingTimer_->invalidate();
    if (stalledTimer_) stalledTimer_->invalidate();
    bufferingTimer_ = stalledTimer_ = nullptr;
    // The timers die with the limits (stop() invalidates them), so `this` outlives them.
    if (state == QXMoviePlaybackState::Stalled && stalledTimeout != 0) {
        stalledTimer_ = fnd::RunLoop::main()->after(stalledTimeout, [this, stalledTimeout] {
            // Told with its cause, as the progress watch tells its own: both limits run
            // out together when the picture stands through a stall, and either may be first.
            auto player = player_();
            double position = player ? player->currentTime().toSeconds() : std::numeric_limits<double>::quiet_NaN();
            std::string said =
                std::isfinite(position)
                    ? rt::format("The media stopped coming at %.2f s and did not come again within %.0f s.", position,
                                 stalledTimeout)
                    : rt::format("The media stopped coming and did not come again within %.0f s.", stalledTimeout);
            failed_(makeMoviePlayerControllerError(QXMoviePlayerControllerErrorCode::StalledTooLong,
                                                   "The playback stalled for too long",
                                                   media::makeMediaError(media::MediaErrorCode::ServerFailed, said)));
        });
    }
    if (state == QXMoviePlaybackState::Buffering && loadingTimeout != 0) {
        bufferingTimer_ = fnd::RunLoop::main()->after(loadingTimeout, [this] {
            failed_(makeMoviePlayerControllerError(QXMoviePlayerControllerErrorCode::LoadingFailed,
                                                   "The media did not load in time"));
        });
    }
    watchProgress(state == QXMoviePlaybackState::Playing || state == QXMoviePlaybackState::Stalled, stalledTimeout);
}

void QXPlaybackLimits::watchProgress(bool shouldPlay, double limit) {
    // One watch over playing and stalled alike: an item that stops keeping up and keeps
    // up again, over and over, without the position moving, is held to the limit too.
    if (shouldPlay && limit != 0 && progressWatchdog_) return;
    progressWatchdog_ = nullptr;
    if (!shouldPlay || limit == 0) return;
    QXProgressWatchdog::Probe probe;
    probe.position = [this] {
        auto player = player_();
        return player ? player->currentTime().toSeconds() : std::numeric_limits<double>::quiet_NaN();
    };
    // Whatever the item says of keeping up: a picture that stands still while the player
    // should play is a stall. A seek moves the position to its target; one that never
    // ends leaves it there.
    probe.resting = [this] {
        auto player = player_();
        return !player || player->rate() == 0;
    };
    progressWatchdog_ = std::make_unique<QXProgressWatchdog>(limit, std::move(probe), [this, limit](double position) {
        QXLog(kCoreLogModule, QXMoviePlayerController::staticClass(), 2,
              "the picture stood still at %@ s while the player should play", std::to_string(position));
        auto cause = media::makeMediaError(
            media::MediaErrorCode::EngineFailed,
            rt::format("The picture stood still at %.2f s for %.0f s while the player should play.", position, limit));
        failed_(makeMoviePlayerControllerError(QXMoviePlayerControllerErrorCode::StalledTooLong,
                                               "The playback stalled for too long", cause));
    });
}

}  // namespace zid
