#include "Toolbar/QXTextFieldToolbarItem.h"

namespace zid {

void QXTextFieldToolbarItem::didInitialize() {
    QXToolbarItem::didInitialize();
    textField_ = rt::make<ui::TextField>(bounds());
    textField_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    addSubview(textField_);
}

}  // namespace zid
