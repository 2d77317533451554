#pragma once
// A toolbar item holding one plain text field that fills it.

#include <ui/TextField.h>

#include "QXUIKit/Toolbar/QXToolbarItem.h"

namespace zid {

class QXTextFieldToolbarItem : public QXToolbarItem {
    RT_CLASS(QXTextFieldToolbarItem, QXToolbarItem)
public:
    using QXToolbarItem::QXToolbarItem;

    const rt::Ref<ui::TextField>& textField() const { return textField_; }
    void setTextField(rt::Ref<ui::TextField> field) { textField_ = std::move(field); }

protected:
    void didInitialize() override;

private:
    rt::Ref<ui::TextField> textField_;
};

}  // namespace zid
