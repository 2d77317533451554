#include <QXFoundation/Device/DeviceConnectivity.h>

#include <mutex>

#include <QXFoundation/Log/QXLogger.h>
#include <QXFoundation/Threading/Dispatcher.h>
#include <dev/TelephonyNetworkInfo.h>
#include <fnd/NotificationCenter.h>
#include <fnd/RunLoop.h>

namespace zid {
namespace {

constexpr const char* kReachabilityKey = "UIDeviceReachability";
constexpr const char* kNetworkStatusKey = "kUIDeviceNetworkStatus";
constexpr const char* kRadioAccessTechnologyKey = "kUIDeviceRadioAccessTechnology";

std::mutex associationMutex;
std::once_flag statusWatchOnce;
std::once_flag radioWatchOnce;

}  // namespace

rt::Ref<net::Reachability> reachability(const rt::Ref<dev::Device>& device) {
    rt::Ref<net::Reachability> made;
    rt::Ref<rt::Error> error;
    bool started = false;
    {
        std::lock_guard lock(associationMutex);
        if (auto existing = device->associatedObject(kReachabilityKey).as<net::Reachability>()) return existing;
        made = rt::make<net::Reachability>();
        rt::Weak<net::Reachability> weak = made;
        made->setChangeHandler([weak](net::Reachability::Status) {
            if (auto self = weak.lock())
                fnd::NotificationCenter::defaultCenter()->post(kReachabilityChangedNotification, self);
        });
        device->setAssociatedObject(rt::Value(made), kReachabilityKey);
        // Watched on the main loop: the first caller may be a worker thread whose loop
        // never runs, and the change notification is for the main thread anyway.
        started = made->start(&error, fnd::RunLoop::main());
    }
    // Logged once the lock is released: log handlers may ask for the network status.
    if (!started) {
        QXLog("ZIDoredider/QXFoundation", device->objectClass(), 2, "cannot watch the network: %@",
              error ? error->localizedDescription() : std::string("unknown error"));
    }
    return made;
}

void setNetworkStatus(const rt::Ref<dev::Device>& device, int status) {
    device->setAssociatedObject(rt::Value(status), kNetworkStatusKey);
}

void reachabilityChanged(const rt::Ref<dev::Device>& device) {
    setNetworkStatus(device, static_cast<int>(reachability(device)->status()));
}

int networkStatus(const rt::Ref<dev::Device>& device) {
    std::call_once(statusWatchOnce, [&] {
        setNetworkStatus(device, static_cast<int>(reachability(device)->status()));
        fnd::NotificationCenter::defaultCenter()->addObserver(
            std::static_pointer_cast<rt::Object>(device),
            [](rt::Object& target, const rt::Ref<fnd::Notification>&) {
                if (auto d = target.selfAs<dev::Device>()) reachabilityChanged(d);
            },
            std::string(kReachabilityChangedNotification), nullptr);
    });
    return device->associatedObject(kNetworkStatusKey).intValue();
}

void setRadioAccessTechnology(const rt::Ref<dev::Device>& device, const std::optional<std::string>& technology) {
    device->setAssociatedObject(technology ? rt::Value(*technology) : rt::Value(), kRadioAccessTechnologyKey);
}

std::optional<std::string> radioAccessTechnology(const rt::Ref<dev::Device>& device) {
    std::call_once(radioWatchOnce, [&] {
        auto info = rt::make<dev::TelephonyNetworkInfo>();
        setRadioAccessTechnology(device, info->currentRadioAccessTechnology());
        rt::Weak<dev::Device> weakDevice = device;
        // The observer lives as long as the process, and with it the info object.
        fnd::NotificationCenter::defaultCenter()->addObserver(
            std::string(dev::RadioAccessTechnologyDidChangeNotification), nullptr, nullptr,
            [info, weakDevice](const rt::Ref<fnd::Notification>&) {
                rt::make<Dispatcher>(fnd::Queue::main(), false)->setBlock([info, weakDevice] {
                    if (auto d = weakDevice.lock()) setRadioAccessTechnology(d, info->currentRadioAccessTechnology());
                });
            });
    });
    rt::Value stored = device->associatedObject(kRadioAccessTechnologyKey);
    if (!stored.isString()) return std::nullopt;
    return stored.string();
}

}  // namespace zid
