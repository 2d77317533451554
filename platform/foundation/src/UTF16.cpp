#include <fnd/UTF16.h>

#include "IcuText.h"

#include <algorithm>
#include <cstdint>

#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace fnd {

bool isValidUTF8(std::string_view text) {
    std::size_t i = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    while (i < text.size()) {
        const unsigned char c = bytes[i];
        std::size_t extra = 0;
        std::uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) return false;
            code = (code << 6) | (bytes[i + k] & 0x3F);
        }
        if ((extra == 1 && code < 0x80) || (extra == 2 && code < 0x800) || (extra == 3 && code < 0x10000) ||
            (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return false;
        i += extra + 1;
    }
    return true;
}

// Steps through the text exactly as ICU's conversion to UTF-16 does: a malformed
// sequence becomes one U+FFFD for its longest valid beginning ("E2 82" of "E2 82 58"),
// so an offset into ICU's string maps back to the byte it came from. Text longer
// than ICU can index is read in 2 GiB pieces, which ICU itself never sees.
UTF16Offsets::UTF16Offsets(std::string_view utf8) : size_(utf8.size()) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    std::size_t base = 0;
    while (base < utf8.size()) {
        const auto length = static_cast<int32_t>(std::min<std::size_t>(utf8.size() - base, INT32_MAX));
        int32_t i = 0;
        while (i < length) {
            const int32_t start = i;
            UChar32 c = 0;
            U8_NEXT(bytes + base, i, length, c);
            starts_.push_back(base + static_cast<std::size_t>(start));
            if (c > 0xFFFF) starts_.push_back(base + static_cast<std::size_t>(start));
        }
        base += static_cast<std::size_t>(length);
    }
}

std::size_t UTF16Offsets::byteOffset(std::size_t unitIndex) const {
    return unitIndex < starts_.size() ? starts_[unitIndex] : size_;
}

std::size_t utf16Length(std::string_view utf8) { return UTF16Offsets(utf8).unitCount(); }

std::optional<std::string> utf16Substring(std::string_view utf8, std::size_t location, std::size_t length) {
    icu::UnicodeString u = icutext::fromUtf8(utf8);
    auto total = static_cast<std::size_t>(u.length());
    if (location > total || length > total - location) return std::nullopt;
    return icutext::toUtf8(icu::UnicodeString(u, static_cast<int32_t>(location), static_cast<int32_t>(length)));
}

}  // namespace fnd
