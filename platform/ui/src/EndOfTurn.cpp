#include "EndOfTurn.h"

#include <fnd/RunLoop.h>
#include <ui/View.h>

namespace ui::detail {

namespace {
/// Layout runs early in the phase, before anything that would draw.
constexpr int kLayoutOrder = 100;
}  // namespace

void requestLayoutPass() {
    // Made once, on the main loop, and kept for the process.
    static auto* observer = new rt::Ref<fnd::TurnObserver>(fnd::RunLoop::main()->addTurnObserver(kLayoutOrder, [] {
        runLayoutPass();
    }));
    (*observer)->setNeedsRun();
}

}  // namespace ui::detail
