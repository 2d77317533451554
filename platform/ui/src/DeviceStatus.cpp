#include <ui/DeviceStatus.h>

#include <fnd/NotificationCenter.h>

namespace ui {

rt::Ref<DeviceStatus> DeviceStatus::currentDevice() {
    static const rt::Ref<DeviceStatus> device = rt::make<DeviceStatus>();
    return device;
}

void DeviceStatus::setBatteryState(BatteryState state) {
    state_ = state;
    fnd::NotificationCenter::defaultCenter()->post(BatteryStateDidChangeNotification, self());
}

void DeviceStatus::setBatteryLevel(float level) {
    level_ = level;
    fnd::NotificationCenter::defaultCenter()->post(BatteryLevelDidChangeNotification, self());
}

void DeviceStatus::reset() {
    state_ = BatteryState::Unknown;
    level_ = -1;
}

}  // namespace ui
