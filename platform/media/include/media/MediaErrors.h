#pragma once
// The media layer's error domain. Every failure an engine reports becomes an rt::Error
// of this domain with one of these codes and a message a person can act on (for engine
// failures: the URL that failed to load, cut at 200 characters, and the engine's own
// message, never the name of an element inside the engine); the engine's raw error,
// where there is one, travels as the localized failure reason.

#include <string>

#include <rt/Error.h>

namespace media {

inline constexpr const char* MediaErrorDomain = "MediaErrorDomain";

enum class MediaErrorCode : long long {
    Unknown = -11800,
    /// The URL is not http or https (files and engine-internal schemes are never played).
    UnsupportedURL = -11801,
    /// The server answered 404 or the resource does not exist.
    ResourceNotFound = -11802,
    /// The server refused access (401, 403).
    AccessDenied = -11803,
    /// The server could not be reached (refused connection, unknown host, TLS failure).
    CannotConnect = -11804,
    /// Other HTTP failures (5xx, a broken transfer).
    ServerFailed = -11805,
    /// The data could not be demultiplexed or decoded.
    DecodeFailed = -11806,
    /// The media has no stream this system can play.
    NotPlayable = -11807,
    /// Loading was cancelled.
    Cancelled = -11808,
    /// The engine itself failed (missing plugin, pipeline error).
    EngineFailed = -11809,
    /// The server was reached but no secure connection was made: its certificate was
    /// refused (the description says why) or the TLS handshake failed. It travels as the
    /// underlying error of a CannotConnect error, which a server that cannot be reached
    /// at all does not carry.
    SecureConnectionFailed = -11810,
};

rt::Ref<rt::Error> makeMediaError(MediaErrorCode code, const std::string& description, const std::string& reason = {});

}  // namespace media
