#include <fnd/UTF16.h>

#include <unicode/unistr.h>

namespace fnd {

namespace {

// Length in bytes and UTF-16 units of the sequence starting at text[i].
void stepAt(std::string_view text, std::size_t i, std::size_t& bytes, std::size_t& units) {
    auto c = static_cast<unsigned char>(text[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    bool ok = n > 0 && i + n <= text.size();
    for (std::size_t k = 1; ok && k < n; ++k) ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    bytes = ok ? n : 1;
    units = ok && n == 4 ? 2 : 1;
}

}  // namespace

UTF16Offsets::UTF16Offsets(std::string_view utf8) : size_(utf8.size()) {
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::size_t bytes = 0, units = 0;
        stepAt(utf8, i, bytes, units);
        for (std::size_t u = 0; u < units; ++u) starts_.push_back(i);
        i += bytes;
    }
}

std::size_t UTF16Offsets::byteOffset(std::size_t unitIndex) const {
    return unitIndex < starts_.size() ? starts_[unitIndex] : size_;
}

std::size_t utf16Length(std::string_view utf8) { return UTF16Offsets(utf8).unitCount(); }

std::optional<std::string> utf16Substring(std::string_view utf8, std::size_t location, std::size_t length) {
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    auto total = static_cast<std::size_t>(u.length());
    if (location > total || length > total - location) return std::nullopt;
    icu::UnicodeString part(u, static_cast<int32_t>(location), static_cast<int32_t>(length));
    std::string out;
    part.toUTF8String(out);
    return out;
}

}  // namespace fnd
