#include "QXUIKit/TabView/QXTabHost.h"

#include <algorithm>

#include <fnd/Queue.h>

#include "TabSelection.h"

namespace zid {

void QXTabHost::describe(rt::ClassBuilder<QXTabHost>& c) {
    using H = QXTabHost;
    c.readonly("itemCount", [](const H& h) { return static_cast<long>(h.items_.size()); });
    c.readonly("selectedItem", [](const H& h) { return h.selectedItem(); });
    c.dependent("selectedItem", {"selectedIndex", "itemCount"});
}

rt::Ref<QXTabItem> QXTabHost::selectedItem() const {
    long selected = selectedIndex();
    return tabs::validIndex(selected, items_.size()) ? items_[static_cast<std::size_t>(selected)] : nullptr;
}

void QXTabHost::addItem(const rt::Ref<QXTabItem>& item, bool animated) {
    insertItem(item, static_cast<long>(items_.size()), animated);
}

void QXTabHost::removeItem(const rt::Ref<QXTabItem>& item, bool animated) {
    for (;;) {
        auto it = std::find(items_.begin(), items_.end(), item);
        if (it == items_.end()) return;
        removeItemAt(static_cast<std::size_t>(it - items_.begin()), animated);
    }
}

void QXTabHost::moveItem(const rt::Ref<QXTabItem>& item, long index, bool animated) {
    removeItem(item, animated);
    insertItem(item, index, animated);
}

void QXTabHost::removeAllItems(bool animated) {
    clearSelection();
    while (!items_.empty()) removeItemAt(items_.size() - 1, animated);
}

void QXTabHost::setItems(const Items& items, bool animated) {
    removeAllItems(animated);
    for (const auto& item : items) addItem(item, animated);
}

void QXTabHost::setSelectedItem(const rt::Ref<QXTabItem>& item, bool animated) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it != items_.end()) setSelectedIndex(static_cast<long>(it - items_.begin()), animated);
}

void QXTabHost::setNeedsUpdate(bool animated) {
    updateShouldBeAnimated_ = updateShouldBeAnimated_ || animated;
    if (needsUpdate_) return;
    needsUpdate_ = true;
    rt::Weak<QXTabHost> weak = selfAs<QXTabHost>();
    fnd::Queue::main()->async([weak] {
        if (auto host = weak.lock()) host->performUpdate();
    });
}

void QXTabHost::performUpdate() {
    needsUpdate_ = false;
    applyUpdate(updateShouldBeAnimated_);
    updateShouldBeAnimated_ = false;
}

}  // namespace zid
