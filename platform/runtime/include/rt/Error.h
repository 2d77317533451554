#pragma once
// rt::Error: a run-time failure with a domain, an integer code, user information and a
// description a person can act on. Caller mistakes are rt::Exception instead.

#include <string>

#include <rt/Object.h>
#include <rt/Value.h>

namespace rt {

class Error : public Object {
    RT_CLASS(Error, Object)
public:
    /// User-info keys.
    static constexpr const char* LocalizedDescriptionKey = "LocalizedDescription";
    static constexpr const char* LocalizedFailureReasonKey = "LocalizedFailureReason";
    static constexpr const char* UnderlyingErrorKey = "UnderlyingError";

    Error(std::string domain, long long code, Dictionary userInfo = {});
    static Ref<Error> make(std::string domain, long long code, Dictionary userInfo = {});
    /// An error whose localized description is the given text.
    static Ref<Error> withDescription(std::string domain, long long code, std::string description);

    const std::string& domain() const { return domain_; }
    long long code() const { return code_; }
    const Dictionary& userInfo() const { return userInfo_; }
    /// The LocalizedDescription entry, or "The operation couldn't be completed. (<domain> error <code>.)".
    std::string localizedDescription() const;
    /// The error under the UnderlyingError key, or nullptr.
    Ref<Error> underlyingError() const;

    bool isEqual(const Object& other) const override;
    std::size_t hash() const override;
    std::string description() const override;

private:
    std::string domain_;
    long long code_;
    Dictionary userInfo_;
};

}  // namespace rt
