#pragma once
// The play/pause button: it shows pause while the player counts as playing and play
// otherwise; a press pauses a playing player and starts any other.

#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPToolbarItem.h>
#include <ui/Button.h>

namespace zid {

class CPPlayButtonToolbarItem : public CPToolbarItem {
    RT_CLASS(CPPlayButtonToolbarItem, CPToolbarItem)
private:
    rt::Ref<ICPMediaPlayer> mediaPlayer_;

public:
    static constexpr rt::Key<CPPlayButtonToolbarItem, rt::Ref<ICPMediaPlayer>> mediaPlayerKey{
        "mediaPlayer", &CPPlayButtonToolbarItem::mediaPlayer_};

    CPPlayButtonToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaPlayer> player = nullptr)
        : CPToolbarItem(frame), mediaPlayer_(std::move(player)), initialFrame_(frame) {}
    static void describe(rt::ClassBuilder<CPPlayButtonToolbarItem>& c);

    const rt::Ref<ui::Button>& playButton() const { return playButton_; }
    const rt::Ref<ICPMediaPlayer>& mediaPlayer() const { return mediaPlayer_; }
    void setMediaPlayer(rt::Ref<ICPMediaPlayer> player) { mediaPlayerKey.set(*this, std::move(player)); }

    void playButtonPressed();

protected:
    void didInitialize() override;

private:
    void configureButton();
    void bound();

    ui::Rect initialFrame_;
    rt::Ref<ui::Button> playButton_;
};

}  // namespace zid
