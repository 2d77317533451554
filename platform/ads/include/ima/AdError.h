#pragma once
// An ad error as the ads layer reports it: whether it happened while loading or while
// playing, a code and, when the backend has one, a message.
#include <rt/Object.h>

#include <optional>
#include <string>

namespace ima {

enum class AdErrorType : int { Unknown = 0, Loading = 1, Playing = 2 };

/// Codes the layer itself gives; a backend may use others.
enum AdErrorCode : long long {
    kAdErrorUnknown = 0,
    /// No backend is installed in this process.
    kAdErrorNotAvailable = 1000,
    /// The ad server could not be reached or answered with a failure.
    kAdErrorServerFailed = 1001,
    /// The answer held no ad, or none this layer can play.
    kAdErrorNoAd = 1002,
    /// The ad server did not answer in time.
    kAdErrorTimedOut = 1003,
    /// The ad's media failed while it played.
    kAdErrorMediaFailed = 1004,
};

class AdError : public rt::Object {
    RT_CLASS(AdError, rt::Object)
public:
    AdError(AdErrorType type, long long code, std::optional<std::string> message);

    AdErrorType type() const { return type_; }
    long long code() const { return code_; }
    /// Absent when the backend gave no message.
    const std::optional<std::string>& message() const { return message_; }

    std::string description() const override;

private:
    AdErrorType type_;
    long long code_;
    std::optional<std::string> message_;
};

}  // namespace ima
