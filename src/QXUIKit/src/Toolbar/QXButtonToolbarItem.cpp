#include "QXUIKit/Toolbar/QXButtonToolbarItem.h"

#include <rt/MainThread.h>

#include "Support/MissingArgument.h"

namespace zid {

void QXButtonToolbarItem::setButton(rt::Ref<ui::Button> button) {
    RT_MAIN_THREAD_ONLY();
    if (!button) refuseMissingArgument("QXButtonToolbarItem: setButton", "button");
    button_ = std::move(button);
}

void QXButtonToolbarItem::didInitialize() {
    QXToolbarItem::didInitialize();
    button_ = ui::Button::buttonWithType(ui::ButtonType::Custom);
    button_->setFrame(initialFrame_);
    // Centred in the item's own bounds: a button made at a non-zero origin still sits
    // in the middle of its item.
    ui::Rect b = bounds();
    button_->setCenter(ui::Point{b.origin.x + b.size.width * 0.5, b.origin.y + b.size.height * 0.5});
    button_->setAutoresizingMask(ui::Autoresizing::FlexibleTopMargin | ui::Autoresizing::FlexibleBottomMargin);
    addSubview(button_);
}

}  // namespace zid
