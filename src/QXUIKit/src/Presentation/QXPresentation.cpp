#include "QXUIKit/Presentation/QXPresentation.h"

#include <mutex>

#include <QXFoundation/Diagnostics/Diagnostics.h>
#include <fnd/Queue.h>
#include <ui/AlertController.h>
#include <ui/BarItem.h>

#include "QXUIKit/SideMenu/QXSideMenuController.h"
#include "PresentationInternal.h"

namespace zid {

namespace {

constexpr const char* kStubDelegate = "stub delegate";

/// Answers the wrapping navigation controller's orientations with those of the
/// controller it wraps; kept alive on the navigation controller, which holds its
/// delegate weakly.
class QXModalNavigationDelegate : public rt::Object, public ui::NavigationControllerDelegate {
    RT_CLASS(QXModalNavigationDelegate, rt::Object)
public:
    explicit QXModalNavigationDelegate(const rt::Ref<ui::ViewController>& wrapped) : wrapped_(wrapped) {}
    std::optional<unsigned> navigationControllerSupportedInterfaceOrientations(ui::NavigationController&) override {
        if (auto c = wrapped_.lock()) return c->supportedInterfaceOrientations();
        return std::nullopt;
    }

private:
    rt::Weak<ui::ViewController> wrapped_;
};

}  // namespace

void installQXPresentation() {
    static std::once_flag once;
    std::call_once(once, [] {
        ui::ViewController::setPresentationHook(
            [](ui::ViewController& presenter, const rt::Ref<ui::ViewController>& controller, bool animated,
               ui::ViewController::Completion completion) {
                qxPresentViewController(presenter, controller, animated, std::move(completion));
            });
    });
}

// ---- options -----------------------------------------------------------------------------------

std::uint64_t presentationStyle(const ui::ViewController& controller) {
    auto v = controller.associatedObject(kQXPresentationStyle);
    return v.isNumber() ? std::uint64_t(v.longLongValue()) : 0;
}

void setPresentationStyle(ui::ViewController& controller, std::uint64_t style) {
    installQXPresentation();  // a style means nothing without the dispatcher
    controller.setAssociatedObject(rt::Value(static_cast<long long>(style)), kQXPresentationStyle);
}

bool modalPresentationWrapInNavigationController(const ui::ViewController& controller) {
    auto v = controller.associatedObject(kQXModalPresentationWrapImNavigationController);
    if (v.isNumber()) return v.boolValue();
    return dynamic_cast<const ui::NavigationController*>(&controller) == nullptr;
}

void setModalPresentationWrapInNavigationController(ui::ViewController& controller, bool wrap) {
    controller.setAssociatedObject(rt::Value(wrap), kQXModalPresentationWrapImNavigationController);
}

bool modalPresentationAddDoneButton(const ui::ViewController& controller) {
    auto v = controller.associatedObject(kQXModalPresentationAddDoneButton);
    return v.isNumber() ? v.boolValue() : true;
}

void setModalPresentationAddDoneButton(ui::ViewController& controller, bool add) {
    controller.setAssociatedObject(rt::Value(add), kQXModalPresentationAddDoneButton);
}

std::int64_t doneButtonType(const ui::ViewController& controller) {
    auto v = controller.associatedObject(kQXDoneButtonType);
    return v.isNumber() ? v.longLongValue() : static_cast<std::int64_t>(ui::BarButtonSystemItem::Cancel);
}

void setDoneButtonType(ui::ViewController& controller, std::int64_t type) {
    controller.setAssociatedObject(rt::Value(static_cast<long long>(type)), kQXDoneButtonType);
}

// ---- presenting --------------------------------------------------------------------------------

void logUnhandledPresentation(const ui::ViewController& presenter, const ui::ViewController& controller) {
    Diagnostics::recordLog("Presentation of %s (style %s) by %s was handled by nobody; nothing is presented",
                           controller.className(), std::to_string(presentationStyle(controller)),
                           presenter.className());
}

bool dismissFirst(ui::ViewController& presenter, const rt::Ref<ui::ViewController>& controller, bool animated,
                  const ui::ViewController::Completion& completion) {
    auto shown = presenter.presentedViewController();
    if (!shown || shown->isBeingDismissed() || presentationStyle(*controller) == 1) return false;
    auto self = presenter.selfAs<ui::ViewController>();
    presenter.dismissViewControllerAnimated(animated, [self, controller, animated, completion] {
        self->presentViewController(controller, animated, completion);
    });
    return true;
}

void qxPresentViewController(ui::ViewController& presenter, const rt::Ref<ui::ViewController>& controller,
                             bool animated, ui::ViewController::Completion completion) {
    if (!controller) return;
    if (dismissFirst(presenter, controller, animated, completion)) return;
    switch (presentationStyle(*controller)) {
    case 0:
        presenter.platformPresentViewController(controller, animated, std::move(completion));
        return;
    case 1:
        qxPresentModalViewController(presenter, controller, animated, std::move(completion));
        return;
    case 2: {
        auto navigation = presenter.navigationController();
        if (!navigation) return;
        // The push always animates; the caller hears of it once the push has finished.
        navigation->pushViewController(controller, true);
        if (completion) navigation->afterTransition(std::move(completion));
        return;
    }
    default:
        if (auto parent = presenter.parentViewController()) {
            parent->presentViewController(controller, animated, std::move(completion));
        } else if (auto presenting = presenter.presentingViewController()) {
            presenting->presentViewController(controller, animated, std::move(completion));
        } else {
            logUnhandledPresentation(presenter, *controller);
        }
    }
}

void qxPresentModalViewController(ui::ViewController& presenter, const rt::Ref<ui::ViewController>& controller,
                                  bool animated, ui::ViewController::Completion completion) {
    if (!controller) return;
    // A side menu that lacks its menu or its content cannot hide; the modal is
    // presented all the same.
    if (auto side = sideMenuController(presenter); side && side->menuViewController() && side->contentViewController()) {
        side->hideSideMenu();
    }
    rt::Ref<ui::ViewController> shown = controller;
    if (modalPresentationWrapInNavigationController(*controller)) {
        if (modalPresentationAddDoneButton(*controller)) {
            auto item = rt::make<ui::BarButtonItem>(static_cast<ui::BarButtonSystemItem>(doneButtonType(*controller)));
            item->setTarget(controller);
            rt::Weak<ui::ViewController> weak = controller;
            item->setAction("qxPresentationOnCancel", [weak](const rt::Ref<ui::BarButtonItem>&) {
                if (auto c = weak.lock()) qxPresentationOnCancel(*c);
            });
            controller->navigationItem()->setLeftBarButtonItem(item);
        }
        auto navigation = rt::make<ui::NavigationController>(controller);
        auto delegate = rt::make<QXModalNavigationDelegate>(controller);
        navigation->setDelegate(delegate.get());
        navigation->setAssociatedObject(rt::Value(delegate), kStubDelegate);
        navigation->setModalPresentationStyle(controller->modalPresentationStyle());
        shown = navigation;
    }
    // From the top of the presentation chain, stopping below an alert.
    auto top = presenter.selfAs<ui::ViewController>();
    while (auto next = top->presentedViewController()) {
        if (rt::cast<ui::AlertController>(next)) break;
        top = next;
    }
    fnd::Queue::main()->async([top, shown, animated, completion] {
        // The alert goes out while the modal comes in.
        if (top->presentedViewController()) top->dismissViewControllerAnimated(true);
        top->platformPresentViewController(shown, animated, completion);
    });
}

void qxPresentationOnCancel(ui::ViewController& controller) { closeAnimated(controller, true); }

}  // namespace zid
