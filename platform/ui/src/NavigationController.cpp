#include <rt/MainThread.h>
#include <ui/NavigationController.h>

#include <algorithm>

#include <ui/Animation.h>
#include <ui/Window.h>

namespace ui {

// ---- navigation bar ---------------------------------------------------------------------------

NavigationBar::NavigationBar(const Rect& frame) : View(frame) {
    titleLabel_ = rt::make<Label>();
    titleLabel_->setTextAlignment(TextAlignment::Center);
    titleLabel_->setUserInteractionEnabled(false);
    addSubview(titleLabel_);
}

void NavigationBar::setItems(std::vector<rt::Ref<NavigationItem>> items) {
    RT_MAIN_THREAD_ONLY();
    items_ = std::move(items);
    rebuild();
}

void NavigationBar::rebuild() {
    for (auto& v : itemViews_) v->removeFromSuperview();
    itemViews_.clear();
    if (backButton_) backButton_->removeFromSuperview();
    backButton_ = nullptr;
    auto top = topItem();
    titleLabel_->setText(top ? top->title() : "");
    if (!top) return;
    auto back = backItem();
    if (back && !top->hidesBackButton() && top->leftBarButtonItems().empty()) {
        backButton_ = Button::buttonWithType(ButtonType::System);
        std::string title = back->backBarButtonItem() ? back->backBarButtonItem()->title() : back->title();
        backButton_->setTitle(title.empty() ? std::string("Back") : title, ControlState::Normal);
        rt::Weak<NavigationBar> weak = selfAs<NavigationBar>();
        backButton_->addTarget(nullptr, "back", ControlEvents::TouchUpInside, [weak](const rt::Ref<Control>&) {
            auto bar = weak.lock();
            if (bar && bar->onBack) bar->onBack();
        });
        addSubview(backButton_);
    }
    for (const auto& item : top->leftBarButtonItems()) {
        itemViews_.push_back(item->itemView());
        addSubview(itemViews_.back());
    }
    for (const auto& item : top->rightBarButtonItems()) {
        itemViews_.push_back(item->itemView());
        addSubview(itemViews_.back());
    }
    setNeedsLayout();
    layoutIfNeeded();
}

void NavigationBar::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    Rect b = bounds();
    auto top = topItem();
    double left = minX(b) + 8;
    if (backButton_) {
        backButton_->sizeToFit();
        Size s = backButton_->bounds().size;
        backButton_->setFrame(Rect(left, midY(b) - s.height / 2, std::max(s.width, 44.0), std::max(s.height, 30.0)));
        left = maxX(backButton_->frame()) + 8;
    }
    double right = maxX(b) - 8;
    if (top) {
        for (const auto& item : top->leftBarButtonItems()) {
            auto v = item->itemView();
            Size s = v->sizeThatFits(b.size);
            s.width = std::max(s.width, 44.0);
            s.height = std::max(s.height, 30.0);
            v->setFrame(Rect(left, midY(b) - s.height / 2, s.width, s.height));
            left += s.width + 8;
        }
        for (const auto& item : top->rightBarButtonItems()) {
            auto v = item->itemView();
            Size s = v->sizeThatFits(b.size);
            s.width = std::max(s.width, 44.0);
            s.height = std::max(s.height, 30.0);
            right -= s.width;
            v->setFrame(Rect(right, midY(b) - s.height / 2, s.width, s.height));
            right -= 8;
        }
    }
    titleLabel_->setFrame(Rect(left, minY(b), std::max(0.0, right - left), height(b)));
}

// ---- navigation controller -----------------------------------------------------------------------

void NavigationController::loadView() {
    RT_MAIN_THREAD_ONLY();
    auto v = rt::make<View>(Rect(0, 0, 320, 480));
    setView(v);
    v->addSubview(navigationBar());
}

void NavigationController::viewDidLoad() {
    RT_MAIN_THREAD_ONLY();
    if (root_) {
        auto root = std::move(root_);
        setViewControllers({root}, false);
    }
}

unsigned NavigationController::supportedInterfaceOrientations() const {
    RT_MAIN_THREAD_ONLY();
    if (delegate_) {
        if (auto mask = delegate_->navigationControllerSupportedInterfaceOrientations(
                *const_cast<NavigationController*>(this))) {
            return *mask;
        }
    }
    return ViewController::supportedInterfaceOrientations();
}

rt::Ref<NavigationBar> NavigationController::navigationBar() {
    RT_MAIN_THREAD_ONLY();
    if (!bar_) {
        bar_ = rt::make<NavigationBar>();
        bar_->setAutoresizingMask(Autoresizing::FlexibleWidth);
        rt::Weak<NavigationController> weak = selfAs<NavigationController>();
        bar_->onBack = [weak] {
            if (auto nav = weak.lock()) nav->popViewControllerAnimated(true);
        };
    }
    return bar_;
}

void NavigationController::setNavigationBarHidden(bool hidden) {
    RT_MAIN_THREAD_ONLY();
    barHidden_ = hidden;
    navigationBar()->setHidden(hidden);
    if (auto top = topViewController(); top && top->isViewLoaded()) top->view()->setFrame(contentFrame());
}

Rect NavigationController::contentFrame() const {
    Rect b = const_cast<NavigationController*>(this)->view()->bounds();
    if (barHidden_) return b;
    return Rect(minX(b), minY(b) + NavigationBar::kHeight, width(b), std::max(0.0, height(b) - NavigationBar::kHeight));
}

rt::Ref<ViewController> NavigationController::visibleViewController() const {
    RT_MAIN_THREAD_ONLY();
    if (auto p = presentedViewController()) return p;
    auto top = topViewController();
    if (top && top->presentedViewController()) return top->presentedViewController();
    return top;
}

void NavigationController::refreshBar() {
    auto bar = navigationBar();
    Rect b = view()->bounds();
    bar->setFrame(Rect(minX(b), minY(b), width(b), NavigationBar::kHeight));
    std::vector<rt::Ref<NavigationItem>> items;
    for (const auto& c : stack_) items.push_back(c->navigationItem());
    bar->setItems(std::move(items));
}

void NavigationController::setViewControllers(std::vector<rt::Ref<ViewController>> controllers, bool animated) {
    RT_MAIN_THREAD_ONLY();
    auto old = topViewController();
    auto leaving = stack_;
    std::erase_if(leaving, [&](const auto& c) { return std::find(controllers.begin(), controllers.end(), c) != controllers.end(); });
    for (const auto& c : controllers) {
        if (c->parentViewController().get() != this) addChildViewController(c);
    }
    stack_ = std::move(controllers);
    auto top = topViewController();
    if (top == old) {
        for (const auto& c : leaving) {
            c->willMoveToParentViewController(nullptr);
            c->removeFromParentViewController();
        }
        refreshBar();
        return;
    }
    show(top, old, true, animated, leaving);
}

void NavigationController::pushViewController(const rt::Ref<ViewController>& controller, bool animated) {
    RT_MAIN_THREAD_ONLY();
    if (!controller || std::find(stack_.begin(), stack_.end(), controller) != stack_.end()) return;
    auto old = topViewController();
    addChildViewController(controller);
    stack_.push_back(controller);
    show(controller, old, true, animated, {});
}

void NavigationController::afterTransition(std::function<void()> block) {
    RT_MAIN_THREAD_ONLY();
    if (!block) return;
    if (!transitioning_) {
        block();
        return;
    }
    afterTransition_.push_back(std::move(block));
}

rt::Ref<ViewController> NavigationController::popViewControllerAnimated(bool animated) {
    RT_MAIN_THREAD_ONLY();
    if (stack_.size() < 2) return nullptr;
    auto popped = popToViewController(stack_[stack_.size() - 2], animated);
    return popped.empty() ? nullptr : popped.back();
}

std::vector<rt::Ref<ViewController>> NavigationController::popToViewController(const rt::Ref<ViewController>& controller,
                                                                               bool animated) {
    RT_MAIN_THREAD_ONLY();
    auto it = std::find(stack_.begin(), stack_.end(), controller);
    if (it == stack_.end() || it + 1 == stack_.end()) return {};
    std::vector<rt::Ref<ViewController>> popped(it + 1, stack_.end());
    auto old = topViewController();
    stack_.erase(it + 1, stack_.end());
    show(controller, old, false, animated, popped);
    return popped;
}

std::vector<rt::Ref<ViewController>> NavigationController::popToRootViewControllerAnimated(bool animated) {
    RT_MAIN_THREAD_ONLY();
    if (stack_.empty()) return {};
    return popToViewController(stack_.front(), animated);
}

void NavigationController::show(const rt::Ref<ViewController>& incoming, const rt::Ref<ViewController>& outgoing,
                                bool forward, bool animated, std::vector<rt::Ref<ViewController>> leaving) {
    auto self = selfAs<NavigationController>();
    view();
    bool shown = isAppeared();
    animated = animated && shown && outgoing;
    if (incoming) incoming->view();
    for (const auto& c : leaving) c->willMoveToParentViewController(nullptr);
    if (delegate_ && incoming) delegate_->navigationControllerWillShow(*this, *incoming, animated);
    if (shown) {
        if (incoming) incoming->beginAppearanceTransition(true, animated);
        if (outgoing) outgoing->beginAppearanceTransition(false, animated);
    }
    Rect frame = contentFrame();
    if (incoming) {
        auto v = incoming->view();
        v->setFrame(frame);
        v->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
        if (outgoing && outgoing->isViewLoaded() && outgoing->view()->superview() == view()) {
            if (forward) view()->insertSubviewAboveSubview(v, outgoing->view());
            else view()->insertSubviewBelowSubview(v, outgoing->view());
        } else {
            view()->insertSubviewBelowSubview(v, navigationBar());
        }
    }
    refreshBar();
    auto finish = [self, incoming, outgoing, shown, animated, forward, leaving, frame](bool) {
        if (outgoing && outgoing != incoming && outgoing->isViewLoaded()) {
            outgoing->view()->removeFromSuperview();
            outgoing->view()->setFrame(frame);
        }
        if (shown) {
            if (incoming) incoming->endAppearanceTransition();
            if (outgoing) outgoing->endAppearanceTransition();
        }
        if (forward && incoming) incoming->didMoveToParentViewController(self);
        for (const auto& c : leaving) c->removeFromParentViewController();
        self->transitioning_ = false;
        if (self->delegate_ && incoming) self->delegate_->navigationControllerDidShow(*self, *incoming, animated);
        auto waiting = std::move(self->afterTransition_);
        self->afterTransition_.clear();
        for (auto& block : waiting) block();
    };
    if (!animated) {
        finish(true);
        return;
    }
    transitioning_ = true;
    double w = width(frame);
    auto in = incoming->view();
    auto out = outgoing->view();
    performWithoutAnimation([&] {
        in->setCenter(Point{midX(frame) + (forward ? w : -w / 3), midY(frame)});
    });
    animate(kTransitionDuration, [&] {
        in->setCenter(Point{midX(frame), midY(frame)});
        out->setCenter(Point{midX(frame) + (forward ? -w / 3 : w), midY(frame)});
    }, finish);
}

// ---- tab bar -----------------------------------------------------------------------------------

TabBar::TabBar(const Rect& frame) : View(frame) {}

void TabBar::setItems(std::vector<rt::Ref<TabBarItem>> items) {
    RT_MAIN_THREAD_ONLY();
    for (auto& b : buttons_) b->removeFromSuperview();
    buttons_.clear();
    items_ = std::move(items);
    for (std::size_t i = 0; i < items_.size(); ++i) {
        auto b = Button::buttonWithType(ButtonType::System);
        b->setTitle(items_[i]->title(), ControlState::Normal);
        b->setImage(items_[i]->image(), ControlState::Normal);
        if (items_[i]->selectedImage()) b->setImage(items_[i]->selectedImage(), ControlState::Selected);
        rt::Weak<TabBar> weak = selfAs<TabBar>();
        b->addTarget(nullptr, "select", ControlEvents::TouchUpInside, [weak, i](const rt::Ref<Control>&) {
            auto bar = weak.lock();
            if (bar && bar->onSelect) bar->onSelect(i);
        });
        addSubview(b);
        buttons_.push_back(b);
    }
    setSelectedItem(selected_);
    setNeedsLayout();
}

void TabBar::setSelectedItem(const rt::Ref<TabBarItem>& item) {
    RT_MAIN_THREAD_ONLY();
    selected_ = item;
    for (std::size_t i = 0; i < items_.size(); ++i) buttons_[i]->setSelected(items_[i] == item);
}

void TabBar::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    if (buttons_.empty()) return;
    Rect b = bounds();
    double w = width(b) / double(buttons_.size());
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        buttons_[i]->setFrame(Rect(minX(b) + w * double(i), minY(b), w, height(b)));
    }
}

// ---- tab bar controller -----------------------------------------------------------------------

void TabBarController::loadView() {
    RT_MAIN_THREAD_ONLY();
    auto v = rt::make<View>(Rect(0, 0, 320, 480));
    setView(v);
    auto bar = tabBar();
    Rect b = v->bounds();
    bar->setFrame(Rect(minX(b), maxY(b) - TabBar::kHeight, width(b), TabBar::kHeight));
    v->addSubview(bar);
}

rt::Ref<TabBar> TabBarController::tabBar() {
    RT_MAIN_THREAD_ONLY();
    if (!tabBar_) {
        tabBar_ = rt::make<TabBar>();
        tabBar_->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleTopMargin);
        rt::Weak<TabBarController> weak = selfAs<TabBarController>();
        tabBar_->onSelect = [weak](std::size_t i) {
            auto tabs = weak.lock();
            if (!tabs || i >= tabs->controllers_.size()) return;
            auto target = tabs->controllers_[i];
            if (tabs->delegate_ && !tabs->delegate_->tabBarControllerShouldSelect(*tabs, *target)) return;
            tabs->select(i);
            if (tabs->delegate_) tabs->delegate_->tabBarControllerDidSelect(*tabs, *target);
        };
    }
    return tabBar_;
}

void TabBarController::setViewControllers(std::vector<rt::Ref<ViewController>> controllers) {
    RT_MAIN_THREAD_ONLY();
    auto old = selectedViewController();
    for (const auto& c : controllers_) {
        if (std::find(controllers.begin(), controllers.end(), c) != controllers.end()) continue;
        c->willMoveToParentViewController(nullptr);
        if (c->isViewLoaded() && c->view()->superview() == view()) {
            if (isAppeared()) c->beginAppearanceTransition(false, false);
            c->view()->removeFromSuperview();
            if (isAppeared()) c->endAppearanceTransition();
        }
        c->removeFromParentViewController();
    }
    controllers_ = std::move(controllers);
    std::vector<rt::Ref<TabBarItem>> items;
    for (const auto& c : controllers_) {
        if (c->parentViewController().get() != this) {
            addChildViewController(c);
            c->didMoveToParentViewController(selfAs<ViewController>());
        }
        items.push_back(c->tabBarItem());
    }
    tabBar()->setItems(std::move(items));
    auto it = std::find(controllers_.begin(), controllers_.end(), old);
    selected_ = kNoSelection;
    select(it != controllers_.end() ? std::size_t(it - controllers_.begin()) : (controllers_.empty() ? kNoSelection : 0));
}

rt::Ref<ViewController> TabBarController::selectedViewController() const {
    RT_MAIN_THREAD_ONLY();
    return selected_ < controllers_.size() ? controllers_[selected_] : nullptr;
}

void TabBarController::setSelectedViewController(const rt::Ref<ViewController>& controller) {
    RT_MAIN_THREAD_ONLY();
    auto it = std::find(controllers_.begin(), controllers_.end(), controller);
    if (it != controllers_.end()) select(std::size_t(it - controllers_.begin()));
}

void TabBarController::setSelectedIndex(std::size_t index) {
    RT_MAIN_THREAD_ONLY();
    if (index < controllers_.size()) select(index);
}

void TabBarController::select(std::size_t index) {
    if (index == selected_) return;
    auto old = selectedViewController();
    selected_ = index;
    auto now = selectedViewController();
    bool shown = isAppeared();
    if (now) now->view();
    if (shown && now) now->beginAppearanceTransition(true, false);
    if (shown && old) old->beginAppearanceTransition(false, false);
    if (old && old->isViewLoaded()) old->view()->removeFromSuperview();
    if (now) {
        Rect b = view()->bounds();
        now->view()->setFrame(Rect(minX(b), minY(b), width(b), std::max(0.0, height(b) - TabBar::kHeight)));
        now->view()->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
        view()->insertSubviewBelowSubview(now->view(), tabBar());
    }
    tabBar()->setSelectedItem(now ? now->tabBarItem() : nullptr);
    if (shown && now) now->endAppearanceTransition();
    if (shown && old) old->endAppearanceTransition();
}

}  // namespace ui
