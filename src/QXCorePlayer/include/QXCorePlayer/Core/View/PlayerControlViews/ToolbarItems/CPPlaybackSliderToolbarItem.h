#pragma once
// The seek slider: it spans the player's time information and follows the playback
// time, except while the user drags it. A drag pauses a playing player, shows its
// position through the player's seek position, seeks on release and plays again when
// the drag paused it; a drag the toolkit cancels ends the same way without the seek.

#include <rt/MainThread.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayerToolbarItem.h>

#include <vector>

namespace ui {
class Slider;  // <ui/Slider.h>, for a host that styles the slider
}

namespace zid {

class CPPlaybackSliderToolbarItem : public CPPlayerToolbarItem {
    RT_CLASS(CPPlaybackSliderToolbarItem, CPPlayerToolbarItem)

    CPPlaybackSliderToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaPlayer> player = nullptr)
        : CPPlayerToolbarItem(frame, std::move(player)) {}
    static void describe(rt::ClassBuilder<CPPlaybackSliderToolbarItem>& c);

    const rt::Ref<ui::Slider>& slider() const { RT_MAIN_THREAD_ONLY(); return slider_; }
    bool seeking() const { RT_MAIN_THREAD_ONLY(); return seeking_; }
    bool playOnSeekEnd() const { RT_MAIN_THREAD_ONLY(); return playOnSeekEnd_; }

    void beginSeek();
    void valueChanged();
    void endSeek();
    /// Ends a drag without seeking: the position shown is dropped and playback the
    /// drag paused goes on.
    void cancelSeek();

protected:
    void didInitialize() override;

private:
    void configureSlider();
    void bound();
    void followPlayer();

    rt::Ref<ui::Slider> slider_;
    std::vector<rt::Ref<rt::Observation>> observations_;
    bool seeking_ = false;
    bool playOnSeekEnd_ = false;
};

}  // namespace zid
