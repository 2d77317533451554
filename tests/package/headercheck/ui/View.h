#pragma once
// The second base, which includes the first.
#include "rt/Named.h"

namespace ui {
struct View : rt::Object {};
}  // namespace ui
