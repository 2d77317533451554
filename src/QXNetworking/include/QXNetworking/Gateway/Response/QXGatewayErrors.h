#pragma once
// The gateway's own errors: a response envelope that reports failure, lacks its payload
// or is not an envelope at all, and a payload that cannot be mapped.

#include <optional>
#include <string>

#include <fnd/Bundle.h>
#include <rt/Error.h>
#include <rt/Value.h>

namespace zid {

inline constexpr const char* QXGatewayClientErrorDomain = "QXGatewayClientErrorDomain";
/// User-info key of the decoded response (or the text "Response is empty").
inline constexpr const char* QXGatewayClientResponseErrorKey = "QXGatewayClientResponseErrorKey";
/// User-info key of the HTTP status of a response refused for its status.
inline constexpr const char* QXGatewayClientHTTPStatusCodeKey = "HTTPStatusCode";

enum class QXGatewayClientError : long long {
    /// "success" is not true, the payload member is missing, or the response is no object.
    Envelope = 1,
    /// The payload lacks a member its items must have, or is not of the expected form.
    Mapping = 2,
    /// The body is longer than the response serializer accepts; it was not decoded.
    BodyTooLarge = 3,
};

/// An error of the gateway's domain: the user information with its localized description
/// set to the description, or to the default text when there is none.
rt::Ref<rt::Error> gatewayErrorWithCode(long long code, const rt::Dictionary& userInfo,
                                        const std::optional<std::string>& localizedDescription);
bool isGatewayClientError(const rt::Ref<rt::Error>& error);
/// The response entry of a gateway error; nil for other errors.
rt::Value gatewayResponse(const rt::Ref<rt::Error>& error);
/// The "error" member of that response; nil when the response is not an object.
rt::Value gatewayResopnseErrorObject(const rt::Ref<rt::Error>& error);

/// The "QXNetworking" resource bundle (the main bundle when it cannot be found),
/// located once.
rt::Ref<fnd::Bundle> QXNetworkingBundle();
/// The text of "networkKit.gateway.error.unknown": the host's main bundle first, then
/// the networking bundle.
std::string defaultGatewayErrorText();

}  // namespace zid
