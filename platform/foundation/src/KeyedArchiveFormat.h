#pragma once
// Shared by the archiver and the unarchiver: the format's fixed texts, the class
// registry and base64 for byte values.

#include <optional>
#include <string>
#include <string_view>

#include <rt/Class.h>
#include <rt/Value.h>

namespace fnd::archive {

inline constexpr const char* FormatName = "zid.keyed-archive";
inline constexpr int FormatVersion = 1;
inline constexpr const char* ArchiveKey = "archive";
inline constexpr const char* VersionKey = "version";
inline constexpr const char* TopKey = "top";
inline constexpr const char* ClassKey = "$class";
inline constexpr const char* ValuesKey = "values";
inline constexpr const char* DictionaryKey = "$dictionary";
inline constexpr const char* DataKey = "$data";
inline constexpr const char* DateKey = "$date";
inline constexpr const char* NullKey = "$null";
/// Deeper nesting is refused when reading, so a hostile file cannot exhaust the stack.
inline constexpr int MaxDepth = 128;

/// The registered class of that name, or nullptr.
const rt::Class* codingClassNamed(std::string_view name);

std::string base64Encode(const rt::Data& data);
std::optional<rt::Data> base64Decode(std::string_view text);

}  // namespace fnd::archive
