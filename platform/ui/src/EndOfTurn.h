#pragma once
// Work the toolkit runs once at the end of the current main-loop turn (the layout
// pass). Today a block posted to the main loop; one place to move it to the loop's
// end-of-turn phase.

#include <functional>

namespace ui::detail {
void runAtEndOfTurn(std::function<void()> block);
}
