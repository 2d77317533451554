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

QXStyleClass styleClass(const rt::Ref<ui::View>& view) {
    auto s = current();
    return s ? s->styleClassForView(view) : std::nullopt;
}
void setStyleClass(const rt::Ref<ui::View>& view, const QXStyleClass& styleClass) {
    if (auto s = current()) s->setStyleClassForView(styleClass, view);
}
void applyStyle(const rt::Ref<ui::View>& view) {
    if (auto s = current()) s->applyStyleForView(view);
}
void setNeedsUpdateStylingForSubviews(const rt::Ref<ui::View>& view) {
    if (auto s = current()) s->setNeedsUpdateStylingForSubviewsOfView(view);
}

QXStyleClass styleClass(const rt::Ref<ui::ViewController>& controller) {
    auto s = current();
    return s ? s->styleClassForViewController(controller) : std::nullopt;
}
void setStyleClass(const rt::Ref<ui::ViewController>& controller, const QXStyleClass& styleClass) {
    if (auto s = current()) s->setStyleClassForViewController(styleClass, controller);
}
void applyStyle(const rt::Ref<ui::ViewController>& controller) {
    if (auto s = current()) s->applyStyleForViewController(controller);
}

QXStyleClass styleClass(const rt::Ref<ui::NavigationItem>& item) {
    auto s = current();
    return s ? s->styleClassForNavigationItem(item) : std::nullopt;
}
void setStyleClass(const rt::Ref<ui::NavigationItem>& item, const QXStyleClass& styleClass) {
    if (auto s = current()) s->setStyleClassForNavigationItem(styleClass, item);
}
void applyStyle(const rt::Ref<ui::NavigationItem>& item) {
    if (auto s = current()) s->applyStyleForNavigationItem(item);
}

QXStyleClass styleClass(const rt::Ref<ui::BarButtonItem>& item) {
    auto s = current();
    return s ? s->styleClassForBarButtonItem(item) : std::nullopt;
}
void setStyleClass(const rt::Ref<ui::BarButtonItem>& item, const QXStyleClass& styleClass) {
    if (auto s = current()) s->setStyleClassForBarButtonItem(styleClass, item);
}
void applyStyle(const rt::Ref<ui::BarButtonItem>& item) {
    if (auto s = current()) s->applyStyleForBarButtonItem(item);
}

QXStyleClass styleClass(const rt::Ref<ui::TabBarItem>& item) {
    auto s = current();
    return s ? s->styleClassForTabBarItem(item) : std::nullopt;
}
void setStyleClass(const rt::Ref<ui::TabBarItem>& item, const QXStyleClass& styleClass) {
    if (auto s = current()) s->setStyleClassForTabBarItem(styleClass, item);
}
void applyStyle(const rt::Ref<ui::TabBarItem>& item) {
    if (auto s = current()) s->applyStyleForTabBarItem(item);
}

}  // namespace zid
