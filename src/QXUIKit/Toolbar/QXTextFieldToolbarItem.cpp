#include "QXUIKit/Toolbar/QXTextFieldToolbarItem.h"

#include <mutex>

namespace zid {

namespace {
std::mutex makerMutex;
QXTextFieldToolbarItem::TextFieldMaker& makerSlot() {
    static QXTextFieldToolbarItem::TextFieldMaker maker;
    return maker;
}
}  // namespace

void QXTextFieldToolbarItem::setTextFieldMaker(TextFieldMaker maker) {
    std::lock_guard lock(makerMutex);
    makerSlot() = std::move(maker);
}

void QXTextFieldToolbarItem::didInitialize() {
    QXToolbarItem::didInitialize();
    TextFieldMaker maker;
    {
        std::lock_guard lock(makerMutex);
        maker = makerSlot();
    }
    if (maker) textField_ = maker(bounds());
    if (!textField_) textField_ = rt::make<ui::View>(bounds());
    textField_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    addSubview(textField_);
}

}  // namespace zid
