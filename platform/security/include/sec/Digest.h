#pragma once
// Message digests over bytes.

#include <cstddef>
#include <string_view>

#include <rt/Value.h>

namespace sec {

/// MD5 (16 bytes). Kept for identifiers and cache keys the service defines; it is not
/// a protection against anyone.
rt::Data md5(const void* bytes, std::size_t length);
/// SHA-1 (20 bytes). Kept for values the service defines; not for new protection.
rt::Data sha1(const void* bytes, std::size_t length);
/// SHA-256 (32 bytes).
rt::Data sha256(const void* bytes, std::size_t length);

inline rt::Data md5(const rt::Data& d) { return md5(d.data(), d.size()); }
inline rt::Data sha1(const rt::Data& d) { return sha1(d.data(), d.size()); }
inline rt::Data sha256(const rt::Data& d) { return sha256(d.data(), d.size()); }
inline rt::Data md5(std::string_view s) { return md5(s.data(), s.size()); }
inline rt::Data sha1(std::string_view s) { return sha1(s.data(), s.size()); }
inline rt::Data sha256(std::string_view s) { return sha256(s.data(), s.size()); }

/// Lower-case hexadecimal text of bytes.
std::string toHex(const rt::Data& bytes, bool upperCase = false);

}  // namespace sec
