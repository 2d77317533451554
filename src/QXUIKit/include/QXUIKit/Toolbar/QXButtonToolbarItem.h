#pragma once
// A toolbar item holding one button (of the custom type), kept at its own size and
// vertically centred when the bar changes the item's height.

#include <rt/MainThread.h>
#include <ui/Button.h>

#include "QXUIKit/Toolbar/QXToolbarItem.h"

namespace zid {

class QXButtonToolbarItem : public QXToolbarItem {
    RT_CLASS(QXButtonToolbarItem, QXToolbarItem)
public:
    explicit QXButtonToolbarItem(const ui::Rect& frame = ui::Rect()) : QXToolbarItem(frame), initialFrame_(frame) {}

    const rt::Ref<ui::Button>& button() const { RT_MAIN_THREAD_ONLY(); return button_; }
    /// Raises QXQuorvexPlayerParameterError for nil: the item always has a button.
    void setButton(rt::Ref<ui::Button> button);

protected:
    void didInitialize() override;

private:
    ui::Rect initialFrame_;
    rt::Ref<ui::Button> button_;
};

}  // namespace zid
