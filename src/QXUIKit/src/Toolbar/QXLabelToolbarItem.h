#pragma once
// A toolbar item holding one label that fills it and takes touches over it.

#include <ui/Label.h>

#include "QXUIKit/Toolbar/QXToolbarItem.h"

namespace zid {

class QXLabelToolbarItem : public QXToolbarItem {
    RT_CLASS(QXLabelToolbarItem, QXToolbarItem)
public:
    using QXToolbarItem::QXToolbarItem;

    const rt::Ref<ui::Label>& label() const { return label_; }
    void setLabel(rt::Ref<ui::Label> label) { label_ = std::move(label); }

protected:
    void didInitialize() override;

private:
    rt::Ref<ui::Label> label_;
};

}  // namespace zid
