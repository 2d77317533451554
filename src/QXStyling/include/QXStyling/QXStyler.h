#pragma once
// A pluggable styling hook: views, view controllers and bar items carry a style class
// and can be asked to apply their style; every request goes to one shared styler that
// the host installs. None is installed by default, so requests do nothing and style
// classes read as nothing.

#include <optional>
#include <string>

#include <rt/Object.h>
#include <ui/View.h>
#include <ui/ViewController.h>

namespace ui {
// Bar items come with the controls layer; styling only passes them through.
class NavigationItem;
class BarButtonItem;
class TabBarItem;
}  // namespace ui

namespace zid {

using QXStyleClass = std::optional<std::string>;

/// What a styler answers. Every operation is required of a styler.
class IQXStyler {
public:
    virtual ~IQXStyler() = default;
    virtual QXStyleClass styleClassForView(const rt::Ref<ui::View>& view) = 0;
    virtual void setStyleClassForView(const QXStyleClass& styleClass, const rt::Ref<ui::View>& view) = 0;
    virtual void applyStyleForView(const rt::Ref<ui::View>& view) = 0;
    virtual void setNeedsUpdateStylingForSubviewsOfView(const rt::Ref<ui::View>& view) = 0;
    virtual QXStyleClass styleClassForNavigationItem(const rt::Ref<ui::NavigationItem>& item) = 0;
    virtual void setStyleClassForNavigationItem(const QXStyleClass& styleClass, const rt::Ref<ui::NavigationItem>& item) = 0;
    virtual void applyStyleForNavigationItem(const rt::Ref<ui::NavigationItem>& item) = 0;
    virtual QXStyleClass styleClassForBarButtonItem(const rt::Ref<ui::BarButtonItem>& item) = 0;
    virtual void setStyleClassForBarButtonItem(const QXStyleClass& styleClass, const rt::Ref<ui::BarButtonItem>& item) = 0;
    virtual void applyStyleForBarButtonItem(const rt::Ref<ui::BarButtonItem>& item) = 0;
    virtual QXStyleClass styleClassForTabBarItem(const rt::Ref<ui::TabBarItem>& item) = 0;
    virtual void setStyleClassForTabBarItem(const QXStyleClass& styleClass, const rt::Ref<ui::TabBarItem>& item) = 0;
    virtual void applyStyleForTabBarItem(const rt::Ref<ui::TabBarItem>& item) = 0;
    virtual QXStyleClass styleClassForViewController(const rt::Ref<ui::ViewController>& controller) = 0;
    virtual void setStyleClassForViewController(const QXStyleClass& styleClass,
                                                const rt::Ref<ui::ViewController>& controller) = 0;
    virtual void applyStyleForViewController(const rt::Ref<ui::ViewController>& controller) = 0;
};

/// Something that has a style class and can apply its style.
class IQXStylableItem {
public:
    virtual ~IQXStylableItem() = default;
    virtual void applyStyle() = 0;
    virtual QXStyleClass styleClass() = 0;
    virtual void setStyleClass(const QXStyleClass& styleClass) = 0;
};

/// The base styler: every request is answered with nothing, so installing the base
/// class itself leaves styling inert. Subclasses override what they style.
class QXStyler : public rt::Object, public IQXStyler {
    RT_CLASS(QXStyler, rt::Object)
public:
    /// Makes a new styler of class T, installs it as the shared one (releasing any
    /// earlier one) and answers it.
    template <class T = QXStyler> static rt::Ref<T> setup() {
        auto styler = rt::make<T>();
        install(styler);
        return styler;
    }
    /// The shared styler, or nil before any setup.
    static rt::Ref<QXStyler> instance();

    QXStyleClass styleClassForView(const rt::Ref<ui::View>&) override { return std::nullopt; }
    void setStyleClassForView(const QXStyleClass&, const rt::Ref<ui::View>&) override {}
    void applyStyleForView(const rt::Ref<ui::View>&) override {}
    void setNeedsUpdateStylingForSubviewsOfView(const rt::Ref<ui::View>&) override {}
    QXStyleClass styleClassForNavigationItem(const rt::Ref<ui::NavigationItem>&) override { return std::nullopt; }
    void setStyleClassForNavigationItem(const QXStyleClass&, const rt::Ref<ui::NavigationItem>&) override {}
    void applyStyleForNavigationItem(const rt::Ref<ui::NavigationItem>&) override {}
    QXStyleClass styleClassForBarButtonItem(const rt::Ref<ui::BarButtonItem>&) override { return std::nullopt; }
    void setStyleClassForBarButtonItem(const QXStyleClass&, const rt::Ref<ui::BarButtonItem>&) override {}
    void applyStyleForBarButtonItem(const rt::Ref<ui::BarButtonItem>&) override {}
    QXStyleClass styleClassForTabBarItem(const rt::Ref<ui::TabBarItem>&) override { return std::nullopt; }
    void setStyleClassForTabBarItem(const QXStyleClass&, const rt::Ref<ui::TabBarItem>&) override {}
    void applyStyleForTabBarItem(const rt::Ref<ui::TabBarItem>&) override {}
    QXStyleClass styleClassForViewController(const rt::Ref<ui::ViewController>&) override { return std::nullopt; }
    void setStyleClassForViewController(const QXStyleClass&, const rt::Ref<ui::ViewController>&) override {}
    void applyStyleForViewController(const rt::Ref<ui::ViewController>&) override {}

private:
    static void install(const rt::Ref<QXStyler>& styler);
};

// ---- the stylable items: each forwards to the shared styler, storing nothing ---------

QXStyleClass styleClass(const rt::Ref<ui::View>& view);
void setStyleClass(const rt::Ref<ui::View>& view, const QXStyleClass& styleClass);
void applyStyle(const rt::Ref<ui::View>& view);
void setNeedsUpdateStylingForSubviews(const rt::Ref<ui::View>& view);

QXStyleClass styleClass(const rt::Ref<ui::ViewController>& controller);
void setStyleClass(const rt::Ref<ui::ViewController>& controller, const QXStyleClass& styleClass);
void applyStyle(const rt::Ref<ui::ViewController>& controller);

QXStyleClass styleClass(const rt::Ref<ui::NavigationItem>& item);
void setStyleClass(const rt::Ref<ui::NavigationItem>& item, const QXStyleClass& styleClass);
void applyStyle(const rt::Ref<ui::NavigationItem>& item);

QXStyleClass styleClass(const rt::Ref<ui::BarButtonItem>& item);
void setStyleClass(const rt::Ref<ui::BarButtonItem>& item, const QXStyleClass& styleClass);
void applyStyle(const rt::Ref<ui::BarButtonItem>& item);

QXStyleClass styleClass(const rt::Ref<ui::TabBarItem>& item);
void setStyleClass(const rt::Ref<ui::TabBarItem>& item, const QXStyleClass& styleClass);
void applyStyle(const rt::Ref<ui::TabBarItem>& item);

}  // namespace zid
