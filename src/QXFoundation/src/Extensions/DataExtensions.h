#pragma once
// Bytes as text.

#include <string>

#include <rt/Value.h>

namespace zid {

/// Each byte as two lower-case hexadecimal digits, in order ("00ab").
std::string hexStringValue(const rt::Data& data);

}  // namespace zid
