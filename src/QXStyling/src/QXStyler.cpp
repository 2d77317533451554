#include "QXStyling/QXStyler.h"

#include <mutex>

namespace zid {

namespace {
std::mutex& stylerMutex() {
    static auto* m = new std::mutex;
    return *m;
}
rt::Ref<QXStyler>& shared() {
    static auto* s = new rt::Ref<QXStyler>;
    return *s;
}
rt::Ref<QXStyler> current() {
    std::lock_guard lock(stylerMutex());
    return shared();
}
}  // namespace

rt::Ref<QXStyler> QXStyler::instance() { return current(); }

void QXStyler::install(const rt::Ref<QXStyler>& styler) {
    rt::Ref<QXStyler> old;
    {
        std::lock_guard lock(stylerMutex());
        old = std::move(shared());
        shared() = styler;
    }
    // The earlier styler is released outside the lock: its destruction may style.
}

namespace {
/// The styler's three calls for one kind of stylable item.
template <class Item>
struct StylerCalls {
    QXStyleClass (IQXStyler::*styleClass)(const rt::Ref<Item>&);
    void (IQXStyler::*setStyleClass)(const QXStyleClass&, const rt::Ref<Item>&);
    void (IQXStyler::*applyStyle)(const rt::Ref<Item>&);
};
template <class Item>
constexpr StylerCalls<Item> calls();
template <>
constexpr StylerCalls<ui::View> calls() {
    return {&IQXStyler::styleClassForView, &IQXStyler::setStyleClassForView, &IQXStyler::applyStyleForView};
}
template <>
constexpr StylerCalls<ui::ViewController> calls() {
    return {&IQXStyler::styleClassForViewController, &IQXStyler::setStyleClassForViewController,
            &IQXStyler::applyStyleForViewController};
}
template <>
constexpr StylerCalls<ui::NavigationItem> calls() {
    return {&IQXStyler::styleClassForNavigationItem, &IQXStyler::setStyleClassForNavigationItem,
            &IQXStyler::applyStyleForNavigationItem};
}
template <>
constexpr StylerCalls<ui::BarButtonItem> calls() {
    return {&IQXStyler::styleClassForBarButtonItem, &IQXStyler::setStyleClassForBarButtonItem,
            &IQXStyler::applyStyleForBarButtonItem};
}
template <>
constexpr StylerCalls<ui::TabBarItem> calls() {
    return {&IQXStyler::styleClassForTabBarItem, &IQXStyler::setStyleClassForTabBarItem,
            &IQXStyler::applyStyleForTabBarItem};
}

// Without a styler an item has no style class and styling it does nothing.
template <class Item>
QXStyleClass styleClassOf(const rt::Ref<Item>& item) {
    auto s = current();
    return s ? ((*s).*calls<Item>().styleClass)(item) : std::nullopt;
}
template <class Item>
void setStyleClassOf(const rt::Ref<Item>& item, const QXStyleClass& styleClass) {
    if (auto s = current()) ((*s).*calls<Item>().setStyleClass)(styleClass, item);
}
template <class Item>
void applyStyleOf(const rt::Ref<Item>& item) {
    if (auto s = current()) ((*s).*calls<Item>().applyStyle)(item);
}
}  // namespace

QXStyleClass styleClass(const rt::Ref<ui::View>& view) { return styleClassOf(view); }
void setStyleClass(const rt::Ref<ui::View>& view, const QXStyleClass& styleClass) { setStyleClassOf(view, styleClass); }
void applyStyle(const rt::Ref<ui::View>& view) { applyStyleOf(view); }
void setNeedsUpdateStylingForSubviews(const rt::Ref<ui::View>& view) {
    if (auto s = current()) s->setNeedsUpdateStylingForSubviewsOfView(view);
}

QXStyleClass styleClass(const rt::Ref<ui::ViewController>& c) { return styleClassOf(c); }
void setStyleClass(const rt::Ref<ui::ViewController>& c, const QXStyleClass& styleClass) {
    setStyleClassOf(c, styleClass);
}
void applyStyle(const rt::Ref<ui::ViewController>& c) { applyStyleOf(c); }

QXStyleClass styleClass(const rt::Ref<ui::NavigationItem>& item) { return styleClassOf(item); }
void setStyleClass(const rt::Ref<ui::NavigationItem>& item, const QXStyleClass& c) { setStyleClassOf(item, c); }
void applyStyle(const rt::Ref<ui::NavigationItem>& item) { applyStyleOf(item); }

QXStyleClass styleClass(const rt::Ref<ui::BarButtonItem>& item) { return styleClassOf(item); }
void setStyleClass(const rt::Ref<ui::BarButtonItem>& item, const QXStyleClass& c) { setStyleClassOf(item, c); }
void applyStyle(const rt::Ref<ui::BarButtonItem>& item) { applyStyleOf(item); }

QXStyleClass styleClass(const rt::Ref<ui::TabBarItem>& item) { return styleClassOf(item); }
void setStyleClass(const rt::Ref<ui::TabBarItem>& item, const QXStyleClass& c) { setStyleClassOf(item, c); }
void applyStyle(const rt::Ref<ui::TabBarItem>& item) { applyStyleOf(item); }

}  // namespace zid
