#pragma once
// The values a host hands the facade and reads from it: the configured key, the names
// of the exceptions it raises, its error domain and codes, its states and styles.

#include <optional>
#include <string>

namespace zid {

/// The configured API key, read-only: none until configureWithApiKey. Every facade (and
/// prebuffering controller) takes the key current when it is made.
extern const std::optional<std::string>& QXQuorvexPlayerApiKey;
/// Names of the exceptions the facade raises for a caller's programming errors.
extern const char* const QXQuorvexPlayerConfigurationError;
extern const char* const QXQuorvexPlayerParameterError;
/// A call on another thread than the main run loop's.
extern const char* const QXQuorvexPlayerThreadError;
/// The domain of the facade's errors (codes in QXQuorvexPlayerErrorCode).
extern const char* const QXQuorvexPlayerErrorDomain;
/// The ad request's placement parameter: "placement", "preroll", "midroll".
extern const char* const QXQuorvexPlayerAdPlacementKey;
extern const char* const QXQuorvexPlayerAdPlacementValuePreroll;
extern const char* const QXQuorvexPlayerAdPlacementValueMidroll;

/// The codes of QXQuorvexPlayerErrorDomain: compare with `QXQuorvexPlayer::errorCode()`.
enum class QXQuorvexPlayerErrorCode : long {
    Unknown = 0,
    LoadingFailed = 1,
    Stalled = 2,
    Offline = 3,
    Unsupported = 4,
    Deleted = 5,
    Nonexistent = 6,
    StreamAccessRefused = 7,
    ApiKeyRejected = 8,
    AgeRefused = 9,
    AgeConfirmationCancelled = 10,
};

/// The folded session state the facade publishes (a finished recording reads Stopped).
enum class QXPlayerState : unsigned long {
    Stopped = 0,
    Loading = 1,
    Waiting = 2,
    Ready = 3,
    Playing = 4,
    Paused = 5,
    Failed = 6,
};

/// Which control the player view shows.
enum class QXPlayerControlStyle : unsigned long { None = 0, CustomToolbar = 1, Default = 2 };

/// What a stream URL given to playURL carries.
enum class QXStreamKind { Recorded, Live };

}  // namespace zid
