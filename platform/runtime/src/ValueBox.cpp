#include <rt/ValueBox.h>

#include <functional>

namespace rt {

ValueBox::ValueBox(const void* bytes, std::string_view typeCode) : typeCode_(encoding::stripQualifiers(typeCode)) {
    auto size = encoding::sizeOf(typeCode_);
    if (size == 0) throw Exception(Exception::InvalidArgument, "Cannot box a value of type \"" + typeCode_ + "\"");
    auto* first = static_cast<const unsigned char*>(bytes);
    bytes_.assign(first, first + size);
}

bool ValueBox::isEqual(const Object& other) const {
    auto* box = dynamic_cast<const ValueBox*>(&other);
    return box && box->typeCode_ == typeCode_ && box->bytes_ == bytes_;
}

std::size_t ValueBox::hash() const {
    return std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char*>(bytes_.data()), bytes_.size()));
}

std::string ValueBox::description() const {
    static const char* digits = "0123456789abcdef";
    std::string out = "<";
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
        if (i && i % 4 == 0) out += ' ';
        out += digits[bytes_[i] >> 4];
        out += digits[bytes_[i] & 15];
    }
    return out + ">";
}

}  // namespace rt
