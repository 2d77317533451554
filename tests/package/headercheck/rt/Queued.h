#pragma once
// Includes the base but uses <deque>, which neither it nor the base includes.
#include <rt/Object.h>

namespace rt {
inline std::deque<Object> queue() { return {}; }
}  // namespace rt
