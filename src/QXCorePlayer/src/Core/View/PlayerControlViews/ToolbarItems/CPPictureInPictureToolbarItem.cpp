#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPictureInPictureToolbarItem.h>

#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>

#include "CPItemButton.h"

namespace zid {

void CPPictureInPictureToolbarItem::didInitialize() {
    CPPlayerToolbarItem::didInitialize();
    pictureInPictureButton_ = CPAddCentredButton(*this, initialFrame_);
    CPSetButtonImages(*pictureInPictureButton_, {"player_pip_normal.png", "player_pip_highlighted.png",
                                                 "player_exitpip_normal.png", "player_exitpip_highlighted.png"});
    bindingWithKeypath(*pictureInPictureButton_, "hidden")
        ->setSignal(signalForKeypath(*this, "mediaPlayer.pictureInPictureAvailable")->not_());
    bindingWithKeypath(*pictureInPictureButton_, "selected")
        ->setSignal(signalForKeypath(*this, "mediaPlayer.pictureInPictureActive")->toBool());
    CPOnButtonTap(*this, pictureInPictureButton_, &CPPictureInPictureToolbarItem::pressed);
}

void CPPictureInPictureToolbarItem::pressed() {
    CPTogglePlayer(mediaPlayer(), &ICPMediaPlayer::pictureInPictureActive, &ICPMediaPlayer::stopPictureInPicture,
                   &ICPMediaPlayer::startPictureInPicture);
}

}  // namespace zid
