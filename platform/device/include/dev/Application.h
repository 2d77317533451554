#pragma once
// Life-cycle notifications of the host application.
//
// There is no application object on this platform: the host posts these names on the
// default notification centre (object nil) when its own life cycle moves, and the
// framework observes them. Nothing in the framework posts them itself.

namespace dev {

/// The application is about to stop being the active one (a call comes in, the user
/// switches away). Short-lived work should be finished or flushed now.
inline constexpr const char* ApplicationWillResignActiveNotification = "ApplicationWillResignActiveNotification";
/// The application went to the background.
inline constexpr const char* ApplicationDidEnterBackgroundNotification = "ApplicationDidEnterBackgroundNotification";
/// The application is about to come back to the foreground.
inline constexpr const char* ApplicationWillEnterForegroundNotification = "ApplicationWillEnterForegroundNotification";

}  // namespace dev
