#pragma once
// Error domains and codes of the network layer.

#include <string>

#include <rt/Error.h>

namespace net {

/// Failures of system calls, coded by their errno value.
inline constexpr const char* kPOSIXErrorDomain = "POSIXErrorDomain";
/// Failures of name resolution, connections, transfers and sockets.
inline constexpr const char* kNetworkErrorDomain = "NetworkErrorDomain";
/// User-info key of a host-resolution failure: the getaddrinfo error number (EAI_*).
inline constexpr const char* kGetAddrInfoFailureKey = "GetAddrInfoFailureKey";
/// User-info key of a transfer failure: the transfer library's own error number.
inline constexpr const char* kTransferCodeKey = "TransferCode";
/// User-info key of the URL a failed request went to.
inline constexpr const char* kFailingURLKey = "FailingURL";

enum class NetworkError : long long {
    HostNotFound = 1,         // resolved, but no usable address
    HostUnknown = 2,          // resolution failed (see kGetAddrInfoFailureKey)
    BadURL = 100,             // not an http or https URL, or malformed
    CannotFindHost = 101,     // the request's host did not resolve
    CannotConnect = 102,      // refused or unreachable
    TimedOut = 103,           // the request's time-out passed
    SecureConnectionFailed = 104,
    ServerCertificateUntrusted = 105,
    Cancelled = 106,
    ResponseTooLarge = 107,   // the body passed the client's bound
    TransferFailed = 108,     // any other transfer failure
    ServerCertificateExpired = 109,       // outside its validity period (expired or not yet valid)
    ServerCertificateHostMismatch = 110,  // issued for another host name or address
    InsecureRedirect = 111,   // an https request redirected to plain http
    NotPermitted = 200,       // the system refused an ICMP socket of either kind
};

/// Why a server certificate was refused, whichever client refused it.
enum class CertificateProblem {
    None,                // not a certificate refusal
    UntrustedAuthority,  // no trusted authority vouches for it
    HostMismatch,        // issued for another host name or address
    OutsideValidity,     // expired or not yet valid
    Other,               // refused for another reason
};
/// The cause of a certificate refusal by the HTTP client or the WebSocket; None for any
/// other error.
CertificateProblem certificateProblem(const rt::Ref<rt::Error>& error);

/// An error of kPOSIXErrorDomain for an errno value, described by strerror, with the
/// failing operation in front ("socket: Operation not permitted").
rt::Ref<rt::Error> posixError(int errnum, const std::string& operation = {});
/// An error of kNetworkErrorDomain.
rt::Ref<rt::Error> networkError(NetworkError code, std::string description, rt::Dictionary extra = {});

}  // namespace net
