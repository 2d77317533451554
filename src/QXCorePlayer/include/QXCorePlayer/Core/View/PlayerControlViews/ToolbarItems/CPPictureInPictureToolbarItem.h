#pragma once
// The picture-in-picture toggle: shown only while the player can enter picture in
// picture, selected while it is in it; a press enters or leaves it.

#include <rt/MainThread.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayerToolbarItem.h>
#include <ui/Button.h>

namespace zid {

class CPPictureInPictureToolbarItem : public CPPlayerToolbarItem {
    RT_CLASS(CPPictureInPictureToolbarItem, CPPlayerToolbarItem)

    explicit CPPictureInPictureToolbarItem(const ui::Rect& frame = ui::Rect())
        : CPPlayerToolbarItem(frame), initialFrame_(frame) {}

    const rt::Ref<ui::Button>& pictureInPictureButton() const { RT_MAIN_THREAD_ONLY(); return pictureInPictureButton_; }

protected:
    void didInitialize() override;

private:
    void pressed();

    ui::Rect initialFrame_;
    rt::Ref<ui::Button> pictureInPictureButton_;
};

}  // namespace zid
