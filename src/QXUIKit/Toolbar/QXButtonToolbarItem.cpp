#include "QXUIKit/Toolbar/QXButtonToolbarItem.h"

#include <mutex>

namespace zid {

namespace {
std::mutex makerMutex;
QXButtonToolbarItem::ButtonMaker& makerSlot() {
    static QXButtonToolbarItem::ButtonMaker maker;
    return maker;
}
}  // namespace

void QXButtonToolbarItem::setButtonMaker(ButtonMaker maker) {
    std::lock_guard lock(makerMutex);
    makerSlot() = std::move(maker);
}

rt::Ref<ui::View> QXButtonToolbarItem::makeButton(const ui::Rect& frame) {
    ButtonMaker maker;
    {
        std::lock_guard lock(makerMutex);
        maker = makerSlot();
    }
    if (maker)
        if (auto button = maker(frame)) return button;
    return rt::make<ui::View>(frame);
}

void QXButtonToolbarItem::didInitialize() {
    QXToolbarItem::didInitialize();
    button_ = makeButton(initialFrame_);
    // Centred in the item's own bounds: a button made at a non-zero origin still sits
    // in the middle of its item.
    ui::Rect b = bounds();
    button_->setCenter(ui::Point(b.origin.x + b.size.width * 0.5, b.origin.y + b.size.height * 0.5));
    button_->setAutoresizingMask(ui::Autoresizing::FlexibleTopMargin | ui::Autoresizing::FlexibleBottomMargin);
    addSubview(button_);
}

}  // namespace zid
