#pragma once
// Errors that carry several underlying errors, and tests for URL loading errors.

#include <string>
#include <vector>

#include <rt/Error.h>
#include <rt/Value.h>

namespace zid {

/// The user-info key under which a multi-error keeps the array of its underlying errors.
inline constexpr const char* QXUnderlyingErrorsKey = "QXUnderlyingErrorsKey";

/// An error of the domain and code whose user info holds the errors (in order) under
/// QXUnderlyingErrorsKey and, as its localized description, their localized
/// descriptions one per line. Raises InvalidArgumentException for an empty list or a
/// nil element: a multi-error explains at least one failure.
rt::Ref<rt::Error> errorWithDomain(std::string domain, long long code, const std::vector<rt::Ref<rt::Error>>& errors);

/// The array under QXUnderlyingErrorsKey; nil for other errors.
rt::Value underlyingErrors(const rt::Error& error);

/// The error comes from URL loading (the URL domain, or the network layer's domain).
bool isURLError(const rt::Error& error);
/// URL loading timed out (-1001, or the network layer's time-out).
bool isURLTimeoutError(const rt::Error& error);
/// The connection was lost (-1005) or there is none (-1009); for the network layer, it
/// could not connect or find the host.
bool isURLConnectionError(const rt::Error& error);

}  // namespace zid
