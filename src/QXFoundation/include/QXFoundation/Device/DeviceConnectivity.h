#pragma once
// The device's network status and cellular radio technology, read once and then kept
// current by change notifications.

#include <optional>
#include <string>

#include <dev/Device.h>
#include <net/Reachability.h>

namespace zid {

/// Posted on the default notification centre, with the reachability object as sender,
/// when the status of a device's reachability changes.
inline constexpr const char* kReachabilityChangedNotification = "kReachabilityChangedNotification";

/// The reachability object of the device (kept under "UIDeviceReachability"), made and
/// started on first use.
rt::Ref<net::Reachability> reachability(const rt::Ref<dev::Device>& device);

/// 0 not reachable, 1 through a cellular link, 2 through another link. The first call in
/// the process reads the status and starts following its changes.
int networkStatus(const rt::Ref<dev::Device>& device);
void setNetworkStatus(const rt::Ref<dev::Device>& device, int status);
/// The change call-back: reads the reachability's status and stores it.
void reachabilityChanged(const rt::Ref<dev::Device>& device);

/// The current radio access technology name, or nothing without a cellular link. The
/// first call in the process reads it and starts following its changes, which are
/// stored on the main queue in the order they come.
std::optional<std::string> radioAccessTechnology(const rt::Ref<dev::Device>& device);
void setRadioAccessTechnology(const rt::Ref<dev::Device>& device, const std::optional<std::string>& technology);

}  // namespace zid
