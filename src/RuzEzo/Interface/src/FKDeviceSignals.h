#pragma once
// Device orientation, battery state and level, and a view controller's interface
// orientation as signals, and the signal library's resource bundle.
//
// The device signals send every notification (changed value or not) and have no value
// before the first. The interface-orientation signal starts with the controller's
// orientation and drops repeats; every controller's rotation feeds it through the
// rotation hook, which then runs the callback it wraps.

#include <RuzEzo/Signal/FKSignal.h>
#include <fnd/Bundle.h>
#include <ui/ViewController.h>

namespace zid {

/// The application's device orientation as an integer.
FKSignalRef orientationSignal();
/// The battery state as an integer.
FKSignalRef batteryStateSignal();
/// The battery level as a float.
FKSignalRef batteryLevelSignal();
FKSignalRef interfaceOrientationSignal(ui::ViewController& controller);
/// Installs the rotation hook (done when the library loads; later calls do nothing).
void installInterfaceOrientationHook();

/// The library's resource bundle "RuzEzo", located once; the main bundle when absent.
rt::Ref<fnd::Bundle> RuzEzoBundle();

}  // namespace zid
