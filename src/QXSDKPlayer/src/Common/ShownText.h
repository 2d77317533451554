#pragma once
// A caller's text in a refusal, with its control characters written out ("\r\n", "\0",
// "\x7f"): a line break in it would split the log line that shows the refusal, and a NUL
// would end the reason early wherever it is read as a C string.

#include <string>
#include <string_view>

namespace zid {

inline std::string shownText(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (unsigned char c : text) {
        switch (c) {
        case '\r': shown += "\\r"; break;
        case '\n': shown += "\\n"; break;
        case '\t': shown += "\\t"; break;
        case '\0': shown += "\\0"; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                shown += "\\x";
                shown += kHex[c >> 4];
                shown += kHex[c & 0xf];
            } else {
                shown += static_cast<char>(c);
            }
        }
    }
    return shown;
}

}  // namespace zid
