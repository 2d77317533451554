#pragma once
// A fullscreen button for hosts: it only shows the pictures; the host attaches its own
// action to the button and selects it while in fullscreen.

#include <QXUIKit/Toolbar/QXButtonToolbarItem.h>

namespace zid {

class CPFullscreenToolbarItem : public QXButtonToolbarItem {
    RT_CLASS(CPFullscreenToolbarItem, QXButtonToolbarItem)
public:
    explicit CPFullscreenToolbarItem(const ui::Rect& frame = ui::Rect()) : QXButtonToolbarItem(frame) {}

protected:
    void didInitialize() override;
};

}  // namespace zid
