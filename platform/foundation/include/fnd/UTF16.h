#pragma once
// Text indexed by UTF-16 units, as user-interface text positions count, over UTF-8
// storage.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fnd {

/// Whether the bytes are well-formed UTF-8: no stray or missing continuation bytes,
/// no overlong forms, no surrogates, nothing past U+10FFFF.
bool isValidUTF8(std::string_view bytes);

/// The number of UTF-16 units of a UTF-8 text; a malformed sequence counts as the one
/// U+FFFD that ICU's conversion makes of it.
std::size_t utf16Length(std::string_view utf8);

/// The text of the UTF-16 units [location, location + length); nothing when the range
/// reaches past the end. Half of a surrogate pair reads as U+FFFD.
std::optional<std::string> utf16Substring(std::string_view utf8, std::size_t location, std::size_t length);

/// Maps UTF-16 unit offsets of a text to byte offsets of its UTF-8 form.
class UTF16Offsets {
public:
    explicit UTF16Offsets(std::string_view utf8);
    /// The byte offset where the unit at index starts (the text's size past the end).
    std::size_t byteOffset(std::size_t unitIndex) const;
    std::size_t unitCount() const { return starts_.size(); }

private:
    std::vector<std::size_t> starts_;  // byte offset of each UTF-16 unit
    std::size_t size_;
};

}  // namespace fnd
