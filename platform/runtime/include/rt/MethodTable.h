#pragma once
// The dynamic method table of one class description (instance or class methods).

namespace rt {

struct MethodTable {
};

}  // namespace rt
