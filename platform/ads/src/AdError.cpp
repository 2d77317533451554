#include <ima/AdError.h>

namespace ima {

AdError::AdError(AdErrorType type, long long code, std::optional<std::string> message)
    : type_(type), code_(code), message_(std::move(message)) {}

std::string AdError::description() const {
    const char* kind = type_ == AdErrorType::Loading   ? "loading"
                       : type_ == AdErrorType::Playing ? "playing"
                                                       : "unknown";
    return std::string("<AdError ") + kind + " " + std::to_string(code_) + ": " + message_.value_or("(no message)") +
           ">";
}

}  // namespace ima
