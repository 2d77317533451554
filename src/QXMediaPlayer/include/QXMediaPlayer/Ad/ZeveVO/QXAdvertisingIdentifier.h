#pragma once
// The advertising identifier ad requests send. Linux has no system-wide one, so the host
// sets it (with whether the user allows ad tracking); with none set, or with tracking
// not allowed, requests send an empty identifier.
#include <optional>
#include <string>

namespace zid {

class QXAdvertisingIdentifier {
public:
    /// identifier: a UUID text, sent upper-cased; nothing clears it.
    static void setAdvertisingIdentifier(std::optional<std::string> identifier, bool trackingAllowed);
    /// The identifier to send: upper-case when one is set and tracking is allowed, else
    /// empty.
    static std::string identifierForRequests();
};

}  // namespace zid
