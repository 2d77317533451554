#pragma once
// Uses the base's <string> before it includes the base: on its own it does not compile,
// though after a precompiled base it would.
namespace rt {
inline std::size_t lengthOf(const std::string& text) { return text.size(); }
}  // namespace rt
#include <rt/Object.h>
