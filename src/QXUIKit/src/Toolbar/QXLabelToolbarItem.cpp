#include "Toolbar/QXLabelToolbarItem.h"

namespace zid {

void QXLabelToolbarItem::didInitialize() {
    QXToolbarItem::didInitialize();
    label_ = rt::make<ui::Label>(bounds());
    label_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    label_->setUserInteractionEnabled(true);
    addSubview(label_);
}

}  // namespace zid
