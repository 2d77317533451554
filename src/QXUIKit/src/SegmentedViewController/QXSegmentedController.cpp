#include "QXUIKit/SegmentedViewController/QXSegmentedController.h"

#include <algorithm>
#include <cmath>

#include <QXFoundation/Assert/QXAssert.h>
#include <QXFoundation/Listening/IListenable.h>
#include <fnd/NotificationCenter.h>
#include <rt/Exception.h>
#include <ui/GestureRecognizer.h>
#include <ui/ScrollView.h>
#include <ui/Window.h>

#include "QXUIKit/Presentation/QXPresentation.h"
#include "Extensions/ViewControllerDetach.h"

namespace zid {

using ui::Rect;

QXSegmentedController::QXSegmentedController() { installQXPresentation(); }

void QXSegmentedController::loadView() {
    ViewController::loadView();
    setEdgesForExtendedLayout(ui::RectEdges::None);
    auto v = view();
    v->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    strip_ = rt::make<ui::View>(segmentedControlBackgroundFrame());
    strip_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth);
    v->addSubview(strip_);
    control_ = rt::make<ui::SegmentedControl>();
    control_->setFrame(segmentedControlFrame());
    control_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth);
    for (std::size_t i = 0; i < children_.size(); ++i) control_->insertSegmentWithTitle(children_[i]->title(), i);
    control_->setSelectedSegmentIndex(selectedIndex_);
    rt::Weak<QXSegmentedController> weak = selfAs<QXSegmentedController>();
    control_->addTarget(self(), "segmentedControlAction:", ui::ControlEvents::ValueChanged,
                        [weak](const rt::Ref<ui::Control>& sender) {
                            auto self = weak.lock();
                            auto control = rt::cast<ui::SegmentedControl>(sender);
                            if (!self || !control) return;
                            self->valueChangedByTouch_ = true;
                            self->segmentedControlAction(*control);
                        });
    // A touch that changes the value selects through the value change (at touch-down);
    // the tap it makes is then not announced again (at touch-up, before the control's
    // own touch-up events, which end the touch).
    control_->addTarget(self(), "touchEnded",
                        ui::ControlEvents::TouchUpInside | ui::ControlEvents::TouchUpOutside |
                            ui::ControlEvents::TouchCancel,
                        [weak](const rt::Ref<ui::Control>&) {
                            if (auto self = weak.lock()) self->valueChangedByTouch_ = false;
                        });
    auto tap = rt::make<ui::TapGestureRecognizer>();
    tap->setCancelsTouchesInView(false);
    tap->addTarget(self(), "singleTap", [weak](ui::GestureRecognizer& g) {
        if (auto self = weak.lock()) self->handleTap(g);
    });
    control_->addGestureRecognizer(tap);
    strip_->addSubview(control_);
    heightObservation_ = rt::observe(*this, controlHeightKey, *this, [](QXSegmentedController& self, double, double) {
        if (self.isViewLoaded()) self.view()->setNeedsLayout();
    });
}

// ---- geometry ------------------------------------------------------------------------------------

Rect QXSegmentedController::segmentedControlBackgroundFrame() {
    Rect slice, remainder;
    ui::rectDivide(view()->bounds(), &slice, &remainder, controlHeight_, ui::RectEdge::MinY);
    return slice;
}

Rect QXSegmentedController::contentFrame() {
    Rect slice, remainder;
    ui::rectDivide(view()->bounds(), &slice, &remainder, controlHeight_, ui::RectEdge::MinY);
    return remainder;
}

Rect QXSegmentedController::segmentedControlFrame() {
    Rect s = segmentedControlBackgroundFrame();
    const auto& in = controlInsets_;
    return Rect(s.origin.x + in.left, s.origin.y + in.top, s.size.width - (in.left + in.right) + 1,
                s.size.height - (in.top + in.bottom));
}

void QXSegmentedController::setControlInsets(const ui::EdgeInsets& insets) {
    QXMainThreadAssert();
    controlInsets_ = insets;
    if (control_) control_->setFrame(segmentedControlFrame());
}

void QXSegmentedController::viewWillLayoutSubviews() {
    ViewController::viewWillLayoutSubviews();
    if (strip_) strip_->setFrame(segmentedControlBackgroundFrame());
    if (control_) control_->setFrame(segmentedControlFrame());
    Rect content = contentFrame();
    for (const auto& c : children_) {
        if (c->isViewLoaded() && c->view()->isDescendantOfView(view().get())) c->view()->setFrame(content);
    }
}

// ---- children ------------------------------------------------------------------------------------

long QXSegmentedController::indexOf(const ui::ViewController* controller) const {
    auto it = std::find_if(children_.begin(), children_.end(), [&](const auto& c) { return c.get() == controller; });
    return it == children_.end() ? kNoSelection : long(it - children_.begin());
}

void QXSegmentedController::raiseNotAdded(const ui::ViewController& controller) const {
    throw rt::Exception(rt::Exception::InternalInconsistency,
                        "This view controller (" + controller.description() + ") isn't added");
}

void QXSegmentedController::addViewController(const rt::Ref<ui::ViewController>& controller) {
    insertViewController(controller, long(children_.size()));
}

void QXSegmentedController::insertViewController(const rt::Ref<ui::ViewController>& controller, long index) {
    QXMainThreadAssert();
    if (!controller) throw rt::Exception(rt::Exception::InvalidArgument, "Cannot add a nil view controller");
    if (indexOf(controller.get()) != kNoSelection) {
        throw rt::Exception(rt::Exception::InternalInconsistency,
                            "This view controller (" + controller->description() + ") is already added");
    }
    if (index < 0 || index > long(children_.size())) {
        throw rt::Exception(rt::Exception::RangeError, "Index " + std::to_string(index) + " is beyond the " +
                                                           std::to_string(children_.size()) + " view controllers");
    }
    view();  // the strip and its control first
    if (controller->parentViewController()) detachFromParentViewController(*controller);
    addChildViewController(controller);
    children_.insert(children_.begin() + index, controller);
    auto v = controller->view();
    v->setFrame(contentFrame());
    v->setHidden(true);
    v->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    view()->addSubview(v);
    controller->didMoveToParentViewController(selfAs<ui::ViewController>());
    control_->insertSegmentWithTitle(controller->title(), std::size_t(index));
    // The segment follows the child's title wherever the child has moved by then.
    rt::Weak<QXSegmentedController> weakSelf = selfAs<QXSegmentedController>();
    rt::Weak<ui::ViewController> weakChild = controller;
    auto observation = rt::observe(controller, "title", rt::KVONew | rt::KVOInitial,
                                   [weakSelf, weakChild](const rt::KVOChange& change) {
                                       auto self = weakSelf.lock();
                                       auto child = weakChild.lock();
                                       if (!self || !child) return;
                                       QXMainThreadAssert();
                                       long i = self->indexOf(child.get());
                                       if (i == kNoSelection || !self->control_) return;
                                       self->control_->setTitle(change.newValue.string(), std::size_t(i));
                                   });
    titleObservations_.emplace_back(controller, observation);
    if (selectedIndex_ != kNoSelection && selectedIndex_ >= index) ++selectedIndex_;
    control_->setSelectedSegmentIndex(selectedIndex_);
    if (children_.size() == 1) setSelectedViewController(controller);
}

void QXSegmentedController::removeViewController(const rt::Ref<ui::ViewController>& controller) {
    QXMainThreadAssert();
    long i = controller ? indexOf(controller.get()) : kNoSelection;
    if (i == kNoSelection) {
        if (!controller) throw rt::Exception(rt::Exception::InvalidArgument, "Cannot remove a nil view controller");
        raiseNotAdded(*controller);
    }
    auto keep = controller;
    if (i == selectedIndex_) {
        long count = long(children_.size());
        if (i < count - 1) setSelectedViewController(children_[std::size_t(i + 1)]);
        else if (i >= 1) setSelectedViewController(children_[std::size_t(i - 1)]);
        else setSelectedViewController(nullptr);
    }
    control_->removeSegmentAtIndex(std::size_t(i));
    detachFromParentViewController(*controller);
    children_.erase(children_.begin() + i);
    std::erase_if(titleObservations_, [&](auto& entry) {
        auto child = entry.first.lock();
        if (child && child != controller) return false;
        entry.second->remove();
        return true;
    });
    if (selectedIndex_ > i) --selectedIndex_;
    control_->setSelectedSegmentIndex(selectedIndex_);
}

void QXSegmentedController::removeViewControllerAtIndex(long index) {
    if (index < 0 || index >= long(children_.size())) {
        throw rt::Exception(rt::Exception::RangeError, "Index " + std::to_string(index) + " is beyond the " +
                                                           std::to_string(children_.size()) + " view controllers");
    }
    removeViewController(children_[std::size_t(index)]);
}

void QXSegmentedController::setViewControllers(const std::vector<rt::Ref<ui::ViewController>>& controllers,
                                               bool /*animated*/) {
    QXMainThreadAssert();
    auto incoming = controllers;  // the caller may pass our own list
    while (!children_.empty()) removeViewController(children_.back());
    for (const auto& c : incoming) addViewController(c);
}

// ---- selection -----------------------------------------------------------------------------------

rt::Ref<ui::ViewController> QXSegmentedController::selectedViewController() const {
    QXMainThreadAssert();
    if (selectedIndex_ < 0 || selectedIndex_ >= long(children_.size())) return nullptr;
    return children_[std::size_t(selectedIndex_)];
}

void QXSegmentedController::setSelectedViewController(const rt::Ref<ui::ViewController>& controller) {
    QXMainThreadAssert();
    long index = controller ? indexOf(controller.get()) : kNoSelection;
    // Only children can be selected; anything else is refused before anyone hears of it.
    if (controller && index == kNoSelection) raiseNotAdded(*controller);
    auto self = selfAs<QXSegmentedController>();
    notifyListeners<ISegmentedControllerListener>(*this, [&](ISegmentedControllerListener& l) {
        l.segmentedControllerWillSelectViewController(*self, controller);
    });
    fnd::NotificationCenter::defaultCenter()->post(QXSegmentedControllerWillSelectViewController, self);
    if (index != selectedIndex_) {
        if (auto old = selectedViewController()) makeTransitionForViewController(old, false);
        selectedIndex_ = index;
        if (control_) control_->setSelectedSegmentIndex(index);
        if (controller) makeTransitionForViewController(controller, true);
    }
    notifyListeners<ISegmentedControllerListener>(*this, [&](ISegmentedControllerListener& l) {
        l.segmentedControllerDidSelectViewController(*self, controller);
    });
    fnd::NotificationCenter::defaultCenter()->post(QXSegmentedControllerDidSelectViewController, self);
}

void QXSegmentedController::segmentedControlAction(ui::SegmentedControl& control) {
    QXMainThreadAssert();
    long index = control.selectedSegmentIndex();
    if (index < 0 || index >= long(children_.size())) return;
    setSelectedViewController(children_[std::size_t(index)]);
}

void QXSegmentedController::handleTap(ui::GestureRecognizer& tap) {
    auto n = control_->numberOfSegments();
    double w = control_->bounds().size.width;
    if (n == 0 || w <= 0) return;
    double x = tap.locationInView(control_.get()).x;
    long index = long(std::floor(x / (w / double(n))));
    if (index < 0 || index >= long(children_.size())) return;
    // A tap on a new segment has already selected it through the value change; only
    // a tap on the selected segment, which changes no value, is announced here.
    bool changed = valueChangedByTouch_;
    valueChangedByTouch_ = false;
    if (changed) return;
    setSelectedViewController(children_[std::size_t(index)]);
}

void QXSegmentedController::makeTransitionForViewController(const rt::Ref<ui::ViewController>& controller,
                                                            bool visible) {
    QXMainThreadAssert();
    if (!controller) return;
    bool onScreen = isViewLoaded() && view()->window();
    if (onScreen) controller->beginAppearanceTransition(visible, false);
    auto v = controller->view();
    v->setHidden(!visible);
    if (auto scroll = rt::cast<ui::ScrollView>(v)) scroll->setScrollsToTop(visible);
    if (onScreen) controller->endAppearanceTransition();
}

// ---- appearance ----------------------------------------------------------------------------------

void QXSegmentedController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    if (auto c = selectedViewController()) c->beginAppearanceTransition(true, animated);
}

void QXSegmentedController::viewDidAppear(bool animated) {
    ViewController::viewDidAppear(animated);
    if (auto c = selectedViewController()) c->endAppearanceTransition();
}

void QXSegmentedController::viewWillDisappear(bool animated) {
    ViewController::viewWillDisappear(animated);
    if (auto c = selectedViewController()) c->beginAppearanceTransition(false, animated);
}

void QXSegmentedController::viewDidDisappear(bool animated) {
    ViewController::viewDidDisappear(animated);
    if (auto c = selectedViewController()) c->endAppearanceTransition();
}

rt::Ref<QXSegmentedController> segmentedController(const ui::ViewController& controller) {
    for (auto parent = controller.parentViewController(); parent; parent = parent->parentViewController()) {
        if (auto s = rt::cast<QXSegmentedController>(parent)) return s;
    }
    return nullptr;
}

}  // namespace zid
