#include "QXUIKit/Toolbar/QXToolbarItem.h"
#include <rt/MainThread.h>

#include "QXUIKit/Toolbar/QXToolbar.h"
#include "Support/MissingArgument.h"
#include "Toolbar/TouchPassThrough.h"

#include <rt/Exception.h>

namespace zid {

void QXToolbarItem::describe(rt::ClassBuilder<QXToolbarItem>& c) {
    c.property(toolbarAutoresizingMaskKey, &QXToolbarItem::setToolbarAutoresizingMask);
}

rt::Ref<QXToolbarItem> QXToolbarItem::flexibleSpaceItem() {
    auto item = rt::make<QXToolbarItem>(ui::Rect(0, 0, 44, 44));
    item->setToolbarAutoresizingMask(QXToolbarItemAutoresizing::FlexibleWidth);
    return item;
}

rt::Ref<QXToolbarItem> QXToolbarItem::fixedSpaceItemWithWidth(double width) {
    return rt::make<QXToolbarItem>(ui::Rect(0, 0, width, 44));
}

rt::Ref<QXToolbarItem> QXToolbarItem::itemWithCustomView(const rt::Ref<ui::View>& view) {
    // The same refusal the player facade gives any missing argument: the toolbar is
    // reached from the facade's toolbar access.
    if (!view) refuseMissingArgument("QXToolbarItem: itemWithCustomView", "view");
    auto item = rt::make<QXToolbarItem>(view->frame());
    view->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    item->addSubview(view);
    return item;
}

void QXToolbarItem::setToolbarAutoresizingMask(unsigned mask) {
    RT_MAIN_THREAD_ONLY();
    toolbarAutoresizingMaskKey.set(*this, mask);
    if (auto bar = toolbar()) bar->setNeedsLayout();
}

bool QXToolbarItem::pointInside(ui::Point point) const {
    RT_MAIN_THREAD_ONLY();
    return reachableSubviewContainsPoint(*this, point);
}

}  // namespace zid
