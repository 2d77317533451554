#pragma once
// The toolkit's work in the main loop's end-of-turn phase: the layout pass runs there,
// once per turn however many views asked for it.

namespace ui::detail {
/// Asks for a layout pass at the end of the main loop's current turn.
void requestLayoutPass();
}  // namespace ui::detail
