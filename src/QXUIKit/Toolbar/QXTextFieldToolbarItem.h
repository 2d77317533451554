#pragma once
// A toolbar item holding one text field that fills it.
//
// The toolkit has no text field yet: the field is made by a replaceable maker, which
// by default makes a plain interactive view of the item's bounds.

#include <functional>

#include "QXUIKit/Toolbar/QXToolbarItem.h"

namespace zid {

class QXTextFieldToolbarItem : public QXToolbarItem {
    RT_CLASS(QXTextFieldToolbarItem, QXToolbarItem)
public:
    using TextFieldMaker = std::function<rt::Ref<ui::View>(const ui::Rect& frame)>;

    using QXToolbarItem::QXToolbarItem;

    const rt::Ref<ui::View>& textField() const { return textField_; }
    void setTextField(rt::Ref<ui::View> field) { textField_ = std::move(field); }

    /// How items make their text field (empty: the default plain view).
    static void setTextFieldMaker(TextFieldMaker maker);

protected:
    void didInitialize() override;

private:
    rt::Ref<ui::View> textField_;
};

}  // namespace zid
