#include "CPMediaStatusViewAudioOnly.h"

namespace zid {

void CPMediaStatusViewAudioOnly::didInitialize() {
    CPMediaStatusView::didInitialize();
    icon_ = makeIcon("player_audioonly_display_normal.png", ui::ContentMode::ScaleAspectFit);
    setMainLabel(makeLabel(ui::Rect(20, 108, 361, 45)));
    mainLabel()->setText("Audio Only");
    buildDesign(ui::Rect(0, 0, 401, 153), {icon_, mainLabel()});
}

}  // namespace zid
