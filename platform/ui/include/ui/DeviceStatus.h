#pragma once
// The device's battery as the host reports it: state and level, each change posted as
// a notification (object: the device status). Orientation lives on the application.

#include <rt/Object.h>

namespace ui {

inline constexpr const char* BatteryStateDidChangeNotification = "BatteryStateDidChangeNotification";
inline constexpr const char* BatteryLevelDidChangeNotification = "BatteryLevelDidChangeNotification";

enum class BatteryState { Unknown = 0, Unplugged = 1, Charging = 2, Full = 3 };

class DeviceStatus : public rt::Object {
    RT_CLASS(DeviceStatus, rt::Object)
public:
    static rt::Ref<DeviceStatus> currentDevice();

    BatteryState batteryState() const { return state_; }
    /// Level 0..1, or -1 when unknown.
    float batteryLevel() const { return level_; }
    /// The host reports; each call posts its notification, changed or not.
    void setBatteryState(BatteryState state);
    void setBatteryLevel(float level);
    /// Back to unknown (test isolation).
    void reset();

private:
    BatteryState state_ = BatteryState::Unknown;
    float level_ = -1;
};

}  // namespace ui
