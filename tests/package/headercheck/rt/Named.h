#pragma once
// Compiles on its own: checked after the precompiled base.
#include <rt/Object.h>

namespace rt {
inline std::string nameOf(const Object& object) { return object.name; }
}  // namespace rt
