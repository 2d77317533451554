#pragma once
// rt::Exception: a caller's programming error, raised with a fixed name and a reason.

#include <stdexcept>
#include <string>

#include <rt/Value.h>

namespace rt {

class Exception : public std::exception {
public:
    static constexpr const char* InternalInconsistency = "InternalInconsistencyException";
    static constexpr const char* InvalidArgument = "InvalidArgumentException";
    static constexpr const char* RangeError = "RangeException";
    static constexpr const char* UndefinedKey = "UndefinedKeyException";

    Exception(std::string name, std::string reason, Dictionary userInfo = {});
    const std::string& name() const { return name_; }
    const std::string& reason() const { return reason_; }
    const Dictionary& userInfo() const { return userInfo_; }
    /// "<name>: <reason>"
    const char* what() const noexcept override { return what_.c_str(); }

private:
    std::string name_;
    std::string reason_;
    Dictionary userInfo_;
    std::string what_;
};

/// Raises the internal-inconsistency exception "You must override <method> in a
/// subclass of <class>" from an operation a subclass has to supply.
[[noreturn]] void raiseMustOverride(const std::string& method, const Object& object);
/// Raises "You must subclass to use <class>" for classes that exist only as bases.
[[noreturn]] void raiseMustSubclass(const std::string& className);

}  // namespace rt
