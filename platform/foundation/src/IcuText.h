#pragma once

#include <string>
#include <string_view>

#include <unicode/unistr.h>

namespace fnd::icutext {

/// UTF-8 bytes as ICU's UTF-16 text; ill-formed sequences become U+FFFD.
inline icu::UnicodeString fromUtf8(std::string_view s) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

inline std::string toUtf8(const icu::UnicodeString& u) {
    std::string out;
    u.toUTF8String(out);
    return out;
}

}  // namespace fnd::icutext
