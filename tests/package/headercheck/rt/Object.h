#pragma once
// The base most headers include: precompiled by the check.
#include <string>

namespace rt {
struct Object {
  std::string name;
};
}  // namespace rt
