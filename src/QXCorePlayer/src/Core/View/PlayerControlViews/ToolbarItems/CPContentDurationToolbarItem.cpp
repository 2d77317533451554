#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentDurationToolbarItem.h>

#include "CPPlayerTimes.h"

namespace zid {

std::string CPContentDurationToolbarItem::timeTextFromTiming(const rt::Ref<ICPMediaTiming>& timing) {
    return CPDurationText(timing);
}

void CPContentDurationToolbarItem::configureLabel() {
    label()->setAdjustsFontSizeToFitWidth(true);
    label()->setFont(CPTimeFont());
    label()->setTextAlignment(ui::TextAlignment::Center);
}

std::vector<const char*> CPContentDurationToolbarItem::observedKeypaths() const { return {"mediaPlayer.timeInfo"}; }

std::string CPContentDurationToolbarItem::currentText() const {
    return CPDurationText(mediaPlayer() ? mediaPlayer()->timeInfo() : nullptr);
}

}  // namespace zid
