#include "Core/ExternalScreen/QXExternalScreenManager.h"

#include <ui/Color.h>
#include <ui/Screen.h>

#include <mutex>

namespace zid {

rt::Ref<QXExternalScreenManager> QXExternalScreenManager::sharedManager() {
    static std::once_flag once;
    static rt::Ref<QXExternalScreenManager> manager;
    std::call_once(once, [] { manager = rt::make<QXExternalScreenManager>(); });
    return manager;
}

QXExternalScreenManager::QXExternalScreenManager() : placeholder_(rt::make<ui::View>(ui::Rect())) {
    placeholder_->setBackgroundColor(ui::Color::blackColor());
}

QXExternalScreenManager::~QXExternalScreenManager() {
    for (auto& t : tokens_) fnd::NotificationCenter::defaultCenter()->removeObserver(t);
}

void QXExternalScreenManager::didInitialize() {
    rt::Weak<QXExternalScreenManager> weak = selfAs<QXExternalScreenManager>();
    auto center = fnd::NotificationCenter::defaultCenter();
    tokens_.push_back(center->addObserver(ui::ScreenDidConnectNotification, nullptr, nullptr,
                                          [weak](const rt::Ref<fnd::Notification>&) {
                                              if (auto self = weak.lock()) self->screenDidConnect();
                                          }));
    tokens_.push_back(center->addObserver(ui::ScreenDidDisconnectNotification, nullptr, nullptr,
                                          [weak](const rt::Ref<fnd::Notification>&) {
                                              if (auto self = weak.lock()) self->screenDidDisconnect();
                                          }));
    screenDidConnect();
}

void QXExternalScreenManager::screenDidConnect() {
    auto screens = ui::Screen::screens();
    if (screens.size() < 2) return;
    auto screen = screens.back();
    auto window = rt::make<ui::Window>(screen->bounds());
    window->setScreen(screen);
    window->setHidden(false);
    externalWindow_ = window;
}

void QXExternalScreenManager::screenDidDisconnect() {
    if (ui::Screen::screens().size() != 1) return;
    // A shown view comes back where it stood rather than vanishing with the window.
    if (sourceView_ && placeholder_->superview()) takeBack();
    sourceView_ = nullptr;
    externalWindow_ = nullptr;
}

void QXExternalScreenManager::takeBack() {
    auto view = sourceView_;
    auto holder = placeholder_->superview();
    if (!view || !holder) return;
    view->setFrame(placeholder_->frame());
    holder->insertSubviewAboveSubview(view, placeholder_);
    placeholder_->removeFromSuperview();
}

void QXExternalScreenManager::showView(const rt::Ref<ui::View>& view) {
    if (view) {
        sourceView_ = view;
        if (ui::Screen::screens().size() < 2 || !externalWindow_) return;
        if (auto superview = view->superview()) {
            placeholder_->setFrame(view->frame());
            placeholder_->setAutoresizingMask(view->autoresizingMask());
            superview->insertSubviewBelowSubview(placeholder_, view);
        }
        externalWindow_->addSubview(view);
        view->setFrame(externalWindow_->frame());
        return;
    }
    if (ui::Screen::screens().size() > 1) takeBack();
    sourceView_ = nullptr;
}

}  // namespace zid
