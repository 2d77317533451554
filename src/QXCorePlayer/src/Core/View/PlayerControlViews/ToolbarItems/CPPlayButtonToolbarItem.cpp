#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayButtonToolbarItem.h>

#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <rt/MainThread.h>

#include "CPItemButton.h"

namespace zid {

void CPPlayButtonToolbarItem::describe(rt::ClassBuilder<CPPlayButtonToolbarItem>& c) {
    c.readonly("playButton", &CPPlayButtonToolbarItem::playButton);
}

void CPPlayButtonToolbarItem::didInitialize() {
    CPPlayerToolbarItem::didInitialize();
    playButton_ = CPAddCentredButton(*this, initialFrame_);
    configureButton();
    bound();
}

void CPPlayButtonToolbarItem::configureButton() {
    CPSetButtonImages(*playButton_, {"player_playbutton_normal.png", "player_playbutton_highlighted.png",
                                     "player_pausebutton_normal.png", "player_pausebutton_highlighted.png"});
}

void CPPlayButtonToolbarItem::bound() {
    // The pause picture shows exactly when a press would pause: a failed player is not
    // playing, so it offers play.
    bindingWithKeypath(*playButton_, "selected")->setSignal(signalForKeypath(*this, "mediaPlayer.state")->map([](const rt::Value& v) {
        auto state = v.isNumber() ? static_cast<CPPlayerState>(v.longLongValue()) : CPPlayerState::Stopped;
        return rt::Value(CPPlayerStateIsPlaying(state));
    }));
    CPOnButtonTap(*this, playButton_, &CPPlayButtonToolbarItem::playButtonPressed);
}

void CPPlayButtonToolbarItem::playButtonPressed() {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "playButtonPressed");
    CPTogglePlayer(mediaPlayer(), &ICPMediaPlayer::isPlaying, &ICPMediaPlayer::pause, &ICPMediaPlayer::start);
}

}  // namespace zid
