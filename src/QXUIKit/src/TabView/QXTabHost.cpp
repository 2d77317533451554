#include "QXUIKit/TabView/QXTabHost.h"

#include <rt/MainThread.h>
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
    RT_MAIN_THREAD_ONLY();
    long selected = selectedIndex();
    return tabs::validIndex(selected, items_.size()) ? items_[static_cast<std::size_t>(selected)] : nullptr;
}

void QXTabHost::addItem(const rt::Ref<QXTabItem>& item, bool animated) {
    RT_MAIN_THREAD_ONLY();
    insertItem(item, static_cast<long>(items_.size()), animated);
}

void QXTabHost::removeItem(const rt::Ref<QXTabItem>& item, bool animated) {
    RT_MAIN_THREAD_ONLY();
    for (;;) {
        auto it = std::find(items_.begin(), items_.end(), item);
        if (it == items_.end()) return;
        removeItemAt(static_cast<std::size_t>(it - items_.begin()), animated);
    }
}

void QXTabHost::moveItem(const rt::Ref<QXTabItem>& item, long index, bool animated) {
    RT_MAIN_THREAD_ONLY();
    removeItem(item, animated);
    insertItem(item, index, animated);
}

void QXTabHost::removeAllItems(bool animated) {
    RT_MAIN_THREAD_ONLY();
    clearSelection();
    while (!items_.empty()) removeItemAt(items_.size() - 1, animated);
}

void QXTabHost::setItems(const Items& items, bool animated) {
    RT_MAIN_THREAD_ONLY();
    removeAllItems(animated);
    for (const auto& item : items) addItem(item, animated);
}

void QXTabHost::setSelectedItem(const rt::Ref<QXTabItem>& item, bool animated) {
    RT_MAIN_THREAD_ONLY();
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it != items_.end()) setSelectedIndex(static_cast<long>(it - items_.begin()), animated);
}

void QXTabHost::setNeedsUpdate(bool animated) {
    RT_MAIN_THREAD_ONLY();
    updateShouldBeAnimated_ = updateShouldBeAnimated_ || animated;
    if (needsUpdate_) return;
    needsUpdate_ = true;
    rt::Weak<QXTabHost> weak = selfAs<QXTabHost>();
    fnd::Queue::main()->async([weak] {
        if (auto host = weak.lock()) host->performUpdate();
    });
}

void QXTabHost::performUpdate() {
    RT_MAIN_THREAD_ONLY();
    needsUpdate_ = false;
    applyUpdate(updateShouldBeAnimated_);
    updateShouldBeAnimated_ = false;
}

}  // namespace zid
