#pragma once
// Container controllers: a navigation controller (a stack under a navigation bar) and
// a tab bar controller (one selected child above a tab bar). Both keep their children
// through containment, so appearance callbacks reach the child that comes and goes.

#include <rt/MainThread.h>
#include <optional>

#include <ui/BarItem.h>
#include <ui/Label.h>
#include <ui/ViewController.h>

namespace ui {

/// A bar with the title, the back button and the bar button items of the top item.
class NavigationBar : public View {
    RT_CLASS(NavigationBar, View)
public:
    static constexpr double kHeight = 44;
    explicit NavigationBar(const Rect& frame = Rect());

    const std::vector<rt::Ref<NavigationItem>>& items() const { RT_MAIN_THREAD_ONLY(); return items_; }
    void setItems(std::vector<rt::Ref<NavigationItem>> items);
    rt::Ref<NavigationItem> topItem() const { RT_MAIN_THREAD_ONLY(); return items_.empty() ? nullptr : items_.back(); }
    rt::Ref<NavigationItem> backItem() const {
        RT_MAIN_THREAD_ONLY();
        return items_.size() < 2 ? nullptr : items_[items_.size() - 2];
    }
    /// The back button's view (nil when there is nothing to go back to).
    rt::Ref<Button> backButton() const { RT_MAIN_THREAD_ONLY(); return backButton_; }
    rt::Ref<Label> titleLabel() const { RT_MAIN_THREAD_ONLY(); return titleLabel_; }
    /// Runs when the back button is pressed.
    std::function<void()> onBack;

    void layoutSubviews() override;

private:
    void rebuild();
    std::vector<rt::Ref<NavigationItem>> items_;
    std::vector<rt::Ref<View>> itemViews_;
    rt::Ref<Label> titleLabel_;
    rt::Ref<Button> backButton_;
};

class NavigationControllerDelegate {
public:
    virtual ~NavigationControllerDelegate() = default;
    virtual void navigationControllerWillShow(NavigationController&, ViewController&, bool /*animated*/) {}
    virtual void navigationControllerDidShow(NavigationController&, ViewController&, bool /*animated*/) {}
    /// The orientations the navigation controller supports; nothing: its own answer.
    virtual std::optional<unsigned> navigationControllerSupportedInterfaceOrientations(NavigationController&) {
        return std::nullopt;
    }
};

class NavigationController : public ViewController {
    RT_CLASS(NavigationController, ViewController)
public:
    NavigationController() = default;
    explicit NavigationController(rt::Ref<ViewController> root) : root_(std::move(root)) {}

    void loadView() override;
    void viewDidLoad() override;
    /// The delegate's answer when it gives one.
    unsigned supportedInterfaceOrientations() const override;

    const std::vector<rt::Ref<ViewController>>& viewControllers() const { RT_MAIN_THREAD_ONLY(); return stack_; }
    void setViewControllers(std::vector<rt::Ref<ViewController>> controllers, bool animated);
    rt::Ref<ViewController> topViewController() const {
        RT_MAIN_THREAD_ONLY();
        return stack_.empty() ? nullptr : stack_.back();
    }
    /// The top controller, or what it presents.
    rt::Ref<ViewController> visibleViewController() const;

    void pushViewController(const rt::Ref<ViewController>& controller, bool animated);
    /// Answers the popped controller (nil at the root).
    rt::Ref<ViewController> popViewControllerAnimated(bool animated);
    /// Answers the popped controllers, bottom first.
    std::vector<rt::Ref<ViewController>> popToViewController(const rt::Ref<ViewController>& controller, bool animated);
    std::vector<rt::Ref<ViewController>> popToRootViewControllerAnimated(bool animated);

    rt::Ref<NavigationBar> navigationBar();
    bool isNavigationBarHidden() const { RT_MAIN_THREAD_ONLY(); return barHidden_; }
    void setNavigationBarHidden(bool hidden);
    NavigationControllerDelegate* delegate() const { RT_MAIN_THREAD_ONLY(); return delegate_; }
    void setDelegate(NavigationControllerDelegate* d) { RT_MAIN_THREAD_ONLY(); delegate_ = d; }
    /// Whether a push or pop is running.
    bool isTransitioning() const { RT_MAIN_THREAD_ONLY(); return transitioning_; }
    /// Runs the block once the push or pop that is running has finished (at once when
    /// none is running).
    void afterTransition(std::function<void()> block);

private:
    Rect contentFrame() const;
    void show(const rt::Ref<ViewController>& incoming, const rt::Ref<ViewController>& outgoing, bool forward,
              bool animated, std::vector<rt::Ref<ViewController>> leaving);
    void refreshBar();

    rt::Ref<ViewController> root_;
    std::vector<rt::Ref<ViewController>> stack_;
    rt::Ref<NavigationBar> bar_;
    bool barHidden_ = false;
    bool transitioning_ = false;
    std::vector<std::function<void()>> afterTransition_;
    NavigationControllerDelegate* delegate_ = nullptr;
};

/// A bar with one button per tab.
class TabBar : public View {
    RT_CLASS(TabBar, View)
public:
    static constexpr double kHeight = 49;
    explicit TabBar(const Rect& frame = Rect());
    void setItems(std::vector<rt::Ref<TabBarItem>> items);
    const std::vector<rt::Ref<TabBarItem>>& items() const { RT_MAIN_THREAD_ONLY(); return items_; }
    rt::Ref<TabBarItem> selectedItem() const { RT_MAIN_THREAD_ONLY(); return selected_; }
    void setSelectedItem(const rt::Ref<TabBarItem>& item);
    const std::vector<rt::Ref<Button>>& buttons() const { RT_MAIN_THREAD_ONLY(); return buttons_; }
    /// Runs when a tab's button is tapped.
    std::function<void(std::size_t index)> onSelect;
    void layoutSubviews() override;

private:
    std::vector<rt::Ref<TabBarItem>> items_;
    std::vector<rt::Ref<Button>> buttons_;
    rt::Ref<TabBarItem> selected_;
};

class TabBarControllerDelegate {
public:
    virtual ~TabBarControllerDelegate() = default;
    virtual bool tabBarControllerShouldSelect(TabBarController&, ViewController&) { return true; }
    virtual void tabBarControllerDidSelect(TabBarController&, ViewController&) {}
};

class TabBarController : public ViewController {
    RT_CLASS(TabBarController, ViewController)
public:
    static constexpr std::size_t kNoSelection = std::size_t(-1);
    void loadView() override;

    const std::vector<rt::Ref<ViewController>>& viewControllers() const { RT_MAIN_THREAD_ONLY(); return controllers_; }
    void setViewControllers(std::vector<rt::Ref<ViewController>> controllers);
    rt::Ref<ViewController> selectedViewController() const;
    void setSelectedViewController(const rt::Ref<ViewController>& controller);
    std::size_t selectedIndex() const { RT_MAIN_THREAD_ONLY(); return selected_; }
    void setSelectedIndex(std::size_t index);
    rt::Ref<TabBar> tabBar();
    TabBarControllerDelegate* delegate() const { RT_MAIN_THREAD_ONLY(); return delegate_; }
    void setDelegate(TabBarControllerDelegate* d) { RT_MAIN_THREAD_ONLY(); delegate_ = d; }

private:
    void select(std::size_t index);
    std::vector<rt::Ref<ViewController>> controllers_;
    std::size_t selected_ = kNoSelection;
    rt::Ref<TabBar> tabBar_;
    TabBarControllerDelegate* delegate_ = nullptr;
};

}  // namespace ui
