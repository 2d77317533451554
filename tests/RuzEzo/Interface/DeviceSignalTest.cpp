// Device and interface-orientation signals: every notification is sent, equal or not;
// the rotation hook feeds a controller's signal and still runs the controller's own
// rotation callback; the bundle falls back to the main bundle.

#include <vector>

#include <gtest/gtest.h>

#include "FKDeviceSignals.h"
#include <ui/Application.h>
#include <ui/DeviceStatus.h>

using namespace zid;
using namespace ui;

namespace {

TEST(DeviceSignalTest, DeviceSignalsAreSharedAndSendEveryNotification) {
    auto level = batteryLevelSignal();
    EXPECT_EQ(batteryLevelSignal(), level);
    EXPECT_FALSE(level->valueSet());  // nothing before the first notification
    std::vector<double> levels;
    level->addValueHandler([&](const rt::Value& v) { levels.push_back(v.doubleValue()); });
    DeviceStatus::currentDevice()->setBatteryLevel(0.5f);
    DeviceStatus::currentDevice()->setBatteryLevel(0.5f);
    EXPECT_EQ(levels, (std::vector<double>{0.5, 0.5}));

    auto state = batteryStateSignal();
    long last = -1;
    state->addValueHandler([&](const rt::Value& v) { last = v.intValue(); });
    DeviceStatus::currentDevice()->setBatteryState(BatteryState::Charging);
    EXPECT_EQ(last, long(BatteryState::Charging));

    auto orientation = orientationSignal();
    long o = -1;
    orientation->addValueHandler([&](const rt::Value& v) { o = v.intValue(); });
    Application::sharedApplication()->setDeviceOrientation(DeviceOrientation::LandscapeLeft);
    EXPECT_EQ(o, long(DeviceOrientation::LandscapeLeft));
    Application::sharedApplication()->reset();
    DeviceStatus::currentDevice()->reset();
}

class Rotating : public ViewController {
    RT_CLASS(Rotating, ViewController)
public:
    int callbacks = 0;
    void willAnimateRotationToInterfaceOrientation(InterfaceOrientation, double) override { ++callbacks; }
};

TEST(DeviceSignalTest, RotationFeedsTheSignalAndStillRunsTheControllersCallback) {
    auto vc = rt::make<Rotating>();
    auto s = interfaceOrientationSignal(*vc);
    std::vector<long> seen;
    s->addValueHandler([&](const rt::Value& v) { seen.push_back(v.intValue()); });
    EXPECT_EQ(seen, (std::vector<long>{long(InterfaceOrientation::Portrait)}));
    vc->rotateToInterfaceOrientation(InterfaceOrientation::LandscapeRight, 0);
    vc->rotateToInterfaceOrientation(InterfaceOrientation::LandscapeRight, 0);  // unchanged: nothing sent
    EXPECT_EQ(seen, (std::vector<long>{long(InterfaceOrientation::Portrait), long(InterfaceOrientation::LandscapeRight)}));
    EXPECT_EQ(vc->callbacks, 2);  // the replaced behaviour runs every time
}

TEST(DeviceSignalTest, MissingBundleFallsBackToTheMainBundle) {
    auto b = RuzEzoBundle();
    ASSERT_TRUE(b);
    EXPECT_EQ(RuzEzoBundle(), b);
}

}  // namespace
