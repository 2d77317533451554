#pragma once
// The shape of a message: the type codes of its result and of its arguments, the
// receiver ("@") and the selector (":") counted as arguments 0 and 1.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <rt/TypeEncoding.h>

namespace rt {

class MethodSignature {
public:
    /// Parses a type encoding ("v@:i"). Raises InvalidArgumentException for a malformed
    /// encoding, one without receiver and selector, or a code whose size is unknown.
    static MethodSignature withTypes(std::string_view types);
    /// The signature of a C++ function type: MethodSignature::of<bool(int)>().
    template <class Sig> static MethodSignature of() { return withTypes(methodTypesOf<Sig>()); }

    const std::string& types() const { return types_; }
    /// Arguments including the receiver and the selector.
    std::size_t numberOfArguments() const { return arguments_.size(); }
    const std::string& argumentType(std::size_t index) const;
    const std::string& methodReturnType() const { return return_; }
    std::size_t methodReturnLength() const;
    std::size_t argumentLength(std::size_t index) const;
    /// The bytes all arguments take, each at its alignment, rounded up to 16.
    std::size_t frameLength() const;
    bool returnsVoid() const { return encoding::kindOf(return_) == encoding::Kind::Void; }

    friend bool operator==(const MethodSignature& a, const MethodSignature& b) { return a.types_ == b.types_; }

private:
    std::string types_;
    std::string return_;
    std::vector<std::string> arguments_;
};

}  // namespace rt
