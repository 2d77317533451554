#include "QXUIKit/TabView/QXTabItem.h"

#include <QXFoundation/ObjectAssociation/ObjectAssociation.h>

namespace zid {

QXTabItem::QXTabItem(const rt::Ref<ui::View>& view, std::string title) : view_(view), title_(std::move(title)) {}

rt::Ref<QXTabItem> QXTabItem::itemWithView(const rt::Ref<ui::View>& view, std::string title) {
    return rt::make<QXTabItem>(view, std::move(title));
}

rt::Ref<QXTabItem> qxTabItem(const rt::Ref<ui::View>& view) {
    if (!view) return nullptr;
    return associatedObjectOrMake<QXTabItem>(*view, "qxTabItem", [&] { return rt::make<QXTabItem>(view); });
}

}  // namespace zid
