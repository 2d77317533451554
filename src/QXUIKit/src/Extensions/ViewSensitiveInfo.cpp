#include "Extensions/ViewSensitiveInfo.h"

#include <ui/Application.h>

#include "RuzEzo/Signal/Dealloc/FKDeallocSignal.h"
#include "RuzEzo/Signal/Notification/FKNotificationObserverSignal.h"
#include "RuzEzo/Trigger/OnSignalHelper.h"

namespace zid {

namespace {
constexpr const char* kSensitiveKey = "QXSensitiveInfo";
constexpr const char* kBackgroundKey = "QXBackgroundNotificationHandler";
constexpr const char* kForegroundKey = "QXForegroundNotificationHandler";

void disposeStored(ui::View& view, const char* key) {
    rt::Value v = view.associatedObject(key);
    if (auto helper = v.isObject() ? std::dynamic_pointer_cast<OnSignalHelper>(v.object()) : nullptr) helper->dispose();
    view.setAssociatedObject(rt::Value(), key);
}
}  // namespace

bool sensitiveInfo(const ui::View& view) {
    rt::Value v = view.associatedObject(kSensitiveKey);
    return v.isNumber() && v.boolValue();
}

void setSensitiveInfo(const rt::Ref<ui::View>& view, bool flag) {
    if (flag == sensitiveInfo(*view)) return;
    view->setAssociatedObject(rt::Value(flag), kSensitiveKey);
    if (!flag) {
        disposeStored(*view, kBackgroundKey);
        disposeStored(*view, kForegroundKey);
        return;
    }
    std::weak_ptr<ui::View> weak = view;
    auto background = onSignal(signalWithNotificationName(std::string(ui::ApplicationDidEnterBackgroundNotification)),
                               deallocSignal(*view), [weak](const rt::Value&) {
                                   if (auto v = weak.lock()) addEffectView(*v);
                               });
    auto foreground = onSignal(signalWithNotificationName(std::string(ui::ApplicationWillEnterForegroundNotification)),
                               deallocSignal(*view), [weak](const rt::Value&) {
                                   if (auto v = weak.lock()) removeEffectView(*v);
                               });
    view->setAssociatedObject(rt::Value(background), kBackgroundKey);
    view->setAssociatedObject(rt::Value(foreground), kForegroundKey);
}

void addEffectView(ui::View&) {}
void removeEffectView(ui::View&) {}

}  // namespace zid
