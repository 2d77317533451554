#pragma once
// The key-value coding properties of one class description.

namespace rt {

struct PropertyTable {
};

}  // namespace rt
