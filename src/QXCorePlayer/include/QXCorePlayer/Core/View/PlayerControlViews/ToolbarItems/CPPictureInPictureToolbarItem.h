#pragma once
// The picture-in-picture toggle: shown only while the player can enter picture in
// picture, selected while it is in it; a press enters or leaves it.

#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPToolbarItem.h>
#include <ui/Button.h>

namespace zid {

class CPPictureInPictureToolbarItem : public CPToolbarItem {
    RT_CLASS(CPPictureInPictureToolbarItem, CPToolbarItem)
private:
    rt::Ref<ICPMediaPlayer> mediaPlayer_;

public:
    static constexpr rt::Key<CPPictureInPictureToolbarItem, rt::Ref<ICPMediaPlayer>> mediaPlayerKey{
        "mediaPlayer", &CPPictureInPictureToolbarItem::mediaPlayer_};

    explicit CPPictureInPictureToolbarItem(const ui::Rect& frame = ui::Rect())
        : CPToolbarItem(frame), initialFrame_(frame) {}
    static void describe(rt::ClassBuilder<CPPictureInPictureToolbarItem>& c) { c.property(mediaPlayerKey); }

    const rt::Ref<ui::Button>& pictureInPictureButton() const { return pictureInPictureButton_; }
    const rt::Ref<ICPMediaPlayer>& mediaPlayer() const { return mediaPlayer_; }
    void setMediaPlayer(rt::Ref<ICPMediaPlayer> player) { mediaPlayerKey.set(*this, std::move(player)); }

protected:
    void didInitialize() override;

private:
    void pressed();

    ui::Rect initialFrame_;
    rt::Ref<ui::Button> pictureInPictureButton_;
};

}  // namespace zid
