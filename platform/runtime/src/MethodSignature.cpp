#include <rt/MethodSignature.h>

#include <rt/Exception.h>
#include <rt/Format.h>

namespace rt {

namespace {
[[noreturn]] void malformed(std::string_view types, std::string_view why) {
    throw Exception(Exception::InvalidArgument,
                    format("Cannot make a method signature of \"%@\": %@", std::string(types), std::string(why)));
}

// Codes written out for the platform may carry frame offsets after each code ("v16@0:8").
std::string_view skipDigits(std::string_view text) {
    while (!text.empty() && ((text[0] >= '0' && text[0] <= '9') || text[0] == '-')) text.remove_prefix(1);
    return text;
}
}  // namespace

MethodSignature MethodSignature::withTypes(std::string_view types) {
    MethodSignature signature;
    signature.types_ = std::string(types);
    std::vector<std::string> codes;
    std::string_view rest = types;
    while (!rest.empty()) {
        auto n = encoding::codeLengthOf(rest);
        if (n == 0) malformed(types, "malformed type code");
        codes.emplace_back(rest.substr(0, n));
        rest = skipDigits(rest.substr(n));
    }
    if (codes.size() < 3) malformed(types, "a method takes a receiver and a selector");
    if (encoding::kindOf(codes[1]) != encoding::Kind::Object || encoding::kindOf(codes[2]) != encoding::Kind::Selector)
        malformed(types, "a method takes a receiver and a selector");
    for (std::size_t i = 0; i < codes.size(); ++i) {
        bool isVoid = encoding::kindOf(codes[i]) == encoding::Kind::Void;
        if ((i == 0 && !isVoid) || i > 0) {
            if (isVoid) malformed(types, "an argument cannot be void");
            if (encoding::sizeOf(codes[i]) == 0) malformed(types, "unknown size of \"" + codes[i] + "\"");
        }
    }
    signature.return_ = codes[0];
    signature.arguments_.assign(codes.begin() + 1, codes.end());
    return signature;
}

const std::string& MethodSignature::argumentType(std::size_t index) const {
    if (index >= arguments_.size())
        throw Exception(Exception::RangeError,
                        format("Argument index %lu out of range (%lu arguments)", index, arguments_.size()));
    return arguments_[index];
}

std::size_t MethodSignature::methodReturnLength() const { return encoding::sizeOf(return_); }

std::size_t MethodSignature::argumentLength(std::size_t index) const {
    return encoding::sizeOf(argumentType(index));
}

std::size_t MethodSignature::frameLength() const {
    std::size_t size = 0;
    for (const auto& code : arguments_) {
        auto align = encoding::alignOf(code);
        size = (size + align - 1) / align * align + encoding::sizeOf(code);
    }
    return (size + 15) / 16 * 16;
}

}  // namespace rt
