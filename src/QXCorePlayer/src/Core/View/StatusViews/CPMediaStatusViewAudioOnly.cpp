#include "CPMediaStatusViewAudioOnly.h"

namespace zid {

void CPMediaStatusViewAudioOnly::didInitialize() {
    CPMediaStatusView::didInitialize();
    setupRoot(ui::Size{401, 153});
    container_ = makeContainer(ui::Rect(0, 0, 401, 153));
    icon_ = makeIcon("player_audioonly_display_normal.png", ui::ContentMode::ScaleAspectFit);
    audioOnlyMessage_ = makeLabel(ui::Rect(20, 108, 361, 45));
    audioOnlyMessage_->setText("Audio Only");
    container_->addSubview(icon_);
    container_->addSubview(audioOnlyMessage_);
    addSubview(container_);
}

}  // namespace zid
