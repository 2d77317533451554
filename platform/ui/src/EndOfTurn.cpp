#include "EndOfTurn.h"

#include <fnd/RunLoop.h>

namespace ui::detail {
void runAtEndOfTurn(std::function<void()> block) { fnd::RunLoop::main()->post(std::move(block)); }
}  // namespace ui::detail
