#pragma once
// The play/pause button: it shows pause while the player counts as playing and play
// otherwise; a press pauses a playing player and starts any other.

#include <rt/MainThread.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayerToolbarItem.h>
#include <ui/Button.h>

namespace zid {

class CPPlayButtonToolbarItem : public CPPlayerToolbarItem {
    RT_CLASS(CPPlayButtonToolbarItem, CPPlayerToolbarItem)

    CPPlayButtonToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaPlayer> player = nullptr)
        : CPPlayerToolbarItem(frame, std::move(player)), initialFrame_(frame) {}
    static void describe(rt::ClassBuilder<CPPlayButtonToolbarItem>& c);

    const rt::Ref<ui::Button>& playButton() const { RT_MAIN_THREAD_ONLY(); return playButton_; }

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
