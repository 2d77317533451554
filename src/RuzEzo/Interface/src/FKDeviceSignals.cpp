#include "FKDeviceSignals.h"

#include <QXFoundation/Extensions/BundleExtensions.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Notification/FKNotificationObserverSignal.h>
#include <ui/Application.h>
#include <ui/DeviceStatus.h>

namespace zid {

namespace {

FKSignalRef deviceSignal(const char* key, const char* notification, std::function<rt::Value()> read) {
    auto device = ui::DeviceStatus::currentDevice();
    return customSignal(*device, rt::Value(std::string(key)), [&] {
        return FKNotificationObserverSignal::signalWithNotificationName(std::string(notification), nullptr)
            ->map([read](const rt::Value&) { return read(); });
    });
}

const bool hookInstalledAtLoad = [] {
    installInterfaceOrientationHook();
    return true;
}();

}  // namespace

FKSignalRef orientationSignal() {
    return deviceSignal("orientationSignal", ui::DeviceOrientationDidChangeNotification, [] {
        return rt::Value(long(ui::Application::sharedApplication()->deviceOrientation()));
    });
}

FKSignalRef batteryStateSignal() {
    rt::Weak<ui::DeviceStatus> weak = ui::DeviceStatus::currentDevice();
    return deviceSignal("batteryStateSignal", ui::BatteryStateDidChangeNotification, [weak] {
        auto d = weak.lock();
        return d ? rt::Value(long(d->batteryState())) : rt::Value();
    });
}

FKSignalRef batteryLevelSignal() {
    rt::Weak<ui::DeviceStatus> weak = ui::DeviceStatus::currentDevice();
    return deviceSignal("batteryLevelSignal", ui::BatteryLevelDidChangeNotification, [weak] {
        auto d = weak.lock();
        return d ? rt::Value(d->batteryLevel()) : rt::Value();
    });
}

FKSignalRef interfaceOrientationSignal(ui::ViewController& controller) {
    (void)hookInstalledAtLoad;
    rt::Value key(std::string("interfaceOrientationSignal"));
    if (auto existing = customSignalForKey(controller, key)) return existing;
    auto signal = rt::make<FKSignal>();
    signal->setValue(rt::Value(long(controller.interfaceOrientation())));
    setCustomSignal(controller, signal, key);
    return signal;
}

void installInterfaceOrientationHook() {
    static const bool installed = [] {
        auto previous = std::make_shared<ui::ViewController::RotationHook>();
        *previous = ui::ViewController::setRotationHook(
            [previous](ui::ViewController& vc, ui::InterfaceOrientation o, double duration,
                       const std::function<void()>& original) {
                interfaceOrientationSignal(vc)->setValue(rt::Value(long(vc.interfaceOrientation())));
                // The behaviour this hook wraps still runs: an earlier hook, or the callback.
                if (*previous) (*previous)(vc, o, duration, original);
                else original();
            });
        return true;
    }();
    (void)installed;
}

rt::Ref<fnd::Bundle> RuzEzoBundle() { return moduleBundleNamed("RuzEzo"); }

}  // namespace zid
