#pragma once
// The cellular radio link. This platform has none of its own: the current technology is
// nothing unless a host that bridges a modem reports one.

#include <optional>
#include <string>

#include <rt/Object.h>

namespace dev {

// Names of the radio access technologies.
inline constexpr const char* RadioAccessTechnologyGPRS = "RadioAccessTechnologyGPRS";
inline constexpr const char* RadioAccessTechnologyEdge = "RadioAccessTechnologyEdge";
inline constexpr const char* RadioAccessTechnologyWCDMA = "RadioAccessTechnologyWCDMA";
inline constexpr const char* RadioAccessTechnologyHSDPA = "RadioAccessTechnologyHSDPA";
inline constexpr const char* RadioAccessTechnologyHSUPA = "RadioAccessTechnologyHSUPA";
inline constexpr const char* RadioAccessTechnologyCDMA1x = "RadioAccessTechnologyCDMA1x";
inline constexpr const char* RadioAccessTechnologyCDMAEVDORev0 = "RadioAccessTechnologyCDMAEVDORev0";
inline constexpr const char* RadioAccessTechnologyCDMAEVDORevA = "RadioAccessTechnologyCDMAEVDORevA";
inline constexpr const char* RadioAccessTechnologyCDMAEVDORevB = "RadioAccessTechnologyCDMAEVDORevB";
inline constexpr const char* RadioAccessTechnologyeHRPD = "RadioAccessTechnologyeHRPD";
inline constexpr const char* RadioAccessTechnologyLTE = "RadioAccessTechnologyLTE";

/// Posted on the default notification centre (object nil), on the reporting thread,
/// when the technology changes.
inline constexpr const char* RadioAccessTechnologyDidChangeNotification = "RadioAccessTechnologyDidChangeNotification";

class TelephonyNetworkInfo : public rt::Object {
    RT_CLASS(TelephonyNetworkInfo, rt::Object)
public:
    /// One of the names above, or nothing when there is no cellular radio link.
    std::optional<std::string> currentRadioAccessTechnology() const;

    /// For a host that bridges a modem (and for tests): reports the link's technology to
    /// every info object, posting the change notification when it differs.
    static void reportRadioAccessTechnology(std::optional<std::string> technology);
};

}  // namespace dev
