#pragma once
// A toolbar item holding one button, kept at its own size and vertically centred when
// the bar changes the item's height.
//
// The toolkit has no button control yet: the button is made by a replaceable maker,
// which by default makes a plain interactive view of the given frame (it takes touches
// like a button; a host or the next toolkit step installs a real button maker).

#include <functional>

#include "QXUIKit/Toolbar/QXToolbarItem.h"

namespace zid {

class QXButtonToolbarItem : public QXToolbarItem {
    RT_CLASS(QXButtonToolbarItem, QXToolbarItem)
public:
    using ButtonMaker = std::function<rt::Ref<ui::View>(const ui::Rect& frame)>;

    explicit QXButtonToolbarItem(const ui::Rect& frame = ui::Rect()) : QXToolbarItem(frame), initialFrame_(frame) {}

    const rt::Ref<ui::View>& button() const { return button_; }
    void setButton(rt::Ref<ui::View> button) { button_ = std::move(button); }

    /// How items make their button (empty: the default plain view).
    static void setButtonMaker(ButtonMaker maker);
    static rt::Ref<ui::View> makeButton(const ui::Rect& frame);

protected:
    void didInitialize() override;

private:
    ui::Rect initialFrame_;
    rt::Ref<ui::View> button_;
};

}  // namespace zid
