// The movie player controller's view, media selection and presentation: the now-playing
// facts, the picture's size and scaling, external playback and screens, the stream's
// figures, the subtitle and audio-track lists, remote control and the debug console.
#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>

#include "Core/CoreLogModule.h"
#include "Core/ExternalScreen/QXExternalScreenManager.h"
#include "Core/MediaPlayer/MoviePlayerController/QXDebugConsolePresenter.h"
#include "Core/MediaPlayer/MoviePlayerController/QXMediaSelectionList.h"
#include "Core/MediaPlayer/MoviePlayerController/QXSetAndPost.h"
#include "Core/MediaPlayer/MoviePlayerController/QXStreamStatistics.h"
#include <QXFoundation/Log/QXLogger.h>
#include <media/Presentation.h>

#include <string>

namespace zid {

std::string QXMoviePlayerController::accessURI() const { return statistics_->accessURI(); }
double QXMoviePlayerController::indicatedBitrate() const { return statistics_->indicatedBitrate(); }
double QXMoviePlayerController::observedBitrate() const { return statistics_->observedBitrate(); }
std::int64_t QXMoviePlayerController::numberOfDroppedVideoFrames() const { return statistics_->droppedFrames(); }
std::int64_t QXMoviePlayerController::numberOfBytesTransferred() const { return statistics_->bytesTransferred(); }

// ---- presentation ------------------------------------------------------------------

void QXMoviePlayerController::presentationSizeChanged() {
    auto item = currentItem();
    media::Size size = item ? item->presentationSize() : media::Size{};
    // No item reads as 0 by 0, as an item not yet ready does: the size is told when it
    // changes, not when the item behind it does.
    if (presentation_.sizeTold && *presentation_.sizeTold == size) return;
    presentation_.sizeTold = size;
    rt::kvoSet(this, "videoSize", presentation_.videoSize, CPVideoSize{size.width, size.height});
    setAudioOnly(currentStreamIsAudioOnly());
    QXLog(kCoreLogModule, staticClass(), 5, "videosize: %@",
          std::to_string(size.width) + " x " + std::to_string(size.height));
}

void QXMoviePlayerController::setTitle(const std::string& title) {
    rt::kvoSet(this, "title", presentation_.title, title);
    if (!title.empty()) presentation_.playingInfo.set(media::MediaItemPropertyTitle, title);
    if (settings_.active) media::NowPlayingInfoCenter::defaultCenter()->setNowPlayingInfo(presentation_.playingInfo);
}

void QXMoviePlayerController::setArtist(const std::string& artist) {
    rt::kvoSet(this, "artist", presentation_.artist, artist);
    if (!artist.empty()) presentation_.playingInfo.set(media::MediaItemPropertyArtist, artist);
    if (settings_.active) media::NowPlayingInfoCenter::defaultCenter()->setNowPlayingInfo(presentation_.playingInfo);
}

void QXMoviePlayerController::setScalingMode(long mode) {
    if (mode == settings_.scalingMode) return;
    if (mode == 1) playerView_->playerLayer()->setVideoGravity(media::VideoGravity::ResizeAspect);
    if (mode == 2) playerView_->playerLayer()->setVideoGravity(media::VideoGravity::ResizeAspectFill);
    playerView_->playerLayer()->setBounds(playerView_->playerLayer()->bounds());
    rt::kvoSet(this, "scalingMode", settings_.scalingMode, mode);
    post(QXMoviePlayerScalingModeDidChangeNotification);
}

void QXMoviePlayerController::setAllowsAirPlay(bool allows) {
    if (allows == settings_.allowsAirPlay) return;
    rt::kvoSet(this, "allowsAirPlay", settings_.allowsAirPlay, allows);
    if (media_.player) media_.player->setAllowsExternalPlayback(allows);
}

void QXMoviePlayerController::setAirPlayVideoActive(bool active) {
    setAndPost(*this, "airPlayVideoActive", presentation_.airPlayVideoActive, active,
               QXMoviePlayerIsAirPlayVideoActiveDidChangeNotification);
}

void QXMoviePlayerController::setMuted(bool muted) {
    rt::kvoSet(this, "muted", settings_.muted, muted);
    if (media_.player) media_.player->setMuted(muted);
}

void QXMoviePlayerController::setContinuePlaybackInBackground(bool flag) {
    rt::kvoSet(this, "continuePlaybackInBackground", settings_.background, flag);
}

void QXMoviePlayerController::setShouldAutoswitchToExternalScreen(bool flag) {
    rt::kvoSet(this, "shouldAutoswitchToExternalScreen", settings_.autoswitch, flag);
}

void QXMoviePlayerController::setActive(bool active) {
    if (active == settings_.active) return;
    rt::kvoSet(this, "active", settings_.active, active);
    if (settings_.autoswitch) QXExternalScreenManager::sharedManager()->showView(active ? playerView_ : nullptr);
}

bool QXMoviePlayerController::currentStreamIsAudioOnly() const {
    auto item = currentItem();
    return item && playback_.preparedToPlay && item->presentationSize().isZero();
}

void QXMoviePlayerController::setAudioOnly(bool audioOnly) {
    setAndPost(*this, "audioOnly", presentation_.audioOnly, audioOnly, QXMoviePlayerAudioOnlyModeDidChangeNotification);
}

rt::Ref<rt::Object> QXMoviePlayerController::subtitles() const { return subtitles_->options(); }
rt::Ref<rt::Object> QXMoviePlayerController::defaultSubtitle() const { return subtitles_->defaultOption(); }
rt::Ref<rt::Object> QXMoviePlayerController::selectedSubtitle() const { return subtitles_->selectedOption(); }
rt::Ref<rt::Object> QXMoviePlayerController::audioTracks() const { return audioTracks_->options(); }
rt::Ref<rt::Object> QXMoviePlayerController::defaultAudioTrack() const { return audioTracks_->defaultOption(); }
rt::Ref<rt::Object> QXMoviePlayerController::selectedAudioTrack() const { return audioTracks_->selectedOption(); }
void QXMoviePlayerController::listSubtitles() { subtitles_->list(media_.asset); }
void QXMoviePlayerController::listAudioTracks() { audioTracks_->list(media_.asset); }

void QXMoviePlayerController::selectSubtitle(const rt::Ref<rt::Object>& option) {
    subtitles_->select(currentItem(), option);
}

void QXMoviePlayerController::selectAudioTrack(const rt::Ref<rt::Object>& option) {
    audioTracks_->select(currentItem(), option);
}

void QXMoviePlayerController::playerViewDidReceiveRemoteControlEvent(QXPlayerView&,
                                                                     const media::RemoteControlEvent& event) {
    if (event.type != media::EventType::RemoteControl) return;
    switch (event.subtype) {
        case media::EventSubtype::RemoteControlPlay: play(); break;
        case media::EventSubtype::RemoteControlPause: pause(); break;
        case media::EventSubtype::RemoteControlTogglePlayPause:
            if (media_.player && media_.player->rate() != 0) pause();
            else play();
            break;
        default: break;
    }
}

// ---- debug console -----------------------------------------------------------------

const rt::Ref<QXPlayerDebugConsoleView>& QXMoviePlayerController::debugConsoleView() const {
    return debugConsole_->console();
}

void QXMoviePlayerController::showDebugConsole() {
    QXLog(kCoreLogModule, staticClass(), 5, "%@", "showDebugConsole");
    debugConsole_->show(selfAs<QXMoviePlayerController>(), *playerView_);
}

void QXMoviePlayerController::hideDebugConsole() {
    QXLog(kCoreLogModule, staticClass(), 5, "%@", "hideDebugConsole");
    debugConsole_->hide(*playerView_);
}

void QXMoviePlayerController::toggleDebugConsole() {
    auto& console = debugConsole_->console();
    if (console && console->isHidden()) showDebugConsole();
    else hideDebugConsole();
}

void QXMoviePlayerController::setDebugConsoleValue(const rt::Value& value, const std::string& key) {
    debugConsole_->setValue(value, key);
}

}  // namespace zid
