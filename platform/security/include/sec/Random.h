#pragma once
// Random bytes from the system's cryptographically secure source.

#include <cstddef>
#include <optional>

#include <rt/Value.h>

namespace sec {

/// Fills the buffer; false when the random source failed (then the buffer must not be used).
bool randomBytes(void* buffer, std::size_t length);
/// length fresh random bytes, or nothing when the random source failed.
std::optional<rt::Data> randomData(std::size_t length);
/// A random version-4 UUID in its 36-character upper-case text form, or nothing when the
/// random source failed.
std::optional<std::string> randomUUIDString();

}  // namespace sec
