#pragma once
// Bounded pieces of UTF-8 text, for messages that quote what came from outside and
// for fields with a byte limit: a cut never falls inside a character.

#include <cstddef>
#include <string>
#include <string_view>

namespace fnd {

/// The longest beginning of the text that has at most maxBytes bytes and ends between
/// characters (the whole text when it is short enough).
inline std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut);
}

/// The text when it has at most maxBytes bytes; otherwise its beginning, cut between
/// characters, followed by "...".
inline std::string excerpt(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    return std::string(utf8Prefix(text, maxBytes)) + "...";
}

}  // namespace fnd
