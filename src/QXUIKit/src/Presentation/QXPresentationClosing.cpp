// Closing a controller from inside it, and the navigation controller's coalesced pop.
//
// The "closing" flag guards one close: it is set when the controller asks to be
// closed and cleared once its container has carried the close out (the dismissal or
// the pop finished, the menu hidden). A controller whose container closes itself in
// its place waits for that close, so a controller presented again can close again.

#include <algorithm>
#include <vector>

#include <fnd/Queue.h>

#include "PresentationInternal.h"
#include "QXUIKit/Presentation/QXPresentation.h"

namespace zid {

namespace {

constexpr const char* kClosing = "closing";
constexpr const char* kCloseIndex = "closeIndex";
constexpr const char* kPopQueued = "popQueued";
constexpr const char* kCloseWaiters = "closeWaiters";
constexpr const char* kPopClosers = "popClosers";
constexpr std::int64_t kNoQueuedPop = 999;

/// Controllers whose close ends with something else's.
class QXCloseWaiters : public rt::Object {
    RT_CLASS(QXCloseWaiters, rt::Object)
public:
    std::vector<rt::Weak<ui::ViewController>> list;
};

rt::Ref<QXCloseWaiters> waitersOf(ui::ViewController& controller, const char* key) {
    auto waiters = controller.associatedObject(key).as<QXCloseWaiters>();
    if (!waiters) {
        waiters = rt::make<QXCloseWaiters>();
        controller.setAssociatedObject(rt::Value(waiters), key);
    }
    return waiters;
}

std::vector<rt::Weak<ui::ViewController>> takeWaiters(ui::ViewController& controller, const char* key) {
    auto waiters = controller.associatedObject(key).as<QXCloseWaiters>();
    if (!waiters) return {};
    auto list = std::move(waiters->list);
    controller.setAssociatedObject(rt::Value(), key);
    return list;
}

void addWaiter(ui::ViewController& holder, const char* key, const ui::ViewController& waiter) {
    auto& list = waitersOf(holder, key)->list;
    auto it = std::find_if(list.begin(), list.end(), [&](const auto& w) { return w.lock().get() == &waiter; });
    if (it == list.end()) list.push_back(const_cast<ui::ViewController&>(waiter).selfAs<ui::ViewController>());
}

void finishAll(const std::vector<rt::Weak<ui::ViewController>>& list) {
    for (const auto& w : list) {
        if (auto c = w.lock()) finishClosing(*c);
    }
}

}  // namespace

bool isClosing(const ui::ViewController& controller) { return controller.associatedObject(kClosing).boolValue(); }

void setClosing(ui::ViewController& controller) { controller.setAssociatedObject(rt::Value(true), kClosing); }

void finishClosing(ui::ViewController& controller) {
    auto keep = controller.selfAs<ui::ViewController>();
    controller.setAssociatedObject(rt::Value(), kClosing);
    finishAll(takeWaiters(controller, kCloseWaiters));
}

void closeAfter(ui::ViewController& container, const ui::ViewController& waiter) {
    addWaiter(container, kCloseWaiters, waiter);
}

void closeAnimated(ui::ViewController& controller, bool animated) {
    if (isClosing(controller)) return;
    setClosing(controller);
    auto self = controller.selfAs<ui::ViewController>();
    if (auto parent = controller.parentViewController()) {
        closeViewController(*parent, self, animated);
    } else if (auto presenting = controller.presentingViewController()) {
        closeViewController(*presenting, self, animated);
    } else {
        finishClosing(controller);  // nobody can carry it out
    }
}

void closeViewController(ui::ViewController& container, const rt::Ref<ui::ViewController>& child, bool animated) {
    if (!child) return;
    if (auto closing = dynamic_cast<QXClosingContainer*>(&container)) {
        closing->closeViewController(child, animated);
        return;
    }
    closeViewControllerPlainly(container, child, animated);
}

void closeViewControllerPlainly(ui::ViewController& container, const rt::Ref<ui::ViewController>& child,
                                bool animated) {
    if (!child) return;
    if (auto navigation = dynamic_cast<ui::NavigationController*>(&container)) {
        const auto& stack = navigation->viewControllers();
        auto it = std::find(stack.begin(), stack.end(), child);
        if (it != stack.end()) {
            enqueuePopTillViewController(*navigation, child, std::uint64_t(it - stack.begin()), animated);
            return;
        }
    }
    if (container.presentedViewController() == child) {
        rt::Weak<ui::ViewController> weak = child;
        container.dismissViewControllerAnimated(animated, [weak] {
            if (auto c = weak.lock()) finishClosing(*c);
        });
        return;
    }
    // The container closes itself in the child's place.
    closeAfter(container, *child);
    closeAnimated(container, animated);
}

// ---- navigation controllers --------------------------------------------------------------------

std::int64_t closeIndex(const ui::NavigationController& navigation) {
    return navigation.associatedObject(kCloseIndex).longLongValue();
}

void setCloseIndex(ui::NavigationController& navigation, std::int64_t index) {
    navigation.setAssociatedObject(rt::Value(static_cast<long long>(index)), kCloseIndex);
}

bool popQueued(const ui::NavigationController& navigation) {
    return navigation.associatedObject(kPopQueued).boolValue();
}

void setPopQueued(ui::NavigationController& navigation, bool queued) {
    navigation.setAssociatedObject(rt::Value(queued), kPopQueued);
}

void enqueuePopTillViewController(ui::NavigationController& navigation, const rt::Ref<ui::ViewController>& controller,
                                  std::uint64_t index, bool animated) {
    std::int64_t current = popQueued(navigation) ? closeIndex(navigation) : kNoQueuedPop;
    auto i = static_cast<std::int64_t>(index);
    if (controller) addWaiter(navigation, kPopClosers, *controller);
    if (i > current) return;  // a pop to a lower level is already queued
    setCloseIndex(navigation, i);
    if (i == 0) {
        // The root closes: the navigation controller itself goes, always animated.
        setPopQueued(navigation, false);
        for (const auto& w : takeWaiters(navigation, kPopClosers)) {
            if (auto c = w.lock()) closeAfter(navigation, *c);
        }
        closeAnimated(navigation, true);
        return;
    }
    if (popQueued(navigation)) return;
    setPopQueued(navigation, true);
    rt::Weak<ui::NavigationController> weak = navigation.selfAs<ui::NavigationController>();
    fnd::Queue::main()->async([weak, animated] {
        if (auto n = weak.lock()) commitPop(*n, animated);
    });
}

void commitPop(ui::NavigationController& navigation, bool animated) {
    if (!popQueued(navigation)) return;
    setPopQueued(navigation, false);
    auto closers = takeWaiters(navigation, kPopClosers);
    const auto& stack = navigation.viewControllers();
    auto index = closeIndex(navigation);
    if (index >= 1 && index <= std::int64_t(stack.size())) {
        navigation.popToViewController(stack[std::size_t(index - 1)], animated);
    }
    navigation.afterTransition([closers] { finishAll(closers); });
}

}  // namespace zid
